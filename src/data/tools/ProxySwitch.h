#pragma once

#include <QObject>
#include <functional>

class QTcpServer;
class QWebEnginePage;
class QWebEngineProfile;

namespace nimbra {

// Sets the proxy of the whole process so that the engine uses it at once.
//
// The engine reads the process's proxy (QNetworkProxy::applicationProxy, or
// the system configuration while QNetworkProxyFactory uses it) only when a
// request asks for a proxy, and that request still goes the old way. So
// after a change one throw-away request goes from a hidden page to a
// loopback port of our own (loopback is never proxied, nothing leaves the
// machine); once it has finished, every new request goes the new way.
class CProxySwitch : public QObject {
    Q_OBJECT
public:
    // `profile` gives the engine's profile when the first probe needs it.
    CProxySwitch(std::function<QWebEngineProfile*()> profile, QObject* parent);
    ~CProxySwitch() override;

    // Runs `set`, which changes the process's proxy. When that changed
    // anything, `done` runs once the engine uses the new proxy; a later
    // call while one is waiting replaces its `done`. False when nothing
    // changed (`done` does not run).
    bool Apply(const std::function<void()>& set, std::function<void()> done);

    // Replaces the throw-away request (tests without the engine): it calls
    // `finished` when done. An empty function restores the request. Returns
    // the runner it replaced.
    using ProbeRunner = std::function<void(std::function<void()> finished)>;
    static ProbeRunner SetProbeRunner(ProbeRunner runner);

private:
    void Probe();
    void OnProbeFinished();
    void Answer();

    std::function<QWebEngineProfile*()> m_profile;
    QWebEnginePage* m_pPage = nullptr;
    QTcpServer* m_pServer = nullptr;
    std::function<void()> m_done;
    int m_nProbes = 0;
    bool m_bProbing = false;
    bool m_bAgain = false;
};

} // namespace nimbra
