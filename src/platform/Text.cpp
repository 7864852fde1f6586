#include "platform/Text.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <iconv.h>
#include <utility>

namespace nimbra {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD"; // U+FFFD

// One unit of a UTF-8 text: a well-formed sequence, or a single stray byte
// (valid == false). Overlong forms, surrogates and values above U+10FFFF are
// stray bytes too.
struct Utf8Unit {
    size_t length;
    char32_t code;
    bool valid;
};

Utf8Unit NextUnit(std::string_view s, size_t pos)
{
    const auto b0 = static_cast<unsigned char>(s[pos]);
    if (b0 < 0x80)
        return {1, b0, true};
    size_t length;
    char32_t code;
    char32_t min;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2;
        code = b0 & 0x1F;
        min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3;
        code = b0 & 0x0F;
        min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4;
        code = b0 & 0x07;
        min = 0x10000;
    } else {
        return {1, b0, false};
    }
    if (pos + length > s.size())
        return {1, b0, false};
    for (size_t i = 1; i < length; ++i) {
        const auto b = static_cast<unsigned char>(s[pos + i]);
        if ((b & 0xC0) != 0x80)
            return {1, b0, false};
        code = (code << 6) | (b & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return {1, b0, false};
    return {length, code, true};
}

int UnitWidth(const Utf8Unit& unit)
{
    if (!unit.valid || unit.code < 0x80 || (unit.code >= 0xFF61 && unit.code <= 0xFF9F))
        return 1;
    return 2;
}

iconv_t Descriptor(void* cd)
{
    return static_cast<iconv_t>(cd);
}

constexpr size_t kNoConversion = static_cast<size_t>(-1);

// CP932, or plain Shift_JIS where the system lacks it. One per thread:
// iconv descriptors keep state and are not shareable between threads.
CTextDecoder& Cp932Decoder()
{
    thread_local CTextDecoder cp932("CP932");
    if (cp932.Ok())
        return cp932;
    thread_local CTextDecoder shiftJis("SHIFT_JIS");
    return shiftJis;
}

} // namespace

QString ToQ(std::string_view utf8)
{
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string FromQ(const QString& text)
{
    return text.toUtf8().toStdString();
}

QString PlainToolTip(const QString& text)
{
    // Tool tips guess the format; escaped text in a paragraph is read as
    // the characters it holds.
    if (text.isEmpty())
        return {};
    return QStringLiteral("<p style='white-space:pre'>") + text.toHtmlEscaped() + QStringLiteral("</p>");
}

bool IsValidUtf8(std::string_view bytes)
{
    for (size_t pos = 0; pos < bytes.size();) {
        if (static_cast<unsigned char>(bytes[pos]) < 0x80) {
            ++pos;
            continue;
        }
        const Utf8Unit unit = NextUnit(bytes, pos);
        if (!unit.valid)
            return false;
        pos += unit.length;
    }
    return true;
}

std::optional<std::string> ConvertToUtf8(std::string_view bytes, const char* charset)
{
    const iconv_t cd = iconv_open("UTF-8", charset);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    std::string out;
    out.reserve(bytes.size() * 3 / 2 + 4);
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    char buffer[4096];
    bool ok = true;
    for (bool flushing = false;;) {
        char* outPtr = buffer;
        size_t outLeft = sizeof buffer;
        const size_t rc = flushing ? iconv(cd, nullptr, nullptr, &outPtr, &outLeft)
                                   : iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<size_t>(outPtr - buffer));
        if (rc == static_cast<size_t>(-1) && errno != E2BIG) {
            ok = false;
            break;
        }
        if (rc == static_cast<size_t>(-1))
            continue;
        if (flushing)
            break;
        if (inLeft == 0)
            flushing = true;
    }
    iconv_close(cd);
    if (!ok)
        return std::nullopt;
    return out;
}

QString FoldCase(const QString& text)
{
    return text.toCaseFolded();
}

std::string FoldCase(std::string_view utf8)
{
    return FromQ(ToQ(utf8).toCaseFolded());
}

std::string_view CutUtf8(std::string_view utf8, size_t maxBytes)
{
    if (utf8.size() <= maxBytes)
        return utf8;
    size_t end = maxBytes;
    while (end > 0 && (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80)
        --end;
    return utf8.substr(0, end);
}

CTextDecoder::CTextDecoder(const char* charset) : m_cd(iconv_open("UTF-8", charset)) {}

CTextDecoder::~CTextDecoder()
{
    if (Ok())
        iconv_close(Descriptor(m_cd));
}

bool CTextDecoder::Ok() const
{
    return Descriptor(m_cd) != reinterpret_cast<iconv_t>(-1);
}

std::string CTextDecoder::Decode(std::string_view bytes)
{
    std::string out;
    if (!Ok())
        return out;
    out.reserve(bytes.size() * 3 / 2 + 4);
    if (m_pending.empty()) {
        Convert(bytes, false, out);
    } else {
        std::string joined = std::exchange(m_pending, {});
        joined.append(bytes);
        Convert(joined, false, out);
    }
    return out;
}

std::string CTextDecoder::Finish()
{
    std::string out;
    if (!Ok())
        return out;
    Convert(std::exchange(m_pending, {}), true, out);
    iconv(Descriptor(m_cd), nullptr, nullptr, nullptr, nullptr);
    return out;
}

void CTextDecoder::Convert(std::string_view bytes, bool last, std::string& out)
{
    const iconv_t cd = Descriptor(m_cd);
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    char buffer[4096];
    while (inLeft > 0) {
        char* outPtr = buffer;
        size_t outLeft = sizeof buffer;
        const size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<size_t>(outPtr - buffer));
        if (rc != kNoConversion || errno == E2BIG)
            continue;
        if (errno == EINVAL && !last) {
            // A character cut at the end of the piece: the next one ends it.
            m_pending.assign(in, inLeft);
            return;
        }
        // An invalid sequence, or one the text ends in: one byte replaced.
        out.append(kReplacement);
        ++in;
        --inLeft;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
}

std::string DecodeCp932(std::string_view bytes)
{
    CTextDecoder& decoder = Cp932Decoder();
    if (decoder.Ok()) {
        std::string text = decoder.Decode(bytes);
        return text + decoder.Finish();
    }
    // No converter at all: keep the ASCII, replace the rest.
    std::string out;
    for (char c : bytes) {
        if (static_cast<unsigned char>(c) < 0x80)
            out += c;
        else
            out.append(kReplacement);
    }
    return out;
}

std::string DecodeUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (size_t pos = 0; pos < bytes.size();) {
        const Utf8Unit unit = NextUnit(bytes, pos);
        if (unit.valid)
            out.append(bytes.substr(pos, unit.length));
        else
            out.append(kReplacement);
        pos += unit.length;
    }
    return out;
}

std::string DecodeLine(std::string_view bytes)
{
    if (IsValidUtf8(bytes))
        return std::string(bytes);
    return DecodeCp932(bytes);
}

int TextWidth(std::string_view utf8)
{
    int width = 0;
    for (size_t pos = 0; pos < utf8.size();) {
        const Utf8Unit unit = NextUnit(utf8, pos);
        width += UnitWidth(unit);
        pos += unit.length;
    }
    return width;
}

std::string CutText(std::string_view utf8, int width, bool* straddled)
{
    if (straddled)
        *straddled = false;
    // No character is wider than its UTF-8 bytes: a text of no more bytes fits.
    if (width >= 0 && utf8.size() <= size_t(width))
        return std::string(utf8);
    int used = 0;
    size_t pos = 0;
    while (pos < utf8.size()) {
        const Utf8Unit unit = NextUnit(utf8, pos);
        const int w = UnitWidth(unit);
        if (used + w > width) {
            if (straddled && w == 2 && used == width - 1)
                *straddled = true;
            break;
        }
        used += w;
        pos += unit.length;
    }
    return std::string(utf8.substr(0, pos));
}

std::string CutChars(std::string_view utf8, size_t count)
{
    size_t pos = 0;
    for (size_t n = 0; n < count && pos < utf8.size(); ++n)
        pos += NextUnit(utf8, pos).length;
    return std::string(utf8.substr(0, pos));
}

std::string TruncateTitle(std::string_view utf8, int width)
{
    if (TextWidth(utf8) <= width)
        return std::string(utf8);
    bool straddled = false;
    std::string cut = CutText(utf8, width, &straddled);
    cut += straddled ? "...." : "...";
    return cut;
}

namespace {

bool IsAsciiSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

std::string Trim(std::string_view text)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsAsciiSpace(text[begin]))
        ++begin;
    while (end > begin && IsAsciiSpace(text[end - 1]))
        --end;
    return std::string(text.substr(begin, end - begin));
}

