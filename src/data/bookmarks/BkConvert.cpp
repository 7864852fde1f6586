#include "data/bookmarks/BkConvert.h"

#include "platform/AtomicFile.h"
#include "platform/Ini.h"
#include "platform/Shortcut.h"
#include "platform/Text.h"

#include <QString>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace nimbra::editor {

namespace {

constexpr size_t kMaxNameBytes = 32;
constexpr size_t kReadChunk = 1024 * 1024;

void AppendUtf8(std::string& out, char32_t code)
{
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | (code >> 6));
        out += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += char(0xE0 | (code >> 12));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xF0 | (code >> 18));
        out += char(0x80 | ((code >> 12) & 0x3F));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

bool IsControl(char32_t code)
{
    return code < 0x20 || code == 0x7F || (code >= 0x80 && code < 0xA0);
}

struct SNamedEntity {
    const char* name;
    char32_t code;
};
constexpr SNamedEntity kNamedEntities[] = {
    {"amp", '&'},      {"lt", '<'},       {"gt", '>'},       {"quot", '"'},     {"apos", '\''},
    {"nbsp", 0xA0},    {"copy", 0xA9},    {"reg", 0xAE},     {"trade", 0x2122}, {"hellip", 0x2026},
    {"mdash", 0x2014}, {"ndash", 0x2013}, {"laquo", 0xAB},   {"raquo", 0xBB},   {"middot", 0xB7},
    {"yen", 0xA5},     {"lsquo", 0x2018}, {"rsquo", 0x2019}, {"ldquo", 0x201C}, {"rdquo", 0x201D},
    {"times", 0xD7},   {"bull", 0x2022},
};

// The reference at text[pos] ('&'): its code point and length, or nullopt.
std::optional<std::pair<char32_t, size_t>> ReadReference(std::string_view text, size_t pos)
{
    const size_t semicolon = text.find(';', pos + 1);
    if (semicolon == std::string_view::npos || semicolon - pos > 12)
        return std::nullopt;
    const std::string_view body = text.substr(pos + 1, semicolon - pos - 1);
    const size_t length = semicolon - pos + 1;
    if (body.size() >= 2 && body[0] == '#') {
        const bool hex = body[1] == 'x' || body[1] == 'X';
        const std::string_view digits = body.substr(hex ? 2 : 1);
        if (digits.empty())
            return std::nullopt;
        std::uint64_t value = 0;
        for (char c : digits) {
            int digit;
            if (c >= '0' && c <= '9')
                digit = c - '0';
            else if (hex && c >= 'a' && c <= 'f')
                digit = c - 'a' + 10;
            else if (hex && c >= 'A' && c <= 'F')
                digit = c - 'A' + 10;
            else
                return std::nullopt;
            value = std::min<std::uint64_t>(value * (hex ? 16 : 10) + digit, 0x110000);
        }
        if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
            return std::pair<char32_t, size_t>{0xFFFD, length};
        return std::pair<char32_t, size_t>{char32_t(value), length};
    }
    for (const SNamedEntity& entity : kNamedEntities) {
        if (body == entity.name)
            return std::pair<char32_t, size_t>{entity.code, length};
    }
    return std::nullopt;
}

// A title or name: references decoded, each run of white space or other
// control characters (an element split over lines) one blank, trimmed.
std::string CleanText(std::string_view decoded)
{
    std::string text;
    for (char c : DecodeEntities(decoded)) {
        const bool blank = static_cast<unsigned char>(c) <= 0x20 || c == 0x7F;
        if (!blank)
            text += c;
        else if (!text.empty() && text.back() != ' ')
            text += ' ';
    }
    return Trim(text);
}

// A URL: references decoded, line breaks and tabs dropped.
std::string CleanUrl(std::string_view decoded)
{
    std::string url;
    for (char c : Trim(DecodeEntities(decoded))) {
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F)
            url += c;
    }
    return url;
}

enum class ECharset { Unknown, Utf8, Cp932 };

