#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/Ddeml.h"

namespace nimbra {

// The client side of nbdde: one conversation per transaction with a DDE
// service. Results are the program's exit codes.
class CDDECommandClient {
public:
    enum EExit : int {
        kOk = 0,          // the transaction succeeded
        kFailed = 1,      // not processed, no data, topic refused
        kUnreachable = 2, // no session bus, service absent or not answering
        kUsage = 64,      // bad command line
    };

    struct SReply {
        int exit = kFailed;
        std::string data;
    };

    explicit CDDECommandClient(std::string service);
    ~CDDECommandClient();
    CDDECommandClient(const CDDECommandClient&) = delete;
    CDDECommandClient& operator=(const CDDECommandClient&) = delete;

    SReply Request(const std::string& topic, const std::string& item, ddeml::UINT format);
    // Text goes with its terminating zero, as CF_TEXT.
    int Poke(const std::string& topic, const std::string& item, std::string_view text);
    int Execute(const std::string& topic, std::string_view command);
    // The names of the service's topics ("System" item "Topics").
    SReply Topics();

    // CF_TEXT as the text before its first zero, with a line end; anything
    // else as hexadecimal bytes, 16 to a line.
    static std::string FormatReply(std::string_view data, ddeml::UINT format);

    // Runs a command line (without the program name):
    //   [--service NAME] request TOPIC ITEM [--format N]
    //   [--service NAME] poke TOPIC ITEM DATA
    //   [--service NAME] execute TOPIC DATA
    //   [--service NAME] topics
    // and returns the exit code; `out` and `err` receive what to print.
    static int Run(const std::vector<std::string>& args, std::string& out, std::string& err);

private:
    int ErrorExit() const;

    std::string m_service;
    ddeml::DWORD m_inst = 0;
    bool m_initialised = false;
};

} // namespace nimbra
