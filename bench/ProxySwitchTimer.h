#pragma once

// Times switches of the proxy with a page open: from the switch to the
// first request that reaches the proxy (the reload of the page), 20 times,
// switching back to a direct connection in between. Pages of proxied.test
// (mapped to 127.0.0.1 on the program's argv) come from a local server, or
// from a local recording proxy that answers them itself.
#include "HttpServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <numeric>
#include <vector>

namespace benchutil {

class ProxySwitchTimer {
public:
    ProxySwitchTimer()
    {
        m_server.AddHtml("/page", "Direct");
        m_proxy.AddHtml("/page", "Proxied");
    }
    std::string PageUrl() const { return "http://proxied.test:" + std::to_string(m_server.port()) + "/page"; }
    quint16 ProxyPort() const { return m_proxy.port(); }

    // `loads` counts the finished loads of the page. Prints the times and
    // returns the exit code.
    int Run(int rounds, const std::function<void()>& toProxy, const std::function<void()>& toDirect,
            const std::function<int()>& loads)
    {
        if (!WaitFor([&] { return loads() > 0; }))
            return Fail("the page did not load");
        std::vector<double> times;
        for (int i = 0; i < rounds; ++i) {
            QElapsedTimer timer;
            timer.start();
            if (!Switch(toProxy, m_proxy, loads))
                return Fail("no request reached the proxy");
            times.push_back(double(timer.nsecsElapsed()) / 1e6);
            if (!Switch(toDirect, m_server, loads))
                return Fail("no request reached the server");
        }
        std::sort(times.begin(), times.end());
        std::printf("%d switches to the proxy: median %.1f ms, mean %.1f ms, min %.1f ms, max %.1f ms\n", rounds,
                    times[times.size() / 2], std::accumulate(times.begin(), times.end(), 0.0) / double(times.size()),
                    times.front(), times.back());
        return 0;
    }

private:
    template <typename Pred>
    static bool WaitFor(Pred done)
    {
        QElapsedTimer timer;
        timer.start();
        while (!done()) {
            if (timer.elapsed() > 20000)
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        }
        return true;
    }
    // Runs the switch, waits for the reload to reach `target`, then for it
    // to finish loading.
    static bool Switch(const std::function<void()>& action, const testenv::HttpServer& target,
                       const std::function<int()>& loads)
    {
        const qsizetype requests = target.Requests().size();
        const int loaded = loads();
        action();
        return WaitFor([&] { return target.Requests().size() > requests; }) && WaitFor([&] { return loads() > loaded; });
    }
    static int Fail(const char* what)
    {
        std::fprintf(stderr, "%s\n", what);
        return 1;
    }

    testenv::HttpServer m_server;
    testenv::HttpServer m_proxy;
};

} // namespace benchutil