// The label of a META charset ("text/html; charset=EUC-JP" or "EUC-JP"),
// in lower case; empty when it holds anything but a name.
std::string CharsetLabel(std::string_view value)
{
    std::string text = ToLowerAscii(value);
    const size_t at = text.find("charset=");
    if (at != std::string::npos)
        text = text.substr(at + 8);
    size_t end = 0;
    while (end < text.size() && text[end] != ';' && text[end] != ' ' && text[end] != '"' && text[end] != '\'')
        ++end;
    text = Trim(text.substr(0, end));
    const bool name = std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' || c == ':';
    });
    return name ? text : std::string();
}

ECharset KnownCharset(const std::string& label)
{
    if (label == "utf-8" || label == "utf8")
        return ECharset::Utf8;
    for (const char* alias : {"shift_jis", "shift-jis", "sjis", "x-sjis", "ms_kanji", "csshiftjis", "windows-31j",
                              "cp932", "x-ms-cp932", "ms932"}) {
        if (label == alias)
            return ECharset::Cp932;
    }
    return ECharset::Unknown;
}

// A declaration of a two- or four-byte form that was itself read as ASCII
// is wrong: it is not followed.
bool IsWideUnicode(const std::string& label)
{
    for (const char* prefix : {"utf-16", "utf16", "utf-32", "utf32", "ucs-2", "ucs2", "ucs-4", "ucs4", "unicode"}) {
        if (label.starts_with(prefix))
            return true;
    }
    return false;
}

} // namespace

std::string DecodeEntities(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t pos = 0; pos < text.size();) {
        if (text[pos] == '&') {
            if (const auto reference = ReadReference(text, pos)) {
                const char32_t code = reference->first;
                if (IsControl(code))
                    out += ' ';
                else
                    AppendUtf8(out, code);
                pos += reference->second;
                continue;
            }
        }
        out += text[pos++];
    }
    return out;
}

