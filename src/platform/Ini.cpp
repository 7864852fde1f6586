#include "platform/Ini.h"

#include "platform/AtomicFile.h"
#include "platform/InputFile.h"
#include "platform/Text.h"

#include <algorithm>
#include <map>

namespace nimbra {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

// The file's bytes; "" for a missing file, nullopt for one that exists but
// cannot be read (rewriting it from nothing would lose its content).
std::optional<std::string> ReadBytes(const std::string& path)
{
    SInputFile file = ReadInputFile(path);
    if (file.error == EInputFileError::Missing)
        return std::string();
    if (!file.Ok())
        return std::nullopt;
    return std::move(file.bytes);
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view SkipBlanks(std::string_view s)
{
    size_t i = 0;
    while (i < s.size() && IsBlank(s[i]))
        ++i;
    return s.substr(i);
}

// A section header starts with "[" after blanks. A CP932 trail byte never
// starts a line, so this test is safe on undecoded bytes.
bool IsSectionLine(std::string_view raw)
{
    const std::string_view s = SkipBlanks(raw);
    return !s.empty() && s.front() == '[';
}

std::string SectionName(std::string_view raw)
{
    const std::string text = DecodeLine(raw);
    std::string_view s = SkipBlanks(text).substr(1);
    return Trim(s.substr(0, s.find(']')));
}

// Splits a key line into trimmed key and value; false for lines without "=".
bool SplitKeyLine(std::string_view raw, std::string& key, std::string* value)
{
    const std::string text = DecodeLine(raw);
    const size_t eq = text.find('=');
    if (eq == std::string::npos)
        return false;
    key = Trim(std::string_view(text).substr(0, eq));
    if (value) {
        std::string v = Trim(std::string_view(text).substr(eq + 1));
        if (v.size() >= 2 && v.front() == '"' && v.back() == '"')
            v = v.substr(1, v.size() - 2);
        *value = std::move(v);
    }
    return true;
}

// The file split into lines (LF or CR LF ends, BOM dropped). Reads look
// things up; writes describe one splice of lines and store the result.
class CIniText {
public:
    explicit CIniText(std::string bytes) : m_bytes(std::move(bytes))
    {
        std::string_view rest = m_bytes;
        if (rest.substr(0, kBom.size()) == kBom)
            rest.remove_prefix(kBom.size());
        while (!rest.empty()) {
            const size_t lf = rest.find('\n');
            std::string_view line = rest.substr(0, lf);
            if (!line.empty() && line.back() == '\r')
                line.remove_suffix(1);
            m_lines.push_back(line);
            if (lf == std::string_view::npos)
                break;
            rest.remove_prefix(lf + 1);
        }
    }

    struct Section {
        size_t header; // index of the "[name]" line
        size_t end;    // one past its last line
    };

    std::optional<Section> FindSection(std::string_view name) const
    {
        for (size_t i = 0; i < m_lines.size(); ++i) {
            if (!IsSectionLine(m_lines[i]) || !EqualsNoCase(SectionName(m_lines[i]), name))
                continue;
            size_t end = i + 1;
            while (end < m_lines.size() && !IsSectionLine(m_lines[end]))
                ++end;
            return Section{i, end};
        }
        return std::nullopt;
    }

    std::optional<size_t> FindKey(const Section& section, std::string_view key, std::string* value) const
    {
        std::string name;
        for (size_t i = section.header + 1; i < section.end; ++i) {
            if (SplitKeyLine(m_lines[i], name, value) && EqualsNoCase(name, key))
                return i;
        }
        return std::nullopt;
    }

    std::vector<std::string> SectionNames() const
    {
        std::vector<std::string> names;
        for (std::string_view line : m_lines) {
            if (IsSectionLine(line))
                AddUnique(names, SectionName(line));
        }
        return names;
    }

    std::vector<std::string> KeyNames(const Section& section) const
    {
        std::vector<std::string> names;
        std::string name;
        for (size_t i = section.header + 1; i < section.end; ++i) {
            if (SplitKeyLine(m_lines[i], name, nullptr))
                AddUnique(names, name);
        }
        return names;
    }

    std::vector<std::pair<std::string, std::string>> Values(const Section& section) const
    {
        std::vector<std::pair<std::string, std::string>> values;
        std::string name;
        std::string value;
        for (size_t i = section.header + 1; i < section.end; ++i) {
            if (SplitKeyLine(m_lines[i], name, &value))
                values.emplace_back(std::move(name), std::move(value));
        }
        return values;
    }

    size_t LineCount() const { return m_lines.size(); }
    const std::vector<std::string_view>& Lines() const { return m_lines; }

    // Where a new key of the section goes: after its last line that is not blank.
    size_t AppendPoint(const Section& section) const
    {
        size_t pos = section.end;
        while (pos > section.header + 1 && SkipBlanks(m_lines[pos - 1]).empty())
            --pos;
        return pos;
    }

    // Writes the file with lines [from, to) replaced by `insert`; every line
    // ends in CR LF.
    bool Store(const std::string& path, size_t from, size_t to, const std::vector<std::string>& insert) const
    {
        std::string out;
        out.reserve(m_bytes.size() + 64);
        auto put = [&out](std::string_view line) {
            out.append(line);
            out.append("\r\n");
        };
        for (size_t i = 0; i < from; ++i)
            put(m_lines[i]);
        for (const std::string& line : insert)
            put(line);
        for (size_t i = to; i < m_lines.size(); ++i)
            put(m_lines[i]);
        return WriteFileAtomically(path, out);
    }

private:
    static void AddUnique(std::vector<std::string>& names, std::string name)
    {
        for (const std::string& n : names) {
            if (EqualsNoCase(n, name))
                return;
        }
        names.push_back(std::move(name));
    }

    std::string m_bytes;
    std::vector<std::string_view> m_lines;
};

} // namespace

CIniFile::CIniFile(std::string path) : m_path(std::move(path)) {}

std::optional<std::string> CIniFile::Find(std::string_view section, std::string_view key) const
{
    std::optional<std::string> bytes = ReadBytes(m_path);
    if (!bytes)
        return std::nullopt;
    const CIniText text(std::move(*bytes));
    const auto found = text.FindSection(section);
    if (!found)
        return std::nullopt;
    std::string value;
    if (!text.FindKey(*found, key, &value))
        return std::nullopt;
    return value;
}

std::string CIniFile::GetString(std::string_view section, std::string_view key, std::string_view def) const
{
    std::optional<std::string> value = Find(section, key);
    return value ? std::move(*value) : std::string(def);
}

int CIniFile::GetInt(std::string_view section, std::string_view key, int def) const
{
    const std::optional<std::string> value = Find(section, key);
    if (!value)
        return def;
    return ParseLeadingInt(*value).value_or(def);
}

bool CIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value)
{
    std::optional<std::string> bytes = ReadBytes(m_path);
    if (!bytes)
        return false;
    const CIniText text(std::move(*bytes));
    std::string line = OneLine(key);
    line += '=';
    line += OneLine(value);
    const auto found = text.FindSection(section);
    if (!found) {
        std::string header = "[";
        header += OneLine(section);
        header += ']';
        const size_t end = text.LineCount();
        return text.Store(m_path, end, end, {header, line});
    }
    if (const auto at = text.FindKey(*found, key, nullptr))
        return text.Store(m_path, *at, *at + 1, {line});
    const size_t at = text.AppendPoint(*found);
    return text.Store(m_path, at, at, {line});
}

