#include "data/dde/NimbraDDEClient.h"

#include <algorithm>

#include "platform/Text.h"

namespace nimbra {

namespace {

constexpr char kCurrentWindow[] = "0xffffffff";

// WWW_OpenURL and WWW_ShowFile: Go(url, 0, 0, 1, 1) in the current tab.
bool OpenFirstArgument(IDDEBrowserHost& host, const std::string& item, const void*& data, DWORD& size)
{
    const std::optional<std::string> url = FirstDDEArgument(item);
    if (!url)
        return false;
    host.Go(*url, 0, 0, 1, 1);
    data = nullptr;
    size = 0;
    return true;
}

} // namespace

std::optional<std::string> FirstDDEArgument(const std::string& item)
{
    const std::string_view text(item.c_str()); // a name ends at its first zero
    if (text.empty())
        return std::nullopt;
    std::string argument;
    for (char c : text) {
        if (c == ',')
            break;
        if (c != '"')
            argument += c;
    }
    return argument;
}

bool CDDETopicOpenUrl::Request(UINT, const std::string& item, const void*& data, DWORD& size)
{
    return OpenFirstArgument(m_host, item, data, size);
}

bool CDDEShowFile::Request(UINT, const std::string& item, const void*& data, DWORD& size)
{
    return OpenFirstArgument(m_host, item, data, size);
}

bool CDDEGetWndInfo::Request(UINT format, const std::string& item, const void*& data, DWORD& size)
{
    if (format != ddeml::CF_TEXT)
        return false;
    m_reply.clear();
    const std::string id = ToLowerAscii(item);
    // Window 0 and a text without a number mean the current window too.
    std::int64_t index = -1;
    if (id != kCurrentWindow)
        index = std::int64_t(ParseLeadingInt(id).value_or(0)) - 1;
    std::optional<SDDEPage> page;
    if (index == -1)
        page = m_host.ActivePage();
    else if (index >= 0 && index < m_host.TabCount())
        page = m_host.TabPage(int(index));
    if (!page)
        return false;
    m_reply = "\"" + page->url + "\",\"" + page->title + "\",\"\"";
    data = m_reply.c_str();
    size = DWORD(m_reply.size() + 1);
    return true;
}

bool CDDEActivate::Request(UINT, const std::string& item, const void*& data, DWORD& size)
{
    const std::optional<std::string> id = FirstDDEArgument(item);
    if (!id)
        return false;
    if (ToLowerAscii(*id) == kCurrentWindow) {
        if (m_host.IsHiddenInTray())
            m_host.PostRestoreFromTray();
        else
            m_host.RestoreMainWindow();
    }
    data = nullptr;
    size = 0;
    return true;
}

bool CDDEListWnd::Request(UINT, const std::string&, const void*& data, DWORD& size)
{
    const int count = m_host.TabCount();
    if (count < 1)
        return false;
    m_table.fill(0);
    // The table holds 500 identifiers; windows past that are not listed.
    const int listed = std::min(count, kTableSize);
    for (int i = 0; i < listed; ++i) {
        const std::uint32_t id = std::uint32_t(i + 1);
        for (int b = 0; b < 4; ++b)
            m_table[size_t(i) * 4 + size_t(b)] = std::uint8_t(id >> (8 * b));
    }
    data = m_table.data();
    size = kReplySize;
    return true;
}

bool CDDEExit::Poke(UINT, const std::string&, const void*, DWORD)
{
    // Queued, so this transaction completes before the frame goes.
    m_host.PostClose();
    return true;
}

CNimbraDDEClient::CNimbraDDEClient(IDDEBrowserHost& host)
    : m_openUrl(host), m_getWindowInfo(host), m_activate(host), m_listWindows(host), m_exit(host), m_showFile(host)
{
}

bool CNimbraDDEClient::Start(const std::string& serviceName)
{
    if (!Create(serviceName.empty() ? kDefaultDDEServerName : serviceName))
        return false;
    AddTopic(&m_openUrl);
    AddTopic(&m_getWindowInfo);
    AddTopic(&m_activate);
    AddTopic(&m_listWindows);
    AddTopic(&m_exit);
    AddTopic(&m_showFile);
    return true;
}

} // namespace nimbra
