#pragma once

#include <QPixmap>
#include <QString>
#include <string>
#include <vector>

namespace nimbra {

// Bitmaps larger than this in either direction are not decoded.
inline constexpr int kMaxStripSide = 4096;

// `count` square images of `cell` pixels, side by side in one bitmap, with
// magenta (255, 0, 255) transparent. The file at `path` is used when it
// decodes to at least one cell; its missing cells come from `builtin` (a Qt
// resource). A file that is missing, broken, too small or declares more than
// kMaxStripSide pixels in either direction gives the built-in strip whole.
std::vector<QPixmap> LoadImageStrip(const std::string& path, const QString& builtin, int count, int cell = 16);

} // namespace nimbra
