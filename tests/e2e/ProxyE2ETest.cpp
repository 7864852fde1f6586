#include "ui/CommandIds.h"
#include "platform/SystemSettings.h"
#include "widgets/tools/ProxyAuthDlg.h"

#include "HttpServer.h"
#include "TestBrowser.h"

using namespace nimbra;
using testenv::SpinUntil;

namespace {

constexpr int kLoadMs = 20000;

// Sets an environment variable for the test's lifetime.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value)
        : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_old(qgetenv(name))
    {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    ~ScopedEnv()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char* m_name;
    bool m_had;
    QByteArray m_old;
};

// Pages of proxied.test (the engine maps it to 127.0.0.1) come from the
// server directly, or from the recording proxy, which answers them itself.
class ProxyE2E : public testenv::EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        Option("ActiveNewTab", 1);
        for (const char* path : {"/a", "/b", "/c"}) {
            m_server.AddHtml(path, "Direct");
            m_proxy.AddHtml(path, "Proxied");
        }
    }
    void WriteProxyIni(const std::string& options)
    {
        testenv::WriteFile(File("proxy.ini"), "[ProxyOptions]\r\n" + options +
                                                  "\r\n\r\n[Proxy_0]\r\nProxyName=recorder\r\nProxyServer=127.0.0.1:" +
                                                  std::to_string(m_proxy.port()) + "\r\n");
    }
    std::string Url(const char* path) const
    {
        return "http://proxied.test:" + std::to_string(m_server.port()) + path;
    }
    int Direct(const char* path) const { return int(m_server.Requests().count(path)); }
    int Proxied(const char* path) const { return int(m_proxy.Requests().count(QString::fromStdString(Url(path)))); }
    bool WaitProxied(const char* path, int count = 1)
    {
        return SpinUntil([&] { return Proxied(path) >= count; }, kLoadMs);
    }

    testenv::HttpServer m_server;
    testenv::HttpServer m_proxy;
};

} // namespace

TEST_F(ProxyE2E, SwitchesBetweenDirectAndANamedProxyAtOnce)
{
    WriteProxyIni("ProxyIndex=-1\r\nProxyEnable=2");
    Start();
    OpenAndWait(Url("/a"));
    EXPECT_EQ(Direct("/a"), 1);
    EXPECT_TRUE(m_proxy.Requests().isEmpty());

    // The reloaded active tab is the first request after the switch.
    m_frame->ExecuteCommand(ID_PROXY_FIRST);
    EXPECT_TRUE(WaitProxied("/a"));
    OpenAndWait(Url("/b"));
    EXPECT_EQ(Proxied("/b"), 1);
    EXPECT_EQ(Direct("/a") + Direct("/b"), 1) << m_server.Requests().join(' ').toStdString();

    const qsizetype proxied = m_proxy.Requests().size();
    m_frame->ExecuteCommand(ID_PROXY_DIRECT);
    EXPECT_TRUE(SpinUntil([&] { return Direct("/b") == 1; }, kLoadMs)) << "the reload goes directly";
    OpenAndWait(Url("/c"));
    EXPECT_EQ(Direct("/c"), 1);
    EXPECT_EQ(m_proxy.Requests().size(), proxied);
}

TEST_F(ProxyE2E, InternetOptionsModeTakesTheProxyOfTheEnvironment)
{
    const QByteArray proxy = "http://127.0.0.1:" + QByteArray::number(m_proxy.port());
    ScopedEnv http("http_proxy", proxy);
    ScopedEnv noProxy("no_proxy", QByteArray());
    ScopedEnv noProxyUpper("NO_PROXY", QByteArray());
    CSystemSettings().SetProxy(0, {});
    WriteProxyIni("ProxyEnable=2");
    Start();
    OpenAndWait(Url("/a"));
    EXPECT_EQ(Direct("/a"), 1);

    m_frame->ExecuteCommand(ID_PROXY_SYSTEM);
    EXPECT_TRUE(WaitProxied("/a"));
    OpenAndWait(Url("/b"));
    EXPECT_EQ(Proxied("/b"), 1);
    EXPECT_EQ(Direct("/b"), 0);
}

TEST_F(ProxyE2E, NamedProxyAtStartupTakesTheFirstPage)
{
    WriteProxyIni("ProxyIndex=0\r\nProxyEnable=4");
    Start();
    OpenAndWait(Url("/a"));
    EXPECT_EQ(Proxied("/a"), 1);
    EXPECT_EQ(Direct("/a"), 0);
}

TEST_F(ProxyE2E, ProxyAskingForAPasswordGetsTheUsersAnswerOnce)
{
    m_proxy.RequireProxyAuthorization("Basic " + QByteArray("user:secret").toBase64());
    QStringList asked;
    testenv::HandlerGuard prompt(SetProxyCredentialsPrompt, [&asked](QWidget*, const QString& host,
                                                                     SProxyCredentials& credentials) {
        asked << host;
        credentials = {QStringLiteral("user"), QStringLiteral("secret")};
        return true;
    });
    WriteProxyIni("ProxyIndex=0\r\nProxyEnable=4");
    Start();
    EXPECT_EQ(OpenAndWait(Url("/a"))->GetLocationName(), "Proxied");
    EXPECT_EQ(OpenAndWait(Url("/b"))->GetLocationName(), "Proxied");
    EXPECT_EQ(asked, QStringList{"127.0.0.1"});
}
