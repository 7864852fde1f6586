#include "data/bookmarks/BookmarkFile.h"

#include "platform/AtomicFile.h"
#include "platform/InputFile.h"
#include "platform/Text.h"

namespace nimbra {

namespace {

constexpr std::string_view kCrLf = "\r\n";

bool Has(std::string_view line, std::string_view marker)
{
    return line.find(marker) != std::string_view::npos;
}

// Calls fn(line, index) for every line of `text`, without its LF or CR LF,
// until fn returns false. A final line break does not start another line.
template <class Fn>
void ForEachLine(std::string_view text, Fn&& fn)
{
    size_t pos = 0;
    int index = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (!fn(line, index++))
            return;
        pos = end + 1;
    }
}

// The whole file; nullopt when it cannot be read (after a read error too).
std::optional<std::string> ReadWholeFile(const std::string& path, EInputFileError* error = nullptr)
{
    SInputFile file = ReadInputFile(path);
    if (error)
        *error = file.error;
    if (!file.Ok())
        return std::nullopt;
    return std::move(file.bytes);
}

enum class LineType { ListEnd, Separator, Link, Folder, Other };

// The first test that holds decides.
LineType Classify(std::string_view line)
{
    if (Has(line, "</UL>"))
        return LineType::ListEnd;
    if (Has(line, "<HR>"))
        return LineType::Separator;
    if (Has(line, "<LI><A") && Has(line, "</A>"))
        return LineType::Link;
    if (Has(line, "<LI>") && Has(line, "<UL>"))
        return LineType::Folder;
    return LineType::Other;
}

// The trimmed text of a link or folder line. The markers are ASCII and
// cannot be part of a CP932 character, so lines are classified before they
// are decoded.
std::string LineText(std::string_view raw)
{
    if (IsValidUtf8(raw))
        return Trim(raw);
    return Trim(DecodeLine(raw));
}

bool IsContinuationByte(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Offset after the first `count` characters.
size_t SkipChars(std::string_view text, size_t count)
{
    size_t pos = 0;
    for (; count > 0 && pos < text.size(); --count) {
        ++pos;
        while (pos < text.size() && IsContinuationByte(text[pos]))
            ++pos;
    }
    return pos;
}

// Offset of the last `count` characters.
size_t DropChars(std::string_view text, size_t count)
{
    size_t pos = text.size();
    for (; count > 0 && pos > 0; --count) {
        --pos;
        while (pos > 0 && IsContinuationByte(text[pos]))
            --pos;
    }
    return pos;
}

std::string_view Between(std::string_view text, size_t begin, size_t end)
{
    return end > begin ? text.substr(begin, end - begin) : std::string_view();
}

struct LinkParts {
    std::string_view url;
    std::string_view title;
};

// URL: between the first `="` and the first `">`. Title: from after the
// first `">` to four characters before the end of the line.
LinkParts SplitLink(std::string_view line)
{
    LinkParts parts;
    const size_t eq = line.find("=\"");
    const size_t gt = line.find("\">");
    if (gt == std::string_view::npos)
        return parts;
    if (eq != std::string_view::npos)
        parts.url = Between(line, eq + 2, gt);
    parts.title = Between(line, gt + 2, DropChars(line, 4));
    return parts;
}

// "<LI>" name "<UL>": the line without its first and last four characters.
std::string_view FolderName(std::string_view line)
{
    return Between(line, SkipChars(line, 4), DropChars(line, 4));
}

// Walks the lines of a file and reports its elements to a sink with
// Link(url, title), Separator(), BeginFolder(name), EndFolder(line) and
// EndList(line).
template <class Sink>
class CBookmarkScanner {
public:
    CBookmarkScanner(BookmarkReader reader, Sink& sink) : m_reader(reader), m_sink(sink) {}

    // Whether folders deeper than kMaxFolderDepth were folded in.
    bool Folded() const { return m_folded; }

    // False once the reader wants no more lines.
    bool Feed(std::string_view raw, int index)
    {
        if (!m_inList) {
            m_inList = Has(raw, "<UL>");
            return true;
        }
        switch (Classify(raw)) {
        case LineType::ListEnd:
            if (m_hidden > 0) {
                --m_hidden;
            } else if (m_depth > 0) {
                --m_depth;
                m_sink.EndFolder(index);
            } else {
                m_sink.EndList(index);
                m_inList = false;
                // The editor reads later lists into the root as well.
                return m_reader == BookmarkReader::Editor;
            }
            break;
        case LineType::Separator:
            m_sink.Separator();
            break;
        case LineType::Link: {
            const std::string text = LineText(raw);
            const LinkParts parts = SplitLink(text);
            m_sink.Link(parts.url, parts.title);
            break;
        }
        case LineType::Folder:
            if (m_depth >= kMaxFolderDepth) {
                ++m_hidden;
                m_folded = true;
            } else {
                ++m_depth;
                m_sink.BeginFolder(FolderName(LineText(raw)));
            }
            break;
        case LineType::Other:
            break;
        }
        return true;
    }

private:
    BookmarkReader m_reader;
    Sink& m_sink;
    bool m_inList = false;
    int m_depth = 0;  // open folders below the root
    int m_hidden = 0; // folders beyond kMaxFolderDepth still open
    bool m_folded = false;
};

class CTreeSink {
public:
    explicit CTreeSink(BookmarkReader reader) : m_reader(reader), m_root(BookmarkItem::Folder({}))
    {
        m_open.push_back(&m_root.items);
    }

    void Link(std::string_view url, std::string_view title)
    {
        m_open.back()->push_back(BookmarkItem::Link(Text(title), std::string(url)));
    }
    void Separator() { m_open.back()->push_back(BookmarkItem::Separator()); }
    void BeginFolder(std::string_view name)
    {
        std::vector<BookmarkItem>& list = *m_open.back();
        list.push_back(BookmarkItem::Folder(Text(name)));
        m_open.push_back(&list.back().items);
    }
    void EndFolder(int) { m_open.pop_back(); }
    void EndList(int) {}

    BookmarkItem Take() { return std::move(m_root); }

private:
    std::string Text(std::string_view text) const
    {
        return m_reader == BookmarkReader::Editor ? EditorTitle(text) : std::string(text);
    }

    BookmarkReader m_reader;
    BookmarkItem m_root;
    // Only the innermost list grows, so the outer pointers stay valid.
    std::vector<std::vector<BookmarkItem>*> m_open;
};

class COutlineSink {
public:
    COutlineSink() { m_open.push_back(&m_root); }

    void Link(std::string_view, std::string_view) {}
    void Separator() {}
    void BeginFolder(std::string_view name)
    {
        std::vector<BookmarkOutline>& folders = m_open.back()->folders;
        folders.push_back(BookmarkOutline{std::string(name), -1, {}});
        m_open.push_back(&folders.back());
    }
    void EndFolder(int line)
    {
        m_open.back()->endLine = line;
        m_open.pop_back();
    }
    void EndList(int line) { m_root.endLine = line; }

    BookmarkOutline Take() { return std::move(m_root); }

private:
    BookmarkOutline m_root;
    std::vector<BookmarkOutline*> m_open;
};

// The strings the readers key on. A text holding one, in any case, is
// written with that marker's "<" and ">" replaced so that no reader sees
// it: by their full-width forms in titles and names, percent-encoded in URLs.
constexpr std::string_view kMarkers[] = {"<UL>", "</UL>", "</A>", "<HR>", "<LI>", "\">"};

enum class TextKind { Title, Url };

void AppendDefused(std::string& out, std::string_view marker, TextKind kind)
{
    for (char c : marker) {
        if (c == '<')
            out += kind == TextKind::Url ? "%3C" : "\uFF1C";
        else if (c == '>')
            out += kind == TextKind::Url ? "%3E" : "\uFF1E";
        else
            out += c;
    }
}

// A line break inside a text would split its element: each one (CR LF
// counted once) becomes a blank. Markers are defused.
void AppendText(std::string& out, std::string_view text, TextKind kind = TextKind::Title)
{
    if (text.find_first_of("\r\n<>") == std::string_view::npos) {
        out.append(text);
        return;
    }
    for (size_t pos = 0; pos < text.size();) {
        const char c = text[pos];
        if (c == '\r' || c == '\n') {
            out += ' ';
            pos += text.compare(pos, 2, kCrLf) == 0 ? 2 : 1;
            continue;
        }
        const std::string_view* marker = nullptr;
        for (const std::string_view& m : kMarkers) {
            if (EqualsNoCase(text.substr(pos, m.size()), m)) {
                marker = &m;
                break;
            }
        }
        if (marker) {
            AppendDefused(out, text.substr(pos, marker->size()), kind);
            pos += marker->size();
        } else {
            out += c;
            ++pos;
        }
    }
}

void AppendLinkLine(std::string& out, size_t indent, std::string_view url, std::string_view title)
{
    out.append(indent, '\t');
    out += "<LI><A HREF=\"";
    // A leading ">" would close the quote before it as the URL's end.
    if (!url.empty() && url.front() == '>') {
        out += "%3E";
        url.remove_prefix(1);
    }
    AppendText(out, url, TextKind::Url);
    out += "\">";
    AppendText(out, title);
    out += "</A>";
}

void AppendFolderLine(std::string& out, size_t indent, std::string_view name)
{
    out.append(indent, '\t');
    out += "<LI>";
    AppendText(out, name);
    out += "<UL>";
}

} // namespace

BookmarkItem BookmarkItem::Link(std::string title, std::string url)
{
    return BookmarkItem{BookmarkKind::Link, std::move(title), std::move(url), {}};
}

BookmarkItem BookmarkItem::Folder(std::string name, std::vector<BookmarkItem> items)
{
    return BookmarkItem{BookmarkKind::Folder, std::move(name), {}, std::move(items)};
}

BookmarkItem BookmarkItem::Separator()
{
    return BookmarkItem{BookmarkKind::Separator, {}, {}, {}};
}

BookmarkItem ParseBookmarks(std::string_view text, BookmarkReader reader, bool* folded)
{
    CTreeSink sink(reader);
    CBookmarkScanner scanner(reader, sink);
    ForEachLine(text, [&](std::string_view line, int index) { return scanner.Feed(line, index); });
    if (folded)
        *folded = scanner.Folded();
    return sink.Take();
}

std::optional<BookmarkItem> ReadBookmarkFile(const std::string& path, BookmarkReader reader, EInputFileError* error,
                                             bool* folded)
{
    const std::optional<std::string> bytes = ReadWholeFile(path, error);
    if (!bytes)
        return std::nullopt;
    return ParseBookmarks(*bytes, reader, folded);
}

std::string EditorTitle(std::string_view text)
{
    constexpr std::string_view kAmp = "&amp;";
    size_t amp = text.find(kAmp);
    if (amp == std::string_view::npos)
        return CutText(text, kStoredTitleWidth);
    std::string decoded;
    decoded.reserve(text.size());
    size_t pos = 0;
    for (; amp != std::string_view::npos; amp = text.find(kAmp, pos)) {
        decoded.append(text.substr(pos, amp - pos));
        decoded += '&';
        pos = amp + kAmp.size();
    }
    decoded.append(text.substr(pos));
    return CutText(decoded, kStoredTitleWidth);
}

bool IsLinksFolderName(std::string_view name)
{
    return Trim(name) == kLinksFolderName;
}

std::string FormatBookmarkFile(const BookmarkItem& root)
{
    std::string out;
    out += "<HTML>\r\n<TITLE>";
    out += kBookmarkFileTitle;
    out += "</TITLE>\r\n<UL>\r\n";

    // Iterative, so any depth the caller built can be written.
    struct Frame {
        const std::vector<BookmarkItem>* items;
        size_t next;
    };
    std::vector<Frame> stack{{&root.items, 0}};
    while (!stack.empty()) {
        const size_t depth = stack.size();
        Frame& frame = stack.back();
        if (frame.next == frame.items->size()) {
            stack.pop_back();
            if (!stack.empty()) {
                out.append(depth - 1, '\t');
                out += "</UL>\r\n";
            }
            continue;
        }
        const BookmarkItem& item = (*frame.items)[frame.next++];
        switch (item.kind) {
        case BookmarkKind::Link:
            AppendLinkLine(out, depth, item.url, item.title);
            break;
        case BookmarkKind::Separator:
            out.append(depth, '\t');
            out += "<HR>";
            break;
        case BookmarkKind::Folder:
            AppendFolderLine(out, depth, item.title);
            stack.push_back({&item.items, 0});
            break;
        }
        out += kCrLf;
    }

    out += "</UL>\r\n</HTML>\r\n";
    return out;
}

bool WriteBookmarkFile(const std::string& path, const BookmarkItem& root, std::string* error)
{
    return WriteFileAtomically(path, FormatBookmarkFile(root), error);
}

bool WriteEmptyBookmarkFile(const std::string& path)
{
    return WriteBookmarkFile(path, BookmarkItem::Folder({}));
}

std::vector<LinkBarEntry> LinkBarEntries(const BookmarkItem& root)
{
    std::vector<LinkBarEntry> entries;
    struct Frame {
        const BookmarkItem* folder;
        size_t next;
        bool links;
    };
    std::vector<Frame> stack{{&root, 0, false}};
    int number = 0;
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.next == frame.folder->items.size()) {
            const BookmarkItem* done = frame.folder;
            stack.pop_back();
            if (!stack.empty() && stack.back().links)
                entries.push_back({done, -1});
            continue;
        }
        const BookmarkItem& item = frame.folder->items[frame.next++];
        if (item.IsLink()) {
            if (frame.links)
                entries.push_back({&item, number});
            ++number;
        } else if (item.IsFolder()) {
            stack.push_back({&item, 0, IsLinksFolderName(item.title)});
        }
    }
    return entries;
}

