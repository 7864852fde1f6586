#pragma once

#include <QIcon>

namespace nimbra {

// The images of bookmark trees, in this order: closed folder, open folder,
// bookmark. From res/bk.bmp in the data directory (16 x 16 each, magenta
// transparent) when it loads, else the built-in ones.
struct SBookmarkImages {
    QIcon closedFolder;
    QIcon openFolder;
    QIcon bookmark;

    // The closed folder, shown open while its item is selected.
    QIcon FolderIcon() const;
};
SBookmarkImages LoadBookmarkImages();

} // namespace nimbra
