#include "data/tools/ProxyRecord.h"

#include "platform/SystemSettings.h"

namespace nimbra {

namespace {

// The server text's entries, in the order they are written.
struct SEntry {
    EProxyProtocol protocol;
    std::string_view prefix;
};
constexpr SEntry kEntries[] = {
    {EProxyProtocol::Ftp, "ftp="},     {EProxyProtocol::Gopher, "gopher="}, {EProxyProtocol::Http, "http="},
    {EProxyProtocol::Secure, "https="}, {EProxyProtocol::Socks, "socks="},
};

constexpr std::string_view kLocal = "<local>";

std::string HostText(const SProxyHost& host)
{
    // An unset port writes the host alone (it applies as the default port).
    return host.port > 0 ? host.host + ":" + std::to_string(host.port) : host.host;
}

SProxyHost ParseHost(std::string_view text)
{
    const SHostPort parsed = SplitHostPort(text);
    return {parsed.host, parsed.badPort ? -1 : parsed.port};
}

} // namespace

std::string CProxyRecord::ServerText() const
{
    if (sameForAll)
        return (*this)[EProxyProtocol::Http].host.empty() ? std::string() : HostText((*this)[EProxyProtocol::Http]);
    std::string text;
    for (const SEntry& entry : kEntries) {
        const SProxyHost& host = (*this)[entry.protocol];
        if (host.host.empty())
            continue;
        if (!text.empty())
            text += ';';
        text += entry.prefix;
        text += HostText(host);
    }
    return text;
}

std::string CProxyRecord::OverrideText() const
{
    if (!bypassLocal)
        return exceptions;
    std::string text = exceptions;
    if (!text.empty() && text.front() == ';')
        text.erase(0, 1);
    if (text.empty())
        return std::string(kLocal);
    return text + (text.back() == ';' ? "" : ";") + std::string(kLocal);
}

void CProxyRecord::SetServerText(std::string_view text)
{
    hosts = {};
    sameForAll = false;
    if (text.empty())
        return;
    if (text.find(';') == std::string_view::npos && text.find('=') == std::string_view::npos) {
        (*this)[EProxyProtocol::Http] = ParseHost(text);
        sameForAll = true;
        CopyHttpToAll();
        return;
    }
    while (!text.empty()) {
        const size_t semicolon = text.find(';');
        const std::string_view part = text.substr(0, semicolon);
        text = semicolon == std::string_view::npos ? std::string_view() : text.substr(semicolon + 1);
        if (part.empty())
            continue;
        // The entry whose prefix comes first in the part; none ends the parse.
        const SEntry* found = nullptr;
        size_t at = std::string_view::npos;
        for (const SEntry& entry : kEntries) {
            const size_t pos = part.find(entry.prefix);
            if (pos < at) {
                at = pos;
                found = &entry;
            }
        }
        if (!found)
            return;
        (*this)[found->protocol] = ParseHost(part.substr(at + found->prefix.size()));
    }
}

void CProxyRecord::SetOverrideText(std::string_view text)
{
    const size_t local = text.find(kLocal);
    bypassLocal = local != std::string_view::npos;
    exceptions = std::string(text.substr(0, local));
}

void CProxyRecord::CopyHttpToAll()
{
    const SProxyHost& http = (*this)[EProxyProtocol::Http];
    for (EProxyProtocol protocol : {EProxyProtocol::Secure, EProxyProtocol::Ftp, EProxyProtocol::Gopher}) {
        (*this)[protocol].host = http.host;
        if (http.port > 0)
            (*this)[protocol].port = http.port;
    }
}

} // namespace nimbra
