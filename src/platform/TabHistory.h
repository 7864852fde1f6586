#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace nimbra {

// One page of a tab's back and forward history.
struct SHistoryPage {
    std::string url;
    std::string title;
    // The engine's own state of the page (scroll position, form fields),
    // opaque bytes that only the engine reads.
    std::string state;
    bool operator==(const SHistoryPage&) const = default;
};

// A tab's history: its pages, oldest first, and the index of the one shown.
// Empty when the tab has none to keep (its URL alone).
struct STabHistory {
    std::vector<SHistoryPage> entries;
    size_t current = 0;

    bool Empty() const { return entries.empty(); }
    // The page shown; only for a history that is not empty.
    const SHistoryPage& Current() const { return entries[current]; }
    bool operator==(const STabHistory&) const = default;
};

} // namespace nimbra
