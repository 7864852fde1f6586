#include "widgets/bookmarks/BookmarkImages.h"

#include "platform/ImageStrip.h"
#include "platform/Paths.h"

namespace nimbra {

QIcon SBookmarkImages::FolderIcon() const
{
    QIcon icon = closedFolder;
    for (const QSize& size : openFolder.availableSizes())
        icon.addPixmap(openFolder.pixmap(size), QIcon::Selected);
    return icon;
}

SBookmarkImages LoadBookmarkImages()
{
    const std::vector<QPixmap> cells = LoadImageStrip(ResourceFile("bk.bmp"), QStringLiteral(":/bk.bmp"), 3);
    return {QIcon(cells[0]), QIcon(cells[1]), QIcon(cells[2])};
}

} // namespace nimbra