std::string EscapeHtml(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// --- Netscape import ---------------------------------------------------

struct CNetscapeParser::SState {
    enum class EMode {
        Data,
        TagOpen,
        EndTagOpen,
        TagName,
        BeforeAttr,
        AttrName,
        AfterAttrName,
        BeforeValue,
        ValueQuoted,
        ValueUnquoted,
        Markup,
        Comment,
    };
    enum class ECollect { None, Link, Heading };

    int maxDepth;
    EMode mode = EMode::Data;
    ECharset charset = ECharset::Unknown;
    bool start = true; // before the first byte (byte-order mark)
    std::string bom;
    // Turns the rest of the file into UTF-8 before it is read: the file's
    // charset is not a superset of ASCII, or not one read per text.
    std::unique_ptr<CTextDecoder> decoder;

    // The tag being read.
    bool endTag = false;
    std::string tagName;
    std::string attrName;
    std::string* value = nullptr; // the attribute value kept, if any
    size_t valueCap = 0;
    char quote = 0;
    std::string href;
    bool hasHref = false;
    std::string content; // META CONTENT or CHARSET
    int dashes = 0;      // comment end

    // Text between tags, while a title or name is read.
    ECollect collect = ECollect::None;
    std::string text;
    std::string linkUrl;
    std::string pendingName;

    BkItemPtr root = CBkItem::MakeFolder({});
    std::vector<CBkItem*> stack; // open lists; empty outside every list
    int closedDeeper = 0;        // lists not opened past maxDepth
    bool foundList = false;

    // A META charset: UTF-8 and Shift_JIS decode each text; any other
    // that the system knows decodes the rest of the file as it comes.
    void Declare(const std::string& label)
    {
        charset = KnownCharset(label);
        if (charset != ECharset::Unknown || label.empty() || IsWideUnicode(label))
            return;
        auto other = std::make_unique<CTextDecoder>(label.c_str());
        if (!other->Ok())
            return;
        decoder = std::move(other);
        charset = ECharset::Utf8;
    }

    std::string Decode(std::string_view bytes) const
    {
        switch (charset) {
        case ECharset::Utf8:
            return DecodeUtf8(bytes);
        case ECharset::Cp932:
            return DecodeCp932(bytes);
        case ECharset::Unknown:
            break;
        }
        return DecodeLine(bytes);
    }

    void AddText(char c)
    {
        if (collect != ECollect::None && text.size() < kMaxImportTextBytes)
            text += c;
    }

    void FinishCollect()
    {
        if (collect == ECollect::Link && !stack.empty())
            stack.back()->Append(CBkItem::MakeLink(EntryTitle(CleanText(Decode(text))), EntryUrl(CleanUrl(Decode(linkUrl)))));
        else if (collect == ECollect::Heading)
            pendingName = EntryTitle(CleanText(Decode(text)));
        collect = ECollect::None;
        text.clear();
        linkUrl.clear();
    }

    void OnTag()
    {
        const std::string name = ToLowerAscii(tagName);
        const bool structural = name == "dl" || name == "dt" || name == "hr" || name == "h3" || name == "a";
        if (structural || (endTag && (name == "a" || name == "h3")))
            FinishCollect();
        if (name == "meta" && !endTag && charset == ECharset::Unknown) {
            Declare(CharsetLabel(content));
        } else if (name == "dl") {
            if (endTag) {
                if (closedDeeper > 0)
                    --closedDeeper;
                else if (!stack.empty())
                    stack.pop_back();
            } else if (stack.empty()) {
                foundList = true;
                stack.push_back(root.get());
            } else if (int(stack.size()) > maxDepth) {
                ++closedDeeper;
            } else {
                stack.push_back(stack.back()->Append(CBkItem::MakeFolder(pendingName)));
                pendingName.clear();
            }
        } else if (!endTag && !stack.empty()) {
            if (name == "hr") {
                stack.back()->Append(CBkItem::MakeSeparator());
            } else if (name == "a" && hasHref) {
                collect = ECollect::Link;
                linkUrl = std::move(href);
            } else if (name == "h3") {
                collect = ECollect::Heading;
            }
        }
        tagName.clear();
        href.clear();
        hasHref = false;
        content.clear();
    }

    void StartValue()
    {
        const std::string name = ToLowerAscii(attrName);
        value = nullptr;
        if (name == "href") {
            href.clear();
            hasHref = true;
            value = &href;
            valueCap = kMaxImportUrlBytes;
        } else if (name == "content" || name == "charset") {
            content.clear();
            value = &content;
            valueCap = kMaxCharsetBytes;
        }
    }

    void AddValue(char c)
    {
        if (value && value->size() < valueCap)
            *value += c;
    }

    static bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; }
    static bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

    // Bytes as the file holds them.
    void Read(std::string_view bytes)
    {
        if (decoder) {
            Scan(decoder->Decode(bytes));
            return;
        }
        const size_t used = Scan(bytes);
        // A META charset turned the rest over to a decoder.
        if (used < bytes.size())
            Scan(decoder->Decode(bytes.substr(used)));
    }

    // Reads UTF-8, or bytes while no decoder runs; stops after the tag that
    // sets one. The bytes read.
    size_t Scan(std::string_view bytes)
    {
        const char* p = bytes.data();
        const char* const end = bytes.data() + bytes.size();
        const bool decoding = decoder != nullptr;
        while (p < end) {
            // Long runs that need no byte-by-byte look (icons, text outside
            // titles) are skipped or copied whole.
            if (mode == EMode::ValueQuoted || (mode == EMode::Data && collect == ECollect::None)) {
                const char stop = mode == EMode::Data ? '<' : quote;
                const char* found = static_cast<const char*>(std::memchr(p, stop, size_t(end - p)));
                const char* until = found ? found : end;
                if (mode == EMode::ValueQuoted && value && value->size() < valueCap)
                    value->append(p, std::min(size_t(until - p), valueCap - value->size()));
                p = until;
                if (!found)
                    break;
            }
            Step(*p++);
            if (!decoding && decoder)
                break;
        }
        return size_t(p - bytes.data());
    }

    void Step(char c)
    {
        switch (mode) {
        case EMode::Data:
            if (c == '<')
                mode = EMode::TagOpen;
            else
                AddText(c);
            break;
        case EMode::TagOpen:
            endTag = false;
            if (c == '/') {
                mode = EMode::EndTagOpen;
            } else if (c == '!') {
                mode = EMode::Markup;
                dashes = 0;
            } else if (IsLetter(c)) {
                tagName.assign(1, c);
                mode = EMode::TagName;
            } else {
                AddText('<');
                mode = EMode::Data;
                Step(c);
            }
            break;
        case EMode::EndTagOpen:
            if (IsLetter(c)) {
                endTag = true;
                tagName.assign(1, c);
                mode = EMode::TagName;
            } else {
                mode = c == '>' ? EMode::Data : EMode::Markup;
            }
            break;
        case EMode::TagName:
            if (c == '>') {
                OnTag();
                mode = EMode::Data;
            } else if (IsSpace(c) || c == '/') {
                mode = EMode::BeforeAttr;
            } else if (tagName.size() < kMaxNameBytes) {
                tagName += c;
            }
            break;
        case EMode::BeforeAttr:
            if (c == '>') {
                OnTag();
                mode = EMode::Data;
            } else if (!IsSpace(c) && c != '/') {
                attrName.assign(1, c);
                mode = EMode::AttrName;
            }
            break;
        case EMode::AttrName:
            if (c == '=') {
                StartValue();
                mode = EMode::BeforeValue;
            } else if (c == '>') {
                OnTag();
                mode = EMode::Data;
            } else if (IsSpace(c)) {
                mode = EMode::AfterAttrName;
            } else if (c == '/') {
                mode = EMode::BeforeAttr;
            } else if (attrName.size() < kMaxNameBytes) {
                attrName += c;
            }
            break;
        case EMode::AfterAttrName:
            if (c == '=') {
                StartValue();
                mode = EMode::BeforeValue;
            } else if (c == '>') {
                OnTag();
                mode = EMode::Data;
            } else if (!IsSpace(c)) {
                attrName.assign(1, c);
                mode = EMode::AttrName;
            }
            break;
        case EMode::BeforeValue:
            if (c == '"' || c == '\'') {
                quote = c;
                mode = EMode::ValueQuoted;
            } else if (c == '>') {
                OnTag();
                mode = EMode::Data;
            } else if (!IsSpace(c)) {
                AddValue(c);
                mode = EMode::ValueUnquoted;
            }
            break;
        case EMode::ValueQuoted:
            if (c == quote)
                mode = EMode::BeforeAttr;
            else
                AddValue(c);
            break;
        case EMode::ValueUnquoted:
            if (c == '>') {
                OnTag();
                mode = EMode::Data;
            } else if (IsSpace(c)) {
                mode = EMode::BeforeAttr;
            } else {
                AddValue(c);
            }
            break;
        case EMode::Markup:
            // "<!DOCTYPE ...>" or "<!-- ... -->"
            if (c == '-' && ++dashes == 2) {
                mode = EMode::Comment;
                dashes = 0;
            } else if (c == '>') {
                mode = EMode::Data;
            } else if (c != '-') {
                dashes = 3; // not a comment
            }
            break;
        case EMode::Comment:
            if (c == '-') {
                ++dashes;
            } else {
                if (c == '>' && dashes >= 2)
                    mode = EMode::Data;
                dashes = 0;
            }
            break;
        }
    }
};

