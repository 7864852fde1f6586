#pragma once

#include "data/filters/FilterEngine.h"
#include "platform/InputFile.h"

#include <memory>
#include <string>
#include <vector>

namespace nimbra {

// A filter list the person named, and whether it is in use.
struct SFilterList {
    std::string path;
    bool enabled = false;
};

// "filters.ini": section [FilterLists] with Count and, for each list from
// 0, PathN and EnabledN. A missing file names no list.
std::vector<SFilterList> ReadFilterListsFile(const std::string& path);
// Rewrites the whole section; false when the file could not be written.
bool WriteFilterListsFile(const std::string& path, const std::vector<SFilterList>& lists);

// What reading one list gave: its rules, and the lines skipped as not
// understood (blank lines and comments are neither).
struct SFilterListCount {
    size_t rules = 0;
    size_t skipped = 0;
    EInputFileError error = EInputFileError::None;
};

// Reads the file at `path` into `engine` (only counts when it is nullptr).
SFilterListCount ReadFilterList(const std::string& path, CFilterEngine* engine);

struct SFilterLoad {
    std::shared_ptr<const CFilterEngine> engine; // nullptr when no list is in use
    std::vector<SFilterListCount> counts;        // one per list, in order; disabled ones empty
};

// Reads every enabled list into one engine. Slow for long lists: run it
// off the user-interface thread.
SFilterLoad LoadFilterLists(const std::vector<SFilterList>& lists);

} // namespace nimbra
