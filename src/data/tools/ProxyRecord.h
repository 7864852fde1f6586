#pragma once

#include <array>
#include <string>
#include <string_view>

namespace nimbra {

// The protocols of a proxy entry, in the order of the dialog's fields.
enum class EProxyProtocol { Http, Secure, Ftp, Gopher, Socks };

struct SProxyHost {
    std::string host;
    int port = -1; // -1: unset, shown as an empty field

    bool operator==(const SProxyHost&) const = default;
};

// One named entry of the proxy list and its two texts in "proxy.ini": the
// server text ("host:port", or "ftp=...;http=..." entries) and the override
// text (exceptions, "<local>" for local addresses).
class CProxyRecord {
public:
    std::string name;
    std::array<SProxyHost, 5> hosts;
    std::string exceptions;
    bool bypassLocal = false;
    bool sameForAll = false;

    SProxyHost& operator[](EProxyProtocol protocol) { return hosts[size_t(protocol)]; }
    const SProxyHost& operator[](EProxyProtocol protocol) const { return hosts[size_t(protocol)]; }
    bool operator==(const CProxyRecord&) const = default;

    std::string ServerText() const;
    std::string OverrideText() const;
    // Replace the protocol fields and same-for-all / the exceptions and
    // bypass-local from a text.
    void SetServerText(std::string_view text);
    void SetOverrideText(std::string_view text);
    // Same for all: the HTTP host, and its port when set, also serve
    // Secure, FTP and Gopher. SOCKS is left alone.
    void CopyHttpToAll();
};

} // namespace nimbra