CNetscapeParser::CNetscapeParser(int maxDepth) : m(std::make_unique<SState>())
{
    m->maxDepth = std::max(0, maxDepth);
}

CNetscapeParser::~CNetscapeParser() = default;

void CNetscapeParser::Feed(std::string_view bytes)
{
    // The byte-order mark, which may come in pieces.
    static constexpr std::pair<std::string_view, const char*> kMarks[] = {
        {"\xEF\xBB\xBF", nullptr}, {"\xFE\xFF", "UTF-16BE"}, {"\xFF\xFE", "UTF-16LE"}};
    size_t pos = 0;
    while (m->start && pos < bytes.size()) {
        m->bom += bytes[pos++];
        bool prefix = false;
        for (const auto& [mark, charset] : kMarks) {
            if (m->bom == mark) {
                m->start = false;
                m->charset = ECharset::Utf8;
                if (charset)
                    m->decoder = std::make_unique<CTextDecoder>(charset);
            }
            prefix = prefix || mark.starts_with(m->bom);
        }
        if (m->start && !prefix) {
            m->start = false;
            m->Read(std::exchange(m->bom, {}));
        }
    }
    m->Read(bytes.substr(pos));
}

SBkImport CNetscapeParser::Finish()
{
    if (m->decoder)
        m->Scan(m->decoder->Finish());
    m->FinishCollect();
    SBkImport result;
    result.foundList = m->foundList;
    result.items = m->root->TakeItems();
    return result;
}