std::string TrimLeft(std::string_view text)
{
    size_t begin = 0;
    while (begin < text.size() && IsAsciiSpace(text[begin]))
        ++begin;
    return std::string(text.substr(begin));
}

std::string OneLine(std::string_view text)
{
    std::string out(text);
    for (char& c : out) {
        if (c == '\r' || c == '\n')
            c = ' ';
    }
    return out;
}

std::string ToLowerAscii(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = LowerAscii(c);
    return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    }
    return true;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() && EqualsNoCase(text.substr(text.size() - suffix.size()), suffix);
}

std::optional<int> ParseLeadingInt(std::string_view text)
{
    size_t pos = 0;
    while (pos < text.size() && IsAsciiSpace(text[pos]))
        ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) {
        negative = text[pos] == '-';
        ++pos;
    }
    if (pos >= text.size() || text[pos] < '0' || text[pos] > '9')
        return std::nullopt;
    // Unsigned arithmetic: overflow wraps to 32 bits instead of being undefined.
    uint32_t value = 0;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos)
        value = value * 10u + static_cast<uint32_t>(text[pos] - '0');
    if (negative)
        value = 0u - value;
    return static_cast<int>(value);
}

std::vector<int> ParseIntList(std::string_view text, bool* whole)
{
    std::vector<int> numbers;
    bool complete = true;
    size_t pos = 0;
    while (true) {
        size_t digits = pos;
        while (digits < text.size() && IsAsciiSpace(text[digits]))
            ++digits;
        const bool negative = digits < text.size() && text[digits] == '-';
        if (digits < text.size() && (text[digits] == '-' || text[digits] == '+'))
            ++digits;
        const size_t first = digits;
        int64_t magnitude = 0;
        for (; digits < text.size() && text[digits] >= '0' && text[digits] <= '9'; ++digits)
            magnitude = std::min<int64_t>(magnitude * 10 + (text[digits] - '0'), int64_t(1) << 33);
        if (digits == first) {
            complete = false;
            break;
        }
        if (negative ? magnitude > (int64_t(1) << 31) : magnitude > 0xFFFFFFFFll)
            complete = false;
        numbers.push_back(*ParseLeadingInt(text.substr(pos, digits - pos)));
        if (digits == text.size())
            break;
        if (text[digits] != ',') {
            complete = false;
            break;
        }
        pos = digits + 1;
    }
    if (whole)
        *whole = complete;
    return numbers;
}

} // namespace nimbra
