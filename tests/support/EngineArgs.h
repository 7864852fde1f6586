#pragma once

// The program's own argv with engine arguments after it: the name
// proxied.test is this machine. The engine never sends loopback addresses
// through a proxy, so proxy tests load pages of that name.
#include <vector>

namespace testenv {

class ProxiedTestArgs {
public:
    ProxiedTestArgs(int argc, char** argv) : m_arguments(argv, argv + argc)
    {
        m_arguments.insert(m_arguments.end(), {m_engineArgs, m_resolverRules});
        m_argc = int(m_arguments.size());
        m_arguments.push_back(nullptr);
    }
    // For the application object, which keeps both.
    int& argc() { return m_argc; }
    char** argv() { return m_arguments.data(); }

private:
    char m_engineArgs[16] = "--webEngineArgs";
    char m_resolverRules[49] = "--host-resolver-rules=MAP proxied.test 127.0.0.1";
    std::vector<char*> m_arguments;
    int m_argc = 0;
};

} // namespace testenv
