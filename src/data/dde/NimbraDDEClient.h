#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "data/dde/DDEBrowserHost.h"
#include "data/dde/DDEServer.h"

// The browser's DDE topics: the "WWW_" conventions of the browsers of its
// time, with window identifiers = tab position + 1 and "0xffffffff" for the
// current window.
namespace nimbra {

inline constexpr char kDefaultDDEServerName[] = "NBROWSER";
inline constexpr char kDDEInitFailedText[] = "Failed to initialize DDE Client :(";

// The first argument of an item such as "\"about:blank\",,0xFFFFFFFF,0x0":
// double quotes removed, cut at the first comma. nullopt for an empty item.
std::optional<std::string> FirstDDEArgument(const std::string& item);

class CDDEBrowserTopic : public CDDETopic {
public:
    CDDEBrowserTopic(std::string name, IDDEBrowserHost& host) : CDDETopic(std::move(name)), m_host(host) {}

protected:
    IDDEBrowserHost& m_host;
};

// Opens the first argument in the current tab; answers with no data.
class CDDETopicOpenUrl : public CDDEBrowserTopic {
public:
    explicit CDDETopicOpenUrl(IDDEBrowserHost& host) : CDDEBrowserTopic("WWW_OpenURL", host) {}
    bool Request(UINT format, const std::string& item, const void*& data, DWORD& size) override;
};

// "url","title","" of a window (text only).
class CDDEGetWndInfo : public CDDEBrowserTopic {
public:
    explicit CDDEGetWndInfo(IDDEBrowserHost& host) : CDDEBrowserTopic("WWW_GetWindowInfo", host) {}
    bool Request(UINT format, const std::string& item, const void*& data, DWORD& size) override;

private:
    std::string m_reply;
};

// Brings the main window back for "0xffffffff"; other windows are ignored.
class CDDEActivate : public CDDEBrowserTopic {
public:
    explicit CDDEActivate(IDDEBrowserHost& host) : CDDEBrowserTopic("WWW_Activate", host) {}
    bool Request(UINT format, const std::string& item, const void*& data, DWORD& size) override;
};

// The window identifiers as 32-bit little-endian values.
class CDDEListWnd : public CDDEBrowserTopic {
public:
    static constexpr int kTableSize = 500;
    // Only the first 499 bytes of the table are sent (124 windows), as clients expect.
    static constexpr DWORD kReplySize = 499;

    explicit CDDEListWnd(IDDEBrowserHost& host) : CDDEBrowserTopic("WWW_ListWindows", host) {}
    bool Request(UINT format, const std::string& item, const void*& data, DWORD& size) override;

private:
    std::array<std::uint8_t, kTableSize * 4> m_table{};
};

// Any poke closes the browser.
class CDDEExit : public CDDEBrowserTopic {
public:
    explicit CDDEExit(IDDEBrowserHost& host) : CDDEBrowserTopic("WWW_Exit", host) {}
    bool Poke(UINT format, const std::string& item, const void* data, DWORD size) override;
};

// The same as WWW_OpenURL, for a file path or URL.
class CDDEShowFile : public CDDEBrowserTopic {
public:
    explicit CDDEShowFile(IDDEBrowserHost& host) : CDDEBrowserTopic("WWW_ShowFile", host) {}
    bool Request(UINT format, const std::string& item, const void*& data, DWORD& size) override;
};

// The browser's DDE server, a member of the main frame.
class CNimbraDDEClient : public CDDEServer {
public:
    explicit CNimbraDDEClient(IDDEBrowserHost& host);

    // Creates the server under `serviceName` (empty = "NBROWSER") and adds
    // the six topics. False when the server cannot be created; the caller
    // shows kDDEInitFailedText.
    bool Start(const std::string& serviceName);

private:
    CDDETopicOpenUrl m_openUrl;
    CDDEGetWndInfo m_getWindowInfo;
    CDDEActivate m_activate;
    CDDEListWnd m_listWindows;
    CDDEExit m_exit;
    CDDEShowFile m_showFile;
};

} // namespace nimbra
