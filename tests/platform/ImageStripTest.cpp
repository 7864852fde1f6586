#include "platform/ImageStrip.h"

#include "support/TestEnv.h"

#include <QColor>
#include <QElapsedTimer>
#include <QImage>
#include <gtest/gtest.h>

using namespace nimbra;

namespace {

// A strip of `cells` 16 x 16 images of one colour, with a magenta corner.
void SaveStrip(const std::string& path, int cells, QColor colour, int height = 16)
{
    QImage image(cells * 16, height, QImage::Format_RGB32);
    image.fill(colour);
    for (int i = 0; i < cells; ++i)
        image.setPixelColor(i * 16, 0, QColor(255, 0, 255));
    ASSERT_TRUE(image.save(QString::fromStdString(path), "BMP"));
}

// A bitmap header declaring 60000 x 60000 pixels, with almost no data.
std::string HugeBitmapHeader()
{
    auto le = [](uint32_t v, int bytes) {
        std::string out;
        for (int i = 0; i < bytes; ++i)
            out += char((v >> (8 * i)) & 0xFF);
        return out;
    };
    return "BM" + le(54 + 64, 4) + le(0, 4) + le(54, 4) + le(40, 4) + le(60000, 4) + le(60000, 4) + le(1, 2)
        + le(24, 2) + le(0, 4) + le(0, 4) + le(2835, 4) + le(2835, 4) + le(0, 4) + le(0, 4) + std::string(64, '\x7f');
}

} // namespace

TEST(ImageStrip, BadFilesFallBackToTheBuiltInStripAndShortOnesAreCompleted)
{
    testenv::ScopedHome home;
    const std::string builtin = home.file("builtin.bmp");
    SaveStrip(builtin, 4, Qt::blue);
    const std::string path = home.file("nb.bmp");
    SaveStrip(path, 4, Qt::red);
    const std::string valid = testenv::ReadFile(path);

    struct Case {
        const char* name;
        std::string bytes; // nothing written when "missing"
        int fromFile;
    };
    const Case cases[] = {
        {"missing", {}, 0},
        {"empty", "", 0},
        {"truncated", valid.substr(0, 60), 0},
        {"declares 60000 x 60000", HugeBitmapHeader(), 0},
        {"not an image", std::string(4000, 'x'), 0},
    };
    for (const Case& c : cases) {
        std::remove(path.c_str());
        if (std::string(c.name) != "missing")
            testenv::WriteFile(path, c.bytes);
        QElapsedTimer timer;
        timer.start();
        const std::vector<QPixmap> cells = LoadImageStrip(path, QString::fromStdString(builtin), 4);
        EXPECT_LT(timer.elapsed(), 1000) << c.name;
        ASSERT_EQ(cells.size(), 4u) << c.name;
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(cells[size_t(i)].toImage().pixelColor(8, 8), i < c.fromFile ? QColor(Qt::red) : QColor(Qt::blue))
                << c.name << " cell " << i;
    }

    struct Shape {
        int cells;
        int height;
        int fromFile;
    };
    for (const Shape s : {Shape{2, 16, 2}, Shape{6, 16, 4}, Shape{4, 32, 4}, Shape{0, 16, 0}}) {
        std::remove(path.c_str());
        if (s.cells == 0) {
            QImage narrow(8, 16, QImage::Format_RGB32);
            narrow.fill(Qt::red);
            narrow.save(QString::fromStdString(path), "BMP");
        } else {
            SaveStrip(path, s.cells, Qt::red, s.height);
        }
        const std::vector<QPixmap> cells = LoadImageStrip(path, QString::fromStdString(builtin), 4);
        for (int i = 0; i < 4; ++i) {
            const QImage image = cells[size_t(i)].toImage();
            EXPECT_EQ(image.size(), QSize(16, 16));
            EXPECT_EQ(image.pixelColor(8, 8), i < s.fromFile ? QColor(Qt::red) : QColor(Qt::blue))
                << s.cells << " cells, cell " << i;
            // Magenta is transparent.
            EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0);
        }
    }
}
