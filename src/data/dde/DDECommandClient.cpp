#include "data/dde/DDECommandClient.h"

#include <algorithm>
#include <optional>

#include "data/dde/DDEServer.h"
#include "platform/Text.h"

namespace nimbra {

using namespace ddeml;

namespace {

// A client instance receives no transactions.
HDDEDATA IgnoreTransaction(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) { return nullptr; }

constexpr char kUsageText[] =
    "usage: nbdde [--service NAME] request TOPIC ITEM [--format N]\n"
    "       nbdde [--service NAME] poke TOPIC ITEM DATA\n"
    "       nbdde [--service NAME] execute TOPIC DATA\n"
    "       nbdde [--service NAME] topics\n";

} // namespace

CDDECommandClient::CDDECommandClient(std::string service) : m_service(std::move(service))
{
    m_initialised = DdeInitialize(&m_inst, &IgnoreTransaction, APPCMD_CLIENTONLY, 0) == DMLERR_NO_ERROR;
}

CDDECommandClient::~CDDECommandClient()
{
    if (m_initialised)
        DdeUninitialize(m_inst);
}

// After a failed connect or transaction: refused or not processed is a
// failure, anything else means the service is out of reach.
int CDDECommandClient::ErrorExit() const
{
    const UINT error = DdeGetLastError(m_inst);
    return error == DMLERR_NOTPROCESSED || error == DMLERR_INVALIDPARAMETER ? kFailed : kUnreachable;
}

CDDECommandClient::SReply CDDECommandClient::Request(const std::string& topic, const std::string& item, UINT format)
{
    SReply reply;
    if (!m_initialised) {
        reply.exit = kUnreachable;
        return reply;
    }
    CDDEConv conv(m_inst);
    if (!conv.Connect(m_service, topic) || !conv.Request(item, format, reply.data))
        reply.exit = ErrorExit();
    else
        reply.exit = kOk;
    return reply;
}

int CDDECommandClient::Poke(const std::string& topic, const std::string& item, std::string_view text)
{
    if (!m_initialised)
        return kUnreachable;
    CDDEConv conv(m_inst);
    const std::string data = std::string(text) + '\0';
    if (!conv.Connect(m_service, topic) || !conv.Poke(item, CF_TEXT, data))
        return ErrorExit();
    return kOk;
}

int CDDECommandClient::Execute(const std::string& topic, std::string_view command)
{
    if (!m_initialised)
        return kUnreachable;
    CDDEConv conv(m_inst);
    const std::string data = std::string(command) + '\0';
    if (!conv.Connect(m_service, topic) || !conv.Execute(data))
        return ErrorExit();
    return kOk;
}

CDDECommandClient::SReply CDDECommandClient::Topics() { return Request("System", "Topics", CF_TEXT); }

std::string CDDECommandClient::FormatReply(std::string_view data, UINT format)
{
    if (format == CF_TEXT) {
        const std::string_view text = data.substr(0, data.find('\0'));
        return text.empty() ? std::string() : std::string(text) + "\n";
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < data.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(data[i]);
        out += kHex[c >> 4];
        out += kHex[c & 15];
        out += (i % 16 == 15 || i + 1 == data.size()) ? '\n' : ' ';
    }
    return out;
}

int CDDECommandClient::Run(const std::vector<std::string>& args, std::string& out, std::string& err)
{
    std::string service = "NBROWSER";
    UINT format = CF_TEXT;
    std::vector<std::string> words;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--service" || args[i] == "--format") {
            if (i + 1 >= args.size()) {
                err = kUsageText;
                return kUsage;
            }
            const std::string& value = args[++i];
            if (args[i - 1] == "--service") {
                service = value;
                continue;
            }
            const std::optional<int> number = ParseLeadingInt(value);
            if (!number || *number < 1 || *number > 0xFFFF || value.find_first_not_of("0123456789") != std::string::npos) {
                err = "nbdde: bad format: " + value + "\n";
                return kUsage;
            }
            format = UINT(*number);
        } else {
            words.push_back(args[i]);
        }
    }
    const std::string command = words.empty() ? std::string() : words[0];
    const size_t operands = words.empty() ? 0 : words.size() - 1;
    const bool valid = (command == "request" && operands == 2) || (command == "poke" && operands == 3)
                       || (command == "execute" && operands == 2) || (command == "topics" && operands == 0);
    if (!valid || service.empty() || (format != CF_TEXT && command != "request")) {
        err = kUsageText;
        return kUsage;
    }

    CDDECommandClient client(service);
    int exit;
    if (command == "request") {
        const SReply reply = client.Request(words[1], words[2], format);
        if (reply.exit == kOk)
            out = FormatReply(reply.data, format);
        exit = reply.exit;
    } else if (command == "topics") {
        SReply reply = client.Topics();
        if (reply.exit == kOk) {
            std::string names = FormatReply(reply.data, CF_TEXT);
            std::replace(names.begin(), names.end(), '\t', '\n');
            out = names;
        }
        exit = reply.exit;
    } else if (command == "poke") {
        exit = client.Poke(words[1], words[2], words[3]);
    } else {
        exit = client.Execute(words[1], words[2]);
    }
    if (exit == kFailed)
        err = "nbdde: the transaction was not processed\n";
    else if (exit == kUnreachable)
        err = "nbdde: the DDE service " + service + " cannot be reached\n";
    return exit;
}

} // namespace nimbra
