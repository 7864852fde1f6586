#pragma once

#include "platform/TabHistory.h"

#include <functional>
#include <string>
#include <vector>

namespace nimbra {

// Pages of recently closed tabs, newest first, with the last closed URL,
// and their file "rcul.ini" (one section "RecentClosedUrl<i>" per entry
// with the keys Title and Url). The pages' histories go to the file's side
// file (CTabHistoryFile).
class CRecentClosed {
public:
    static constexpr size_t kMaxEntries = 19;

    struct SEntry {
        std::string url;
        std::string title;
        // The tab's history, bounded; empty unless its current page is `url`.
        STabHistory history;
    };

    // Records a closed tab: the last closed URL always; the list only for a
    // URL that is neither empty nor "about:blank", moving an equal URL to
    // the front.
    void AddRecentClosed(const std::string& url, const std::string& title, const STabHistory& history = {});

    const std::vector<SEntry>& Entries() const { return m_entries; }
    // The entries' URLs in order.
    std::vector<std::string> Urls() const;
    const std::string& LastClosedUrl() const { return m_strLastClosedUrl; }

    // Replaces the list by the entries of the file, up to the first section
    // without a URL. A missing file gives an empty list.
    void Load(const std::string& path);
    // Writes every entry and removes the sections of a longer earlier list,
    // then the side file. False when the file could not be written.
    bool Save(const std::string& path) const;

    // "&1 title" .. "&9 title", then "&A title", ..., the title shortened
    // to the menu width.
    std::string MenuLabel(size_t index) const;

    // RectUrlEnable: keep the list in its file across restarts.
    bool m_bSaveOnExit = true;
    // RectUrlMenuCharLength: the width of a title in the menu.
    int m_nMenuCharLength = 50;

    // Called after the list changed.
    void SetChangedHandler(std::function<void()> handler) { m_changed = std::move(handler); }

private:
    std::vector<SEntry> m_entries;
    std::string m_strLastClosedUrl;
    std::function<void()> m_changed;
};

} // namespace nimbra