SBkImport ParseNetscape(std::string_view bytes, int maxDepth)
{
    CNetscapeParser parser(maxDepth);
    parser.Feed(bytes);
    return parser.Finish();
}

SBkImport ReadNetscapeFile(const std::string& path, SBkProgress& progress, int maxDepth)
{
    CInputFile file;
    const EInputFileError error = file.Open(path);
    if (error != EInputFileError::None) {
        SBkImport result;
        result.error = error;
        return result;
    }
    progress.total = file.Size();
    CNetscapeParser parser(maxDepth);
    std::vector<char> buffer(kReadChunk);
    for (;;) {
        if (progress.Cancelled()) {
            SBkImport result;
            result.cancelled = true;
            return result;
        }
        const long n = file.Read(buffer.data(), buffer.size());
        if (n < 0) {
            SBkImport result;
            result.error = EInputFileError::Unreadable;
            return result;
        }
        if (n == 0)
            break;
        parser.Feed(std::string_view(buffer.data(), size_t(n)));
        progress.done += n;
    }
    return parser.Finish();
}

// --- Netscape export ---------------------------------------------------

namespace {

void FormatEntries(const BookmarkItem& folder, int level, std::string& out)
{
    const std::string indent(size_t(level) * 4, ' ');
    for (const BookmarkItem& item : folder.items) {
        if (item.IsLink()) {
            out += indent + "<DT><A HREF=\"" + EscapeHtml(OneLine(item.url))
                   + "\" ADD_DATE=\"957501176\" LAST_VISIT=\"0\" LAST_MODIFIED=\"0\">" + EscapeHtml(OneLine(item.title))
                   + "</A>\r\n\r\n";
        } else if (item.IsSeparator()) {
            out += indent + "<HR>\r\n\r\n";
        } else {
            out += indent + "<DT><H3 ADD_DATE=\"957501176\">" + EscapeHtml(OneLine(item.title)) + "</H3>\r\n\r\n";
            out += indent + "<DL><p>\r\n\r\n";
            FormatEntries(item, level + 1, out);
            out += indent + "</DL><p>\r\n\r\n";
        }
    }
}

} // namespace

std::string FormatNetscape(const BookmarkItem& root, std::string_view label)
{
    const std::string title = EscapeHtml(label);
    std::string out = "<!DOCTYPE NETSCAPE-Bookmark-file-1>\r\n"
                      "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=UTF-8\">\r\n\r\n"
                      "<!-- これは自動生成されたファイルです。\r\n\r\nプログラムが読み書きを実行します。\r\n\r\n"
                      "編集禁止! -->\r\n\r\n";
    out += "<TITLE>" + title + "のブックマーク</TITLE>\r\n\r\n";
    out += "<H1>" + title + "のブックマーク</H1>\r\n\r\n\r\n";
    out += "<DL><p>\r\n\r\n";
    FormatEntries(root, 1, out);
    out += "</DL><p>\r\n\r\n";
    return out;
}

// --- Favorites import --------------------------------------------------

namespace {

struct SDirEntry {
    std::string bytes; // the name as the file system has it
    std::string name;  // as UTF-8
    QString key;       // for the case-insensitive order
    struct stat info;
};

class CFavoritesReader {
public:
    CFavoritesReader(SBkProgress& progress, int maxDepth) : m_progress(progress), m_maxDepth(maxDepth) {}

