// The browser's DDE topics on arbitrary transactions: WWW_OpenURL and
// WWW_ShowFile with their quoted, comma-separated item, WWW_Activate and
// WWW_GetWindowInfo with their window ids, WWW_ListWindows, WWW_Exit, and
// pokes and executes on every topic.
#include "data/dde/NimbraDDEClient.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <cstring>

using namespace nimbra;

namespace {

class CFuzzHost : public IDDEBrowserHost {
public:
    int tabs = 0;
    bool hidden = false;
    std::string url, title;

    int TabCount() const override { return tabs; }
    std::optional<SDDEPage> TabPage(int index) const override
    {
        if (index < 0 || index >= tabs)
            std::abort(); // the topics ask only for tabs that exist
        return SDDEPage{url, title};
    }
    std::optional<SDDEPage> ActivePage() const override
    {
        if (tabs == 0)
            return std::nullopt;
        return SDDEPage{url, title};
    }
    void Go(const std::string& text, int, int, int, int) override
    {
        if (text.find_first_of(",\"") != std::string::npos || text.find('\0') != std::string::npos)
            std::abort(); // only the first argument, without quotes
    }
    bool IsHiddenInTray() const override { return hidden; }
    void PostRestoreFromTray() override {}
    void RestoreMainWindow() override {}
    void PostClose() override {}
};

// The six topics on a server that is not registered with the bus: the same
// handlers the dispatcher calls.
class CFuzzServer : public CDDEServer {
public:
    explicit CFuzzServer(IDDEBrowserHost& host)
        : m_openUrl(host), m_getWindowInfo(host), m_activate(host), m_listWindows(host), m_exit(host), m_showFile(host)
    {
        for (CDDETopic* topic : std::initializer_list<CDDETopic*>{&m_openUrl, &m_getWindowInfo, &m_activate,
                                                                   &m_listWindows, &m_exit, &m_showFile})
            AddTopic(topic);
    }
    void Status(const std::string&) override {}

private:
    CDDETopicOpenUrl m_openUrl;
    CDDEGetWndInfo m_getWindowInfo;
    CDDEActivate m_activate;
    CDDEListWnd m_listWindows;
    CDDEExit m_exit;
    CDDEShowFile m_showFile;
};

constexpr const char* kTopics[] = {"WWW_OpenURL",    "WWW_GetWindowInfo", "WWW_Activate", "WWW_ListWindows",
                                   "WWW_Exit",       "WWW_ShowFile",      "www_openurl",  "System",
                                   "WWW_GETWINDOWINFO"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    CFuzzHost host;
    host.tabs = in.ConsumeIntegralInRange(0, 600);
    host.hidden = in.ConsumeBool();
    host.url = in.ConsumeRandomLengthString(256);
    host.title = in.ConsumeRandomLengthString(256);
    CFuzzServer server(host);

    while (in.remaining_bytes() > 0) {
        const std::string topic = in.ConsumeBool() ? in.PickValueInArray(kTopics) : in.ConsumeRandomLengthString(32);
        const ddeml::UINT format = in.ConsumeBool() ? ddeml::CF_TEXT : in.ConsumeIntegral<uint16_t>();
        const std::string item = in.ConsumeRandomLengthString(512);
        switch (in.ConsumeIntegralInRange(0, 3)) {
        case 0: {
            const void* reply = nullptr;
            ddeml::DWORD length = 0;
            if (server.Request(format, topic, item, reply, length) && length > 0) {
                if (!reply)
                    std::abort();
                volatile char last = static_cast<const char*>(reply)[length - 1]; // the reply is readable
                (void)last;
            }
            break;
        }
        case 1: {
            const std::string bytes = in.ConsumeRandomLengthString(256);
            server.Poke(format, topic, item, bytes.data(), ddeml::DWORD(bytes.size()));
            break;
        }
        case 2: {
            const std::string bytes = in.ConsumeRandomLengthString(256);
            if (server.Execute(topic, bytes.data(), ddeml::DWORD(bytes.size())))
                std::abort(); // no topic of the browser executes
            break;
        }
        default:
            server.CanAdvise(format, topic, item);
            break;
        }
    }
    return 0;
}
