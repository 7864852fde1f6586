#include "bookmarks/BookmarkImages.h"

#include "platform/Paths.h"
#include "platform/Text.h"

#include <QApplication>
#include <QBitmap>
#include <QPixmap>
#include <QStyle>

namespace nimbra {

namespace {

constexpr int kImageSize = 16;

QIcon Cell(const QPixmap& strip, int index)
{
    return QIcon(strip.copy(index * kImageSize, 0, kImageSize, kImageSize));
}

} // namespace

SBookmarkImages LoadBookmarkImages()
{
    QPixmap strip(ToQ(ResourceFile("bk.bmp")));
    if (!strip.isNull() && strip.width() >= 3 * kImageSize && strip.height() >= kImageSize) {
        strip.setMask(strip.createMaskFromColor(QColor(255, 0, 255)));
        return {Cell(strip, 0), Cell(strip, 1), Cell(strip, 2)};
    }
    QStyle* style = QApplication::style();
    return {style->standardIcon(QStyle::SP_DirClosedIcon), style->standardIcon(QStyle::SP_DirOpenIcon),
            style->standardIcon(QStyle::SP_FileLinkIcon)};
}

} // namespace nimbra