const BookmarkOutline* FindOutlineFolder(const BookmarkOutline& root, const BookmarkFolderPath& path)
{
    const BookmarkOutline* folder = &root;
    for (const BookmarkFolderStep& step : path) {
        const BookmarkOutline* next = nullptr;
        int before = step.sameNameBefore;
        for (const BookmarkOutline& child : folder->folders) {
            if (child.name == step.name && before-- == 0) {
                next = &child;
                break;
            }
        }
        if (!next)
            return nullptr;
        folder = next;
    }
    return folder;
}

std::string BookmarkLinkLine(std::string_view url, std::string_view title)
{
    std::string line;
    AppendLinkLine(line, 1, url, title);
    return line;
}

std::string BookmarkFolderLine(std::string_view name)
{
    std::string line;
    AppendFolderLine(line, 1, name);
    return line;
}

bool CBookmarkLines::Load(const std::string& path)
{
    m_lines.clear();
    const std::optional<std::string> bytes = ReadWholeFile(path);
    if (!bytes)
        return false;
    ForEachLine(*bytes, [this](std::string_view line, int) {
        m_lines.emplace_back(line);
        return true;
    });
    return true;
}

bool CBookmarkLines::Save(const std::string& path) const
{
    size_t size = 0;
    for (const std::string& line : m_lines)
        size += line.size() + kCrLf.size();
    std::string text;
    text.reserve(size);
    for (const std::string& line : m_lines) {
        text += line;
        text += kCrLf;
    }
    return WriteFileAtomically(path, text);
}

