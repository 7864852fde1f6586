#include "platform/ImageStrip.h"

#include "support/TestEnv.h"

#include <QColor>
#include <QImage>
#include <cstdio>
#include <gtest/gtest.h>

using namespace nimbra;

namespace {

// A bitmap of `cells` 16 x 16 images of one colour (of `width` pixels when
// given), each with a magenta corner.
std::string Strip(const std::string& path, int cells, QColor colour, int height = 16, int width = 0)
{
    QImage image(width ? width : cells * 16, height, QImage::Format_RGB32);
    image.fill(colour);
    for (int i = 0; i < cells; ++i)
        image.setPixelColor(i * 16, 0, QColor(255, 0, 255));
    image.save(QString::fromStdString(path), "BMP");
    return testenv::ReadFile(path);
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
    return "BM" + le(118, 4) + le(0, 4) + le(54, 4) + le(40, 4) + le(60000, 4) + le(60000, 4) + le(1, 2) + le(24, 2)
        + std::string(24, '\0') + std::string(64, '\x7f');
}

} // namespace

TEST(ImageStrip, BadFilesGiveTheBuiltInStripAndShortOnesAreCompleted)
{
    testenv::ScopedHome home;
    const QString builtin = QString::fromStdString(home.file("builtin.bmp"));
    Strip(builtin.toStdString(), 4, Qt::blue);
    const std::string path = home.file("nb.bmp");
    const std::string valid = Strip(path, 4, Qt::red);
    struct Case {
        const char* name;
        std::string bytes;
        int fromFile; // cells taken from the file, the rest are built in
    };
    const Case cases[] = {
        {"missing", {}, 0},
        {"empty", "", 0},
        {"truncated", valid.substr(0, 60), 0},
        {"declares 60000 x 60000", HugeBitmapHeader(), 0},
        {"not an image", std::string(4000, 'x'), 0},
        {"8 pixels wide", Strip(path, 0, Qt::red, 16, 8), 0},
        {"two cells", Strip(path, 2, Qt::red), 2},
        {"six cells", Strip(path, 6, Qt::red), 4},
        {"32 pixels high", Strip(path, 4, Qt::red, 32), 4},
    };
    for (const Case& c : cases) {
        std::remove(path.c_str());
        if (std::string(c.name) != "missing")
            testenv::WriteFile(path, c.bytes);
        const testenv::CpuTimer timer;
        const std::vector<QPixmap> cells = LoadImageStrip(path, builtin, 4);
        EXPECT_LT(timer.elapsed(), 1000) << c.name;
        ASSERT_EQ(cells.size(), 4u) << c.name;
        for (int i = 0; i < 4; ++i) {
            const QImage image = cells[size_t(i)].toImage();
            EXPECT_EQ(image.size(), QSize(16, 16)) << c.name;
            EXPECT_EQ(image.pixelColor(8, 8), i < c.fromFile ? QColor(Qt::red) : QColor(Qt::blue))
                << c.name << ", cell " << i;
            EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0) << c.name << ": magenta is transparent";
        }
    }
}
