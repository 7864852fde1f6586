#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace nimbra {

// An INI file with the semantics of the Windows private-profile functions:
// nothing is cached (every call reads or rewrites the file), section and key
// names compare without regard to ASCII case, the first matching section and
// key win, a missing file reads as empty, the file is created by the first
// write. Lines end in CR LF when written; LF alone is accepted when read.
// Lines that are not valid UTF-8 are read as CP932. Every write goes to a
// temporary file that is renamed over the old one, so a failed write leaves
// the old file as it was.
class CIniFile {
public:
    explicit CIniFile(std::string path);

    const std::string& path() const { return m_path; }

    // The value of section/key with surrounding blanks removed (and one pair
    // of enclosing double quotes), or `def` when the key is missing.
    std::string GetString(std::string_view section, std::string_view key, std::string_view def) const;

    // The value read as an integer: leading blanks, an optional sign and the
    // leading decimal digits ("12abc" reads 12). A missing key, an empty value
    // or a value without leading digits gives `def`. Out-of-range values wrap
    // to 32 bits as the system parser does.
    int GetInt(std::string_view section, std::string_view key, int def) const;

    // nullopt when the key is missing.
    std::optional<std::string> Find(std::string_view section, std::string_view key) const;

    // Writes the key (replacing it in place, or appending it to its section,
    // or appending a new section). Returns false when the file could not be
    // written; the old file then stays as it was.
    bool WriteString(std::string_view section, std::string_view key, std::string_view value);
    bool WriteInt(std::string_view section, std::string_view key, int value);

    bool DeleteKey(std::string_view section, std::string_view key);
    bool DeleteSection(std::string_view section);

    // Every key line of the section in file order, read in one pass; keys
    // repeated in the file come repeated.
    std::vector<std::pair<std::string, std::string>> SectionValues(std::string_view section) const;

    std::vector<std::string> SectionNames() const;
    std::vector<std::string> KeyNames(std::string_view section) const;

private:
    std::string m_path;
};

// An INI file read once, in one pass, for side files with many sections:
// lookups cost no further reads. Names, decoding and values follow the same
// rules as CIniFile (the first matching section and key win).
class CIniSnapshot {
public:
    // A missing or unreadable file reads as empty.
    explicit CIniSnapshot(const std::string& path);

    // The file exists but could not be read (rewriting it from this
    // snapshot would lose its content).
    bool Unreadable() const { return m_bUnreadable; }
    bool HasSection(std::string_view section) const;
    // The names of the sections, in lower case and in no particular order.
    std::vector<std::string> SectionNames() const;
    std::optional<std::string> Find(std::string_view section, std::string_view key) const;
    std::string GetString(std::string_view section, std::string_view key, std::string_view def) const;
    int GetInt(std::string_view section, std::string_view key, int def) const;

private:
    using Keys = std::unordered_map<std::string, std::string>;
    // By lower-case section name, then lower-case key.
    std::unordered_map<std::string, Keys> m_sections;
    bool m_bUnreadable = false;
};

// One change of a batch write: a value to set, or nullopt to remove the key.
struct SIniEdit {
    std::string section;
    std::string key;
    std::optional<std::string> value;
};

// Every edit in one rewrite of the INI file at `path`, with CIniFile's
// rules, as if the edits were made one by one (a key edited twice takes
// the last edit). False when the file could not be read or written; the
// old file then stays as it was.
bool WriteIniValues(const std::string& path, const std::vector<SIniEdit>& edits);

} // namespace nimbra