    // False when the folder cannot be read.
    bool Read(const std::string& path, CBkItem& folder, int depth)
    {
        DIR* dir = ::opendir(path.c_str());
        if (!dir)
            return false;
        struct stat self = {};
        ::fstat(::dirfd(dir), &self);
        m_path.emplace_back(self.st_dev, self.st_ino);
        std::vector<SDirEntry> entries;
        while (const dirent* entry = ::readdir(dir)) {
            const std::string bytes = entry->d_name;
            if (bytes == "." || bytes == "..")
                continue;
            SDirEntry e;
            e.bytes = bytes;
            if (::stat((path + "/" + bytes).c_str(), &e.info) != 0)
                continue;
            e.name = DecodeLine(bytes);
            e.key = ToQ(e.name).toCaseFolded();
            entries.push_back(std::move(e));
        }
        ::closedir(dir);
        std::sort(entries.begin(), entries.end(), [](const SDirEntry& a, const SDirEntry& b) {
            const int order = a.key.compare(b.key);
            return order != 0 ? order < 0 : a.bytes < b.bytes;
        });
        for (const SDirEntry& e : entries) {
            if (m_progress.Cancelled())
                break;
            const std::string full = path + "/" + e.bytes;
            if (S_ISDIR(e.info.st_mode)) {
                if (depth >= m_maxDepth || OnPath(e.info))
                    continue;
                BkItemPtr sub = CBkItem::MakeFolder(EntryTitle(e.name));
                if (Read(full, *sub, depth + 1))
                    folder.Append(std::move(sub));
            } else if (S_ISREG(e.info.st_mode) && EndsWithNoCase(e.bytes, ".url")) {
                std::string url;
                if (e.info.st_size <= kMaxShortcutSize)
                    url = ReadInternetShortcut(full).value_or(std::string());
                const std::string title(e.name.substr(0, e.name.size() - 4));
                folder.Append(CBkItem::MakeLink(EntryTitle(title), EntryUrl(OneLine(url))));
                ++m_progress.done;
            }
        }
        m_path.pop_back();
        return true;
    }

private:
    bool OnPath(const struct stat& info) const
    {
        return std::find(m_path.begin(), m_path.end(), std::pair{info.st_dev, info.st_ino}) != m_path.end();
    }

    SBkProgress& m_progress;
    int m_maxDepth;
    std::vector<std::pair<dev_t, ino_t>> m_path;
};

} // namespace

SBkImport ReadFavorites(const std::string& folder, SBkProgress& progress, int maxDepth)
{
    SBkImport result;
    BkItemPtr root = CBkItem::MakeFolder({});
    CFavoritesReader reader(progress, std::max(0, maxDepth));
    if (!reader.Read(folder, *root, 0)) {
        result.error = EInputFileError::Unreadable;
        return result;
    }
    result.cancelled = progress.Cancelled();
    if (result.cancelled)
        return result;
    result.items = root->TakeItems();
    return result;
}

// --- Favorites export --------------------------------------------------

std::string FavoriteName(std::string_view title)
{
    static const std::pair<char, const char*> kWide[] = {
        {'\\', "￥"}, {':', "："}, {',', "，"}, {';', "；"}, {'*', "＊"}, {'?', "？"},
        {'<', "＜"},  {'>', "＞"}, {'|', "｜"}, {'"', "”"},  {'/', "／"},
    };
    std::string name;
    for (char c : title) {
        const auto wide = std::find_if(std::begin(kWide), std::end(kWide), [c](const auto& w) { return w.first == c; });
        if (wide != std::end(kWide))
            name += wide->second;
        else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            name += ' '; // a NUL would end the name, and no control belongs in one
        else
            name += c;
    }
    if (name.empty())
        name = "ファイル名を付けれません";
    return CutText(name, 80);
}

namespace {

class CFavoritesWriter {
public:
    CFavoritesWriter(SBkProgress& progress, int maxSuffix) : m_progress(progress), m_maxSuffix(maxSuffix) {}

    std::optional<SBkExportError> Write(const BookmarkItem& folder, const std::string& path)
    {
        for (const BookmarkItem& item : folder.items) {
            if (m_progress.Cancelled())
                return std::nullopt;
            std::optional<SBkExportError> error;
            if (item.IsFolder())
                error = WriteFolder(item, path);
            else if (item.IsLink())
                error = WriteLink(item, path);
            ++m_progress.done;
            if (error)
                return error;
        }
        return std::nullopt;
    }

private:
    static std::string Candidate(const std::string& base, int suffix, std::string_view extension)
    {
        return suffix < 0 ? base + std::string(extension)
                          : base + "(" + std::to_string(suffix) + ")" + std::string(extension);
    }

    std::optional<SBkExportError> WriteFolder(const BookmarkItem& item, const std::string& parent)
    {
        const std::string base = parent + "/" + FavoriteName(item.title);
        for (int suffix = -1; suffix <= m_maxSuffix; ++suffix) {
            const std::string path = Candidate(base, suffix, {});
            if (::mkdir(path.c_str(), 0777) == 0)
                return Write(item, path);
            if (errno != EEXIST)
                return SBkExportError{path, ErrorText(errno)};
        }
        return SBkExportError{base, ErrorText(EEXIST)};
    }

