#pragma once

#include <optional>
#include <string>
#include <vector>

#include "data/dde/DDEBrowserHost.h"
#include "data/dde/NimbraDDEClient.h"

namespace ddetest {

struct SGoCall {
    std::string text;
    int addToHistory, newTab, touchHistory, notifyFrame;
};

class CFakeHost : public nimbra::IDDEBrowserHost {
public:
    int TabCount() const override { return int(tabs.size()); }
    std::optional<nimbra::SDDEPage> TabPage(int index) const override
    {
        if (index < 0 || index >= int(tabs.size()))
            return std::nullopt;
        return tabs[size_t(index)];
    }
    std::optional<nimbra::SDDEPage> ActivePage() const override { return TabPage(active); }
    void Go(const std::string& text, int a, int b, int c, int d) override { goCalls.push_back({text, a, b, c, d}); }
    bool IsHiddenInTray() const override { return hidden; }
    void PostRestoreFromTray() override { ++trayRestores; }
    void RestoreMainWindow() override { ++restores; }
    void PostClose() override { ++closes; }

    void SetTabs(int count)
    {
        tabs.clear();
        for (int i = 1; i <= count; ++i)
            tabs.push_back({"http://site" + std::to_string(i) + "/", "Page " + std::to_string(i)});
    }

    std::vector<nimbra::SDDEPage> tabs;
    int active = -1;
    bool hidden = false;
    std::vector<SGoCall> goCalls;
    int trayRestores = 0;
    int restores = 0;
    int closes = 0;
};

// A server that keeps its reports.
template <class Base>
class CRecording : public Base {
public:
    using Base::Base;
    void Status(const std::string& text) override { reports.push_back(text); }
    bool Reported(const std::string& text) const
    {
        for (const std::string& report : reports)
            if (report == text)
                return true;
        return false;
    }
    std::vector<std::string> reports;
};

} // namespace ddetest
