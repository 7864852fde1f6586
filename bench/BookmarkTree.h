#pragma once

// The bookmark file the benchmarks read: 20,000 links in 1,000 folders
// (or as many as asked), nested up to four deep, with a links folder every
// 50 folders.
#include "data/bookmarks/BookmarkFile.h"

#include <string>
#include <vector>

namespace benchutil {

inline constexpr int kFolders = 1000;
inline constexpr int kLinksPerFolder = 20;

inline nimbra::BookmarkItem MakeBookmarkTree(int folders = kFolders, int linksPerFolder = kLinksPerFolder)
{
    using nimbra::BookmarkItem;
    BookmarkItem root = BookmarkItem::Folder({});
    std::vector<BookmarkItem>* parent = &root.items;
    for (int f = 0; f < folders; ++f) {
        // Every fourth folder starts again at the root, the others nest.
        if (f % 4 == 0)
            parent = &root.items;
        BookmarkItem folder = BookmarkItem::Folder(f % 50 == 0 ? "リンク" : "フォルダ " + std::to_string(f));
        for (int l = 0; l < linksPerFolder; ++l) {
            const int n = f * linksPerFolder + l;
            folder.items.push_back(BookmarkItem::Link(
                (n % 2 ? "ニュースサイトのページ " : "Example page about topic ") + std::to_string(n) + " &amp; more",
                "http://www.example" + std::to_string(n % 97) + ".com/path/to/page" + std::to_string(n) + ".html?q=1"));
            if (l == linksPerFolder / 2)
                folder.items.push_back(BookmarkItem::Separator());
        }
        parent->push_back(std::move(folder));
        parent = &parent->back().items;
    }
    return root;
}

} // namespace benchutil
