#include "data/sidebar/SearchEngineList.h"

#include "platform/AtomicFile.h"
#include "platform/Ini.h"
#include "platform/Text.h"

#include <algorithm>
#include <optional>

namespace nimbra {

namespace {

constexpr char kOptions[] = "Options";
constexpr char kItemCount[] = "ItemCount";
constexpr char kEnable[] = "Enable";
constexpr char kColumnSize[] = "ColumnSize";
constexpr char kTitle[] = "Title";
constexpr char kFront[] = "UrlF";
constexpr char kBack[] = "UrlB";
constexpr std::string_view kItemPrefix = "searchitem";
constexpr char kNewEngine[] = "新しいサーチエンジン";

std::string ItemSection(int index)
{
    return "SearchItem" + std::to_string(index);
}

// The index of a lower-case section name "searchitem<i>" written as
// "SearchItem%d" writes it (no sign, no leading zero).
std::optional<int> ItemIndex(std::string_view name)
{
    if (name.substr(0, kItemPrefix.size()) != kItemPrefix)
        return std::nullopt;
    const std::string_view digits = name.substr(kItemPrefix.size());
    if (digits.empty() || digits.size() > 10 || (digits.size() > 1 && digits[0] == '0'))
        return std::nullopt;
    long long value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value > 0x7FFFFFFF)
        return std::nullopt;
    return int(value);
}

void Line(std::string& out, std::string_view key, std::string_view value)
{
    out.append(key);
    out += '=';
    out.append(OneLine(value));
    out.append("\r\n");
}

} // namespace

std::vector<SSearchEngine> BuiltinSearchEngines()
{
    return {
        {false, "goo", "https://search.goo.ne.jp/default.asp?MT=", "&WTS=ntt&SM=MC&DE=2&DC=10&_v=2"},
        {true, "Google", "https://www.google.co.jp/search?lr=lang_ja&q=", "&num=100"},
        {false, "infoseek", "https://www.infoseek.co.jp/Titles?qt=", "&lk=noframes&svx=10&col=JW&qp=0&nh=10"},
        {false, "LYCOS", "https://www.lycos.co.jp/cgi-bin/pursuit?cat=jp&query=", ""},
    };
}

std::string EncodeSearchText(std::string_view text)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() * 3);
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '-' || b == '.' ||
            b == '_' || b == '~') {
            out += c;
        } else {
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 0x0F];
        }
    }
    return out;
}

std::string ClipboardSearchText(std::string_view text)
{
    return Trim(CutChars(Trim(text), kMaxClipboardChars));
}

void CSearchEngineList::Load(const std::string& path)
{
    const CIniSnapshot ini(path);
    m_bUnreadable = ini.Unreadable();
    m_nEnable = ini.GetInt(kOptions, kEnable, 1);
    const int column = ini.GetInt(kOptions, kColumnSize, -1);
    m_nColumnSize = kDefaultColumnSize;
    if (column != -1)
        SetColumnSize(column);
    m_engines.clear();
    const int count = ini.GetInt(kOptions, kItemCount, -1);
    if (count == -1) {
        m_engines = BuiltinSearchEngines();
        return;
    }
    std::vector<int> indexes;
    for (const std::string& name : ini.SectionNames()) {
        const std::optional<int> index = ItemIndex(name);
        if (index && *index < count)
            indexes.push_back(*index);
    }
    std::sort(indexes.begin(), indexes.end());
    m_engines.reserve(indexes.size());
    for (int index : indexes) {
        const std::string section = ItemSection(index);
        SSearchEngine& engine = m_engines.emplace_back();
        engine.checked = ini.GetInt(section, kEnable, 1) != 0;
        engine.title = ini.GetString(section, kTitle, "");
        engine.front = ini.GetString(section, kFront, "");
        engine.back = ini.GetString(section, kBack, "");
    }
}

std::string CSearchEngineList::Serialize() const
{
    std::string out;
    out.reserve(64 + m_engines.size() * 160);
    out.append("[Options]\r\n");
    Line(out, kItemCount, std::to_string(m_engines.size()));
    Line(out, kEnable, std::to_string(m_nEnable));
    Line(out, kColumnSize, std::to_string(m_nColumnSize));
    for (size_t i = 0; i < m_engines.size(); ++i) {
        const SSearchEngine& engine = m_engines[i];
        out += '[';
        out.append(ItemSection(int(i)));
        out.append("]\r\n");
        Line(out, kEnable, engine.checked ? "1" : "0");
        Line(out, kTitle, engine.title);
        Line(out, kFront, engine.front);
        Line(out, kBack, engine.back);
    }
    return out;
}

bool CSearchEngineList::Save(const std::string& path, ESave how)
{
    if (m_bUnreadable && how == ESave::Auto)
        return false;
    if (!WriteFileAtomically(path, Serialize()))
        return false;
    m_bUnreadable = false;
    return true;
}

bool CSearchEngineList::HasCheckedEngine() const
{
    return std::any_of(m_engines.begin(), m_engines.end(), [](const SSearchEngine& e) { return e.checked; });
}

void CSearchEngineList::SetColumnSize(int width)
{
    m_nColumnSize = std::clamp(width, kMinColumnSize, kMaxColumnSize);
}

int CSearchEngineList::Add(std::string_view clipboard)
{
    const std::string text = OneLine(ClipboardSearchText(clipboard));
    const bool url = text.find("http://") != std::string::npos || text.find("https://") != std::string::npos;
    m_engines.push_back({true, kNewEngine, url ? text : "http://", ""});
    return Count() - 1;
}

int CSearchEngineList::Remove(int row)
{
    if (!IsRow(row))
        return m_engines.empty() ? -1 : std::min(std::max(row, 0), Count() - 1);
    m_engines.erase(m_engines.begin() + row);
    return m_engines.empty() ? -1 : std::min(row, Count() - 1);
}

int CSearchEngineList::Move(int row, int step)
{
    const int other = row + step;
    if (!IsRow(row) || !IsRow(other))
        return row;
    std::swap(m_engines[size_t(row)], m_engines[size_t(other)]);
    return other;
}

void CSearchEngineList::SetTexts(int row, std::string_view title, std::string_view front, std::string_view back)
{
    if (!IsRow(row))
        return;
    SSearchEngine& engine = m_engines[size_t(row)];
    engine.title = OneLine(title);
    engine.front = OneLine(front);
    engine.back = OneLine(back);
}

void CSearchEngineList::CheckAll()
{
    for (SSearchEngine& engine : m_engines)
        engine.checked = true;
}

void CSearchEngineList::CheckOnly(int row)
{
    for (int i = 0; i < Count(); ++i)
        m_engines[size_t(i)].checked = i == row;
}

void CSearchEngineList::InvertChecks()
{
    for (SSearchEngine& engine : m_engines)
        engine.checked = !engine.checked;
}

void CSearchEngineList::SortByTitle(bool ascending)
{
    std::stable_sort(m_engines.begin(), m_engines.end(), [ascending](const SSearchEngine& a, const SSearchEngine& b) {
        const std::string x = ToLowerAscii(a.title);
        const std::string y = ToLowerAscii(b.title);
        return ascending ? x < y : y < x;
    });
}

std::vector<std::string> CSearchEngineList::SearchUrls(std::string_view text) const
{
    std::vector<std::string> urls;
    if (text.empty())
        return urls;
    const std::string encoded = EncodeSearchText(text);
    for (const SSearchEngine& engine : m_engines) {
        if (engine.checked)
            urls.push_back(engine.front + encoded + engine.back);
    }
    return urls;
}

} // namespace nimbra