    std::optional<SBkExportError> WriteLink(const BookmarkItem& item, const std::string& parent)
    {
        const std::string base = parent + "/" + FavoriteName(item.title);
        for (int suffix = -1; suffix <= m_maxSuffix; ++suffix) {
            const std::string path = Candidate(base, suffix, ".url");
            // The name is taken by a file of our own, which is written in
            // place: nothing was there to lose, and a failed write removes
            // it. (A temporary file and a sync per shortcut made exports of
            // thousands of links take minutes.)
            const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd < 0) {
                if (errno == EEXIST)
                    continue;
                return SBkExportError{path, ErrorText(errno)};
            }
            const std::string text = InternetShortcutText(OneLine(item.url));
            size_t done = 0;
            while (done < text.size()) {
                const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0)
                    break;
                done += size_t(n);
            }
            const int error = done == text.size() ? 0 : (errno ? errno : EIO);
            if (::close(fd) != 0 || error) {
                const int failed = error ? error : errno;
                ::unlink(path.c_str());
                return SBkExportError{path, ErrorText(failed)};
            }
            return std::nullopt;
        }
        return SBkExportError{base + ".url", ErrorText(EEXIST)};
    }

    SBkProgress& m_progress;
    int m_maxSuffix;
};

} // namespace

std::optional<SBkExportError> WriteFavorites(const BookmarkItem& root, const std::string& folder,
                                             SBkProgress& progress, int maxSuffix)
{
    struct stat info = {};
    if (::stat(folder.c_str(), &info) != 0)
        return SBkExportError{folder, ErrorText(errno)};
    if (!S_ISDIR(info.st_mode))
        return SBkExportError{folder, ErrorText(ENOTDIR)};
    progress.total = CountEntries(root);
    return CFavoritesWriter(progress, maxSuffix).Write(root, folder);
}

std::int64_t CountEntries(const BookmarkItem& folder)
{
    std::int64_t count = 0;
    std::vector<const BookmarkItem*> stack{&folder};
    while (!stack.empty()) {
        const BookmarkItem* current = stack.back();
        stack.pop_back();
        count += std::int64_t(current->items.size());
        for (const BookmarkItem& item : current->items) {
            if (item.IsFolder())
                stack.push_back(&item);
        }
    }
    return count;
}

BkItemList LinksFromList(const UrlList& urls)
{
    BkItemList links;
    for (const std::string& url : urls)
        links.push_back(CBkItem::MakeLink("無題", EntryUrl(url)));
    return links;
}

BkItemList ItemsFromDroppedFile(const std::string& path)
{
    BkItemList items;
    struct stat info = {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return items;
    const size_t slash = path.rfind('/');
    const std::string file = DecodeLine(path.substr(slash == std::string::npos ? 0 : slash + 1));
    const std::string extension = ToLowerAscii(file.substr(std::min(file.size(), file.rfind('.'))));
    const std::string stem = file.substr(0, file.size() - extension.size());
    auto add = [&](const std::string& title, const std::string& url) {
        if (!title.empty() && !url.empty())
            items.push_back(CBkItem::MakeLink(EntryTitle(title), EntryUrl(OneLine(url))));
    };
    if (extension == ".url") {
        if (info.st_size <= kMaxShortcutSize)
            add(stem, ReadInternetShortcut(path).value_or(path));
    } else if (extension == ".lnk") {
        add(stem, ReadShellLinkTarget(path).value_or(std::string()));
    } else if (extension == ".nbl") {
        UrlList urls;
        ReadListFile(path, urls);
        items = LinksFromList(urls);
    } else if (extension == ".desktop" && info.st_size <= kMaxShortcutSize) {
        const CIniFile entry(path);
        if (entry.GetString("Desktop Entry", "Type", "") == "Link") {
            const std::string name = entry.GetString("Desktop Entry", "Name", "");
            add(name.empty() ? stem : name, entry.GetString("Desktop Entry", "URL", ""));
        }
    }
    return items;
}

} // namespace nimbra::editor