bool CBookmarkLines::CanAddToRoot() const
{
    const size_t n = m_lines.size();
    return n >= 2 && Has(m_lines[n - 1], "</HTML>") && Has(m_lines[n - 2], "</UL>");
}

bool CBookmarkLines::AddLinkToRoot(std::string_view url, std::string_view title)
{
    if (!CanAddToRoot())
        return false;
    m_lines.insert(m_lines.end() - 2, BookmarkLinkLine(url, title));
    return true;
}

bool CBookmarkLines::IsLine(int index) const
{
    return index >= 0 && size_t(index) < m_lines.size();
}

bool CBookmarkLines::InsertLink(int endLine, std::string_view url, std::string_view title)
{
    if (!IsLine(endLine))
        return false;
    m_lines.insert(m_lines.begin() + endLine, BookmarkLinkLine(url, title));
    return true;
}

bool CBookmarkLines::InsertFolder(int endLine, std::string_view name)
{
    if (!IsLine(endLine))
        return false;
    m_lines.insert(m_lines.begin() + endLine, {BookmarkFolderLine(name), kBookmarkFolderEndLine});
    return true;
}

BookmarkOutline CBookmarkLines::Outline() const
{
    COutlineSink sink;
    CBookmarkScanner scanner(BookmarkReader::Browser, sink);
    for (size_t i = 0; i < m_lines.size(); ++i) {
        if (!scanner.Feed(m_lines[i], int(i)))
            break;
    }
    return sink.Take();
}

RootAddResult AddPagesToRoot(const std::string& path, const std::vector<BookmarkPage>& pages)
{
    CBookmarkLines lines;
    if (!lines.Load(path))
        return RootAddResult::Unreadable;
    if (!lines.CanAddToRoot())
        return RootAddResult::Unsuitable;
    for (const BookmarkPage& page : pages)
        lines.AddLinkToRoot(page.url, page.title);
    return lines.Save(path) ? RootAddResult::Added : RootAddResult::WriteFailed;
}

} // namespace nimbra
