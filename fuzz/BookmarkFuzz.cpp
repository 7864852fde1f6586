// The bookmark file: both readers on arbitrary files, the browser's line
// edits, and the round trip through the writer (what it writes, the reader
// reads back as the same tree).
#include "FuzzSupport.h"

#include "data/bookmarks/BookmarkFile.h"
#include "platform/Text.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <functional>

using namespace nimbra;

namespace {

// True when every title, name and URL of the tree satisfies `ok`.
bool AllTexts(const BookmarkItem& folder, const std::function<bool(const std::string&)>& ok)
{
    for (const BookmarkItem& item : folder.items) {
        if (!ok(item.title) || !ok(item.url))
            return false;
        if (item.IsFolder() && !AllTexts(item, ok))
            return false;
    }
    return true;
}

// Texts that the writer stores byte for byte.
bool Plain(const std::string& text)
{
    const std::string lower = ToLowerAscii(text);
    for (const char* marker : {"<ul>", "</ul>", "</a>", "<hr>", "<li>", "\">"}) {
        if (lower.find(marker) != std::string::npos)
            return false;
    }
    // The writer defuses a URL that starts with ">" (it would close the
    // quote before it) as "%3E".
    if (!text.empty() && text.front() == '>')
        return false;
    return text.find_first_of("\r\n") == std::string::npos;
}

// A tree made from the input: folders up to a few levels deep with links,
// separators and folders of any text.
BookmarkItem MakeFolder(FuzzedDataProvider& in, std::string name, int depth)
{
    BookmarkItem folder = BookmarkItem::Folder(std::move(name));
    for (int n = in.ConsumeIntegralInRange(0, 8); n > 0 && in.remaining_bytes() > 0; --n) {
        switch (in.ConsumeIntegralInRange(0, 2)) {
        case 0: {
            std::string url = in.ConsumeRandomLengthString(64);
            folder.items.push_back(BookmarkItem::Link(in.ConsumeRandomLengthString(64), std::move(url)));
            break;
        }
        case 1:
            folder.items.push_back(BookmarkItem::Separator());
            break;
        default:
            if (depth < 8)
                folder.items.push_back(MakeFolder(in, in.ConsumeRandomLengthString(64), depth + 1));
            break;
        }
    }
    return folder;
}

BookmarkItem RoundTrip(const BookmarkItem& root, BookmarkReader reader)
{
    return ParseBookmarks(FormatBookmarkFile(root), reader);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 0 && data[0] == 0) {
        // Trees of any text: UTF-8 without markers or line breaks comes back as it was.
        FuzzedDataProvider in(data + 1, size - 1);
        const BookmarkItem tree = MakeFolder(in, {}, 0);
        const bool plain = AllTexts(tree, [](const std::string& t) { return Plain(t) && IsValidUtf8(t); });
        const BookmarkItem read = RoundTrip(tree, BookmarkReader::Browser);
        if (plain && read != tree)
            std::abort();
        if (RoundTrip(read, BookmarkReader::Browser) != read)
            std::abort();
        return 0;
    }

    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const BookmarkItem browser = ParseBookmarks(text, BookmarkReader::Browser);
    LinkBarEntries(browser);
    const BookmarkItem written = RoundTrip(browser, BookmarkReader::Browser);
    if (AllTexts(browser, Plain) && written != browser)
        std::abort();
    if (RoundTrip(written, BookmarkReader::Browser) != written)
        std::abort();

    const BookmarkItem editor = ParseBookmarks(text, BookmarkReader::Editor);
    const bool noEntity = AllTexts(editor, [](const std::string& t) { return t.find("&amp;") == std::string::npos; });
    if (AllTexts(editor, Plain) && noEntity && RoundTrip(editor, BookmarkReader::Editor) != editor)
        std::abort();

    // The file as the browser edits it: the outline's folder ends are lines
    // of the file, and an insertion keeps every other line.
    const std::string path = fuzzsupport::WriteFile("bookmark.html", text);
    const std::optional<BookmarkItem> read = ReadBookmarkFile(path, BookmarkReader::Browser);
    if (!read || *read != browser)
        std::abort();
    CBookmarkLines lines;
    if (!lines.Load(path))
        std::abort();
    const size_t count = lines.Lines().size();
    const BookmarkOutline outline = lines.Outline();
    if (outline.endLine >= 0) {
        if (!lines.InsertLink(outline.endLine, "http://a/", "t") || lines.Lines().size() != count + 1)
            std::abort();
    }
    const size_t before = lines.Lines().size();
    const bool added = lines.AddLinkToRoot("http://b/", "u");
    if (lines.Lines().size() != before + (added ? 1 : 0))
        std::abort();
    return 0;
}