bool CIniFile::WriteInt(std::string_view section, std::string_view key, int value)
{
    return WriteString(section, key, std::to_string(value));
}

bool WriteIniValues(const std::string& path, const std::vector<SIniEdit>& edits)
{
    std::optional<std::string> bytes = ReadBytes(path);
    if (!bytes)
        return false;
    const CIniText text(std::move(*bytes));

    // The last edit of each key, in the order keys were first named.
    std::vector<const SIniEdit*> last;
    std::unordered_map<std::string, size_t> slot;
    for (const SIniEdit& edit : edits) {
        const std::string id = ToLowerAscii(edit.section) + '\n' + ToLowerAscii(edit.key);
        const auto [it, added] = slot.try_emplace(id, last.size());
        if (added)
            last.push_back(&edit);
        else
            last[it->second] = &edit;
    }

    struct SSectionIndex {
        std::optional<CIniText::Section> found;
        std::unordered_map<std::string, size_t> keys; // lower-case key -> line, first wins
    };
    std::unordered_map<std::string, SSectionIndex> sections;
    std::vector<std::optional<std::string>> replaced(text.LineCount());
    std::vector<bool> removed(text.LineCount());
    std::map<size_t, std::vector<std::string>> inserted; // lines put before a line index
    std::vector<std::pair<std::string, std::vector<std::string>>> added;
    std::string name;
    for (const SIniEdit* edit : last) {
        const auto [it, fresh] = sections.try_emplace(ToLowerAscii(edit->section));
        SSectionIndex& index = it->second;
        if (fresh) {
            index.found = text.FindSection(edit->section);
            for (size_t i = index.found ? index.found->header + 1 : 0; index.found && i < index.found->end; ++i)
                if (SplitKeyLine(text.Lines()[i], name, nullptr))
                    index.keys.try_emplace(ToLowerAscii(name), i);
        }
        std::optional<std::string> line;
        if (edit->value)
            line = OneLine(edit->key) + '=' + OneLine(*edit->value);
        const auto key = index.keys.find(ToLowerAscii(edit->key));
        if (key != index.keys.end()) {
            if (line)
                replaced[key->second] = std::move(line);
            else
                removed[key->second] = true;
        } else if (line && index.found) {
            inserted[text.AppendPoint(*index.found)].push_back(std::move(*line));
        } else if (line) {
            auto section = std::find_if(added.begin(), added.end(),
                                        [&](const auto& s) { return EqualsNoCase(s.first, edit->section); });
            if (section == added.end())
                section = added.insert(added.end(), {edit->section, {}});
            section->second.push_back(std::move(*line));
        }
    }

    std::vector<std::string> out;
    out.reserve(text.LineCount() + edits.size() + added.size());
    for (size_t i = 0; i <= text.LineCount(); ++i) {
        if (const auto at = inserted.find(i); at != inserted.end())
            out.insert(out.end(), at->second.begin(), at->second.end());
        if (i == text.LineCount())
            break;
        if (!removed[i])
            out.push_back(replaced[i] ? *replaced[i] : std::string(text.Lines()[i]));
    }
    for (const auto& [section, lines] : added) {
        out.push_back('[' + OneLine(section) + ']');
        out.insert(out.end(), lines.begin(), lines.end());
    }
    std::string file;
    file.reserve(out.size() * 40);
    for (const std::string& line : out) {
        file += line;
        file += "\r\n";
    }
    return WriteFileAtomically(path, file);
}

