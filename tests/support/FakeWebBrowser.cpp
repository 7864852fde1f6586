#include "FakeWebBrowser.h"

#include <algorithm>

namespace testenv {

FakeWebBrowser::FakeWebBrowser(QWidget* parent) : m_pWidget(new QWidget(parent))
{
    All().push_back(this);
}

FakeWebBrowser::~FakeWebBrowser()
{
    auto& all = All();
    all.erase(std::remove(all.begin(), all.end(), this), all.end());
}

std::map<std::string, std::string>& FakeWebBrowser::Titles()
{
    static std::map<std::string, std::string> titles;
    return titles;
}

std::vector<FakeWebBrowser*>& FakeWebBrowser::All()
{
    static std::vector<FakeWebBrowser*> all;
    return all;
}

void FakeWebBrowser::Navigate(const std::string& url, int flags, const std::string&)
{
    navigations.push_back(url);
    if (!m_pEvents)
        return;
    if (!m_pEvents->BeforeNavigate2(url, flags & nimbra::NAVFLAG_HISTORY, {})) {
        refused.push_back(url);
        return;
    }
    m_pEvents->DownloadBegin();
    m_pending = url;
    m_bHolding = true;
    if (!holding)
        Finish();
}

void FakeWebBrowser::Finish()
{
    if (!m_bHolding || !m_pEvents)
        return;
    m_bHolding = false;
    const std::string url = m_pending;
    nimbra::IWebBrowserEvents* events = m_pEvents;
    events->ProgressChange(50, 100);
    m_location = url;
    if (m_history.empty() || m_history[m_historyPos] != url) {
        if (!m_history.empty())
            m_history.resize(m_historyPos + 1);
        m_history.push_back(url);
        m_historyPos = m_history.size() - 1;
    }
    events->NavigateComplete2(url);
    const auto it = Titles().find(url);
    m_title = it != Titles().end() ? it->second : url;
    events->TitleChange(m_title);
    events->ProgressChange(100, 100);
    events->DownloadComplete();
    if (m_pEvents)
        m_pEvents->DocumentComplete(url);
    if (m_pEvents) {
        m_pEvents->CommandStateChange(1, m_historyPos + 1 < m_history.size());
        m_pEvents->CommandStateChange(2, m_historyPos > 0);
    }
}

void FakeWebBrowser::GoBack()
{
    if (m_historyPos > 0) {
        --m_historyPos;
        Navigate(m_history[m_historyPos], nimbra::NAVFLAG_HISTORY, {});
    }
}

void FakeWebBrowser::GoForward()
{
    if (m_historyPos + 1 < m_history.size()) {
        ++m_historyPos;
        Navigate(m_history[m_historyPos], nimbra::NAVFLAG_HISTORY, {});
    }
}

FakeWebBrowser* FakeWebBrowser::OpenWindow(const std::string& url, bool holdFirst, bool userInitiated)
{
    if (!m_pEvents)
        return nullptr;
    auto* target = Of(m_pEvents->NewWindow2(userInitiated));
    if (target) {
        target->holding = holdFirst;
        target->Navigate(url, 0, {});
        target->holding = false;
    }
    return target;
}

void FakeWebBrowser::ChangeTitle(const std::string& title)
{
    m_title = title;
    if (m_pEvents)
        m_pEvents->TitleChange(title);
}

nimbra::WebBrowserFactory FakeBrowserFactory()
{
    return [](QWidget* parent) { return std::make_unique<FakeWebBrowser>(parent); };
}

} // namespace testenv
