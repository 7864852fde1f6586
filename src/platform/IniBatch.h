#pragma once

#include <optional>
#include <string>
#include <vector>

namespace nimbra {

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