bool CIniFile::DeleteKey(std::string_view section, std::string_view key)
{
    std::optional<std::string> bytes = ReadBytes(m_path);
    if (!bytes)
        return false;
    const CIniText text(std::move(*bytes));
    const auto found = text.FindSection(section);
    const auto at = found ? text.FindKey(*found, key, nullptr) : std::nullopt;
    if (!at)
        return true;
    return text.Store(m_path, *at, *at + 1, {});
}

bool CIniFile::DeleteSection(std::string_view section)
{
    std::optional<std::string> bytes = ReadBytes(m_path);
    if (!bytes)
        return false;
    const CIniText text(std::move(*bytes));
    const auto found = text.FindSection(section);
    if (!found)
        return true;
    return text.Store(m_path, found->header, found->end, {});
}

std::vector<std::pair<std::string, std::string>> CIniFile::SectionValues(std::string_view section) const
{
    std::optional<std::string> bytes = ReadBytes(m_path);
    if (!bytes)
        return {};
    const CIniText text(std::move(*bytes));
    const auto found = text.FindSection(section);
    return found ? text.Values(*found) : std::vector<std::pair<std::string, std::string>>();
}

std::vector<std::string> CIniFile::SectionNames() const
{
    std::optional<std::string> bytes = ReadBytes(m_path);
    if (!bytes)
        return {};
    return CIniText(std::move(*bytes)).SectionNames();
}

std::vector<std::string> CIniFile::KeyNames(std::string_view section) const
{
    std::optional<std::string> bytes = ReadBytes(m_path);
    if (!bytes)
        return {};
    const CIniText text(std::move(*bytes));
    const auto found = text.FindSection(section);
    return found ? text.KeyNames(*found) : std::vector<std::string>();
}

CIniSnapshot::CIniSnapshot(const std::string& path)
{
    std::optional<std::string> bytes = ReadBytes(path);
    if (!bytes) {
        m_bUnreadable = true;
        return;
    }
    const CIniText text(std::move(*bytes));
    Keys* keys = nullptr; // nullptr outside a section and in a repeated one
    std::string key;
    std::string value;
    for (std::string_view line : text.Lines()) {
        if (IsSectionLine(line)) {
            const auto [it, added] = m_sections.try_emplace(ToLowerAscii(SectionName(line)));
            keys = added ? &it->second : nullptr;
        } else if (keys && SplitKeyLine(line, key, &value)) {
            keys->try_emplace(ToLowerAscii(key), std::move(value));
        }
    }
}

bool CIniSnapshot::HasSection(std::string_view section) const
{
    return m_sections.count(ToLowerAscii(section)) != 0;
}

std::vector<std::string> CIniSnapshot::SectionNames() const
{
    std::vector<std::string> names;
    names.reserve(m_sections.size());
    for (const auto& section : m_sections)
        names.push_back(section.first);
    return names;
}

std::optional<std::string> CIniSnapshot::Find(std::string_view section, std::string_view key) const
{
    const auto found = m_sections.find(ToLowerAscii(section));
    if (found == m_sections.end())
        return std::nullopt;
    const auto value = found->second.find(ToLowerAscii(key));
    if (value == found->second.end())
        return std::nullopt;
    return value->second;
}

std::string CIniSnapshot::GetString(std::string_view section, std::string_view key, std::string_view def) const
{
    std::optional<std::string> value = Find(section, key);
    return value ? std::move(*value) : std::string(def);
}

int CIniSnapshot::GetInt(std::string_view section, std::string_view key, int def) const
{
    const std::optional<std::string> value = Find(section, key);
    return value ? ParseLeadingInt(*value).value_or(def) : def;
}

} // namespace nimbra
