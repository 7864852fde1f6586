#pragma once

#include <QString>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nimbra {

// Strings in the logic and file layers are UTF-8 bytes; widgets and the
// engine adapter use QString. These two convert.
QString ToQ(std::string_view utf8);
std::string FromQ(const QString& text);

bool IsValidUtf8(std::string_view bytes);

// A tool tip that shows page-controlled text (a title, a URL) as it stands:
// never read as rich text, line breaks kept. Empty for an empty text.
QString PlainToolTip(const QString& text);

// Bytes from a file: valid UTF-8 comes back unchanged, anything else is read
// as CP932 (files of the Windows version) and returned as UTF-8.
std::string DecodeLine(std::string_view bytes);
// Bytes read as CP932 / as UTF-8, each invalid sequence giving U+FFFD.
std::string DecodeCp932(std::string_view bytes);
std::string DecodeUtf8(std::string_view bytes);

// `bytes` in `charset` (an iconv name) as UTF-8; nullopt when any byte
// sequence is invalid in it.
std::optional<std::string> ConvertToUtf8(std::string_view bytes, const char* charset);

// Decodes a text in `charset` (an iconv name) to UTF-8 piece by piece, as a
// file is read: a character split between two pieces is joined, and each
// byte that starts no valid sequence gives U+FFFD. Keeps at most a few
// bytes of one unfinished character between pieces.
class CTextDecoder {
public:
    explicit CTextDecoder(const char* charset);
    ~CTextDecoder();
    CTextDecoder(const CTextDecoder&) = delete;
    CTextDecoder& operator=(const CTextDecoder&) = delete;

    // False when the system cannot decode the charset; Decode then gives
    // nothing.
    bool Ok() const;
    std::string Decode(std::string_view bytes);
    // The end of the text: an unfinished character gives U+FFFD per byte,
    // and the decoder starts afresh.
    std::string Finish();

private:
    void Convert(std::string_view bytes, bool last, std::string& out);

    void* m_cd;
    std::string m_pending; // the start of a character cut at the end of a piece
};

// Unicode case folding, the one rule for matching text while ignoring
// letter case (full-width letters included).
std::string FoldCase(std::string_view utf8);
QString FoldCase(const QString& text);

// The longest start of `utf8` of at most `maxBytes` bytes that does not
// split a character.
std::string_view CutUtf8(std::string_view utf8, size_t maxBytes);

// The width a text has in Shift-JIS: 1 for U+0000-U+007F and for half-width
// katakana U+FF61-U+FF9F, 2 for every other character.
int TextWidth(std::string_view utf8);

// Cuts a text to at most `width` cells without splitting a character. When
// a 2-wide character straddles the limit, the cut falls before it and
// `straddled` (if given) is set.
std::string CutText(std::string_view utf8, int width, bool* straddled = nullptr);

// Cuts a text to at most `count` characters (code points).
std::string CutChars(std::string_view utf8, size_t count);

// Shortens a title for display: a text not wider than `width` is kept;
// otherwise it is cut with CutText and gets "...." after a straddling cut,
// "..." otherwise, so the result is always width + 3 cells wide.
std::string TruncateTitle(std::string_view utf8, int width);

// Trims ASCII white space (blank, tab, CR, LF, VT, FF) at both ends / the start.
std::string Trim(std::string_view text);
std::string TrimLeft(std::string_view text);

// The text on one line: every CR and LF becomes a blank, so a value cannot
// split the line it is written on.
std::string OneLine(std::string_view text);

// ASCII lower case; other bytes unchanged.
std::string ToLowerAscii(std::string_view text);
bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
bool EndsWithNoCase(std::string_view text, std::string_view suffix);

// Leading blanks, an optional sign and the leading decimal digits, as the
// system's integer parser reads them ("12abc" is 12). nullopt when there are
// no digits. Values out of range wrap to 32 bits.
std::optional<int> ParseLeadingInt(std::string_view text);

// The integers of a comma-separated list, read the way "%d,%d,..." reads
// them: blanks may stand before each number, and reading stops at the first
// item that is not one. `whole` (when given) tells whether every item was a
// number within 32 bits (signed or unsigned) and nothing else followed.
std::vector<int> ParseIntList(std::string_view text, bool* whole = nullptr);

} // namespace nimbra
