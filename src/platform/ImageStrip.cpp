#include "platform/ImageStrip.h"

#include "platform/Paths.h"
#include "platform/Text.h"

#include <QFile>
#include <QImageReader>
#include <QtEndian>
#include <cstdlib>

namespace nimbra {

namespace {

// An uncompressed bitmap shorter than its pixel rows: the reader would
// fill the missing rows with whatever memory held.
bool IsTruncatedBitmap(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(34);
    if (head.size() < 34 || !head.startsWith("BM"))
        return false;
    auto u32 = [&head](int at) { return qFromLittleEndian<quint32>(head.constData() + at); };
    const qint64 offset = u32(10);
    const qint64 width = qint32(u32(18));
    const qint64 height = std::abs(qint64(qint32(u32(22))));
    const int bits = qFromLittleEndian<quint16>(head.constData() + 28);
    const quint32 compression = u32(30);
    if (u32(14) < 40 || (compression != 0 && compression != 3))
        return false;
    const qint64 stride = (width * bits + 31) / 32 * 4;
    return file.size() < offset + stride * height;
}

// The strip's cells that exist, magenta made transparent; empty when the
// file cannot give one.
std::vector<QPixmap> ReadCells(const QString& path, int count, int cell)
{
    QImageReader reader(path);
    const QSize size = reader.size();
    if (!size.isValid() || size.width() > kMaxStripSide || size.height() > kMaxStripSide || size.width() < cell
        || size.height() < cell)
        return {};
    QImage image;
    if (IsTruncatedBitmap(path) || !reader.read(&image) || image.width() < cell || image.height() < cell)
        return {};
    const int cells = std::min(count, image.width() / cell);
    image = image.copy(0, 0, cells * cell, cell).convertToFormat(QImage::Format_ARGB32);
    const QRgb magenta = qRgb(255, 0, 255);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if ((line[x] & 0xFFFFFF) == (magenta & 0xFFFFFF))
                line[x] = 0;
        }
    }
    std::vector<QPixmap> pixmaps;
    for (int i = 0; i < cells; ++i)
        pixmaps.push_back(QPixmap::fromImage(image.copy(i * cell, 0, cell, cell)));
    return pixmaps;
}

} // namespace

std::vector<QPixmap> LoadImageStrip(const std::string& path, const QString& builtin, int count, int cell)
{
    std::vector<QPixmap> cells;
    if (FileExists(path))
        cells = ReadCells(ToQ(path), count, cell);
    if (int(cells.size()) < count) {
        const std::vector<QPixmap> fallback = ReadCells(builtin, count, cell);
        for (size_t i = cells.size(); i < fallback.size(); ++i)
            cells.push_back(fallback[i]);
    }
    cells.resize(size_t(count));
    return cells;
}

} // namespace nimbra
