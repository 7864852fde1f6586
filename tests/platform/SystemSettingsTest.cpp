#include "platform/SystemSettings.h"
#include "platform/UrlText.h"

#include "TestEnv.h"

#include <QDir>
#include <gtest/gtest.h>

using namespace nimbra;

namespace {

// The system store of one test in a folder of its own.
class SystemStore : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_previous = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.path()));
        QDir(m_dir.path()).mkpath("Orvane");
    }
    void TearDown() override { qputenv("XDG_CONFIG_HOME", m_previous); }
    void WriteStore(const std::string& text) { testenv::WriteFile(CSystemSettings::Path(), text); }

    testenv::TempDir m_dir;
    QByteArray m_previous;
};

} // namespace

TEST(SystemSettings, ProxyServerTexts)
{
    const QNetworkProxy none(QNetworkProxy::NoProxy);
    const std::pair<const char*, QNetworkProxy> cases[] = {
        {"proxy.local:8080", {QNetworkProxy::HttpProxy, "proxy.local", 8080}},
        {"ftp=f:21; HTTP=h:3128;socks=s:1080", {QNetworkProxy::HttpProxy, "h", 3128}},
        {"socks=s:1081", {QNetworkProxy::Socks5Proxy, "s", 1081}},
        // A missing port is the protocol's own; an HTTP entry without a host leaves SOCKS.
        {"h", {QNetworkProxy::HttpProxy, "h", 80}},
        {"http=:;socks=s", {QNetworkProxy::Socks5Proxy, "s", 1080}},
        {"[::1]:3128", {QNetworkProxy::HttpProxy, "::1", 3128}},
        {"", none},
        {"h:notaport", none},
        {"h:70000", none},
        {"ftp=f:21", none},
        {"https=s:443", none},
        {"http=:;;=;socks=h:99999", none},
    };
    for (const auto& [text, proxy] : cases)
        EXPECT_EQ(ParseProxyServer(text), proxy) << text;
}

TEST_F(SystemStore, StoredPerUser)
{
    CSystemSettings system;
    system.SetProxy(2, "h:1");
    EXPECT_TRUE(system.SetCookieChoice(3));
    EXPECT_TRUE(system.SetOffline(true));
    const CSystemSettings again;
    EXPECT_EQ(again.ProxyMode(), 2);
    EXPECT_EQ(again.ProxyServer(), "h:1");
    EXPECT_EQ(again.CookieChoice(), 3);
    EXPECT_TRUE(again.Offline());
}

TEST_F(SystemStore, CookieChoicesAndTheOldSingleValue)
{
    const CSystemSettings system;
    // Nothing stored: template 101, "always=a session=a", policies 0.
    EXPECT_EQ(system.PrivacyTemplate(0), kPrivacyTemplateCustom);
    EXPECT_EQ(system.PrivacyText(1), "IE6-P3PV1/settings: always=a session=a");
    EXPECT_EQ(system.ZonePolicy(URLACTION_COOKIES), URLPOLICY_ALLOW);
    struct Case {
        int choice;
        bool refuseFirst, refuseThird, sessionOnly;
    };
    const Case cases[] = {{0, false, false, false}, {1, false, true, false}, {2, false, false, true}, {3, true, true, false}};
    for (const Case& c : cases) {
        // The old value seeds what is missing; a choice written reads back.
        WriteStore("[Internet%20Settings]\nCookiePolicy=" + std::to_string(c.choice) + "\n");
        for (int pass = 0; pass < 2; ++pass) {
            const CSystemSettings::SCookieRules rules = system.CookieRules();
            EXPECT_EQ(system.CookieChoice(), c.choice) << c.choice << " pass " << pass;
            EXPECT_EQ(rules.refuseFirstParty, c.refuseFirst) << c.choice;
            EXPECT_EQ(rules.refuseThirdParty, c.refuseThird) << c.choice;
            EXPECT_EQ(rules.sessionOnly, c.sessionOnly) << c.choice;
            ASSERT_TRUE(CSystemSettings().SetCookieChoice(c.choice));
        }
    }
    // Session cookies refused alone are dropped.
    CSystemSettings writer;
    writer.SetCookieChoice(0);
    writer.SetZonePolicy(URLACTION_COOKIES_SESSION, URLPOLICY_DISALLOW);
    EXPECT_TRUE(system.CookieRules().dropSessionCookies);
}

TEST_F(SystemStore, CookiePreferenceReadings)
{
    CSystemSettings system;
    ASSERT_TRUE(system.WriteCookiePreference(0, false, true));
    EXPECT_EQ(system.PrivacyText(0), "IE6-P3PV1/settings: always=r session=a");
    EXPECT_EQ(system.ReadCookiePreference(0, false), 0);
    EXPECT_EQ(system.ReadCookiePreference(0, true), 1);
    // Readings look only at the custom template, and at 256 characters.
    WriteStore("[Zones]\n3\\PrivacyTemplate0=102\n3\\Privacy0=always=a\n3\\Privacy1=" + std::string(300, 'x')
               + "always=a\n");
    EXPECT_EQ(system.ReadCookiePreference(0, false), 0);
    EXPECT_EQ(system.ReadCookiePreference(1, false), 0);
    EXPECT_EQ(system.PrivacyText(1).size(), 256u);
}

TEST_F(SystemStore, BadStoresNeitherCrashNorShowFailedWrites)
{
    CSystemSettings system;
    std::string garbage(10 << 20, 'g');
    for (size_t i = 0; i < garbage.size(); i += 97)
        garbage[i] = char(i % 251);
    WriteStore(garbage);
    EXPECT_EQ(system.ReadCookiePreference(1, false), 1);
    EXPECT_FALSE(system.Offline());

    // No folder for the store: the write fails and the reading stays.
    QDir(m_dir.path()).removeRecursively();
    QDir().mkpath(m_dir.path());
    testenv::WriteFile(m_dir.file("Orvane"), "a file where the folder belongs");
    EXPECT_FALSE(system.WriteCookiePreference(0, false, false));
    EXPECT_EQ(system.ReadCookiePreference(0, false), 1);
    EXPECT_FALSE(system.SetOffline(true));
    EXPECT_FALSE(system.Offline());
}

TEST(UrlText, MediaKindByExtension)
{
    const std::pair<const char*, EMediaKind> cases[] = {
        {"http://h/a.MP3", EMediaKind::Sound},      {"http://h/a.ogg?x=1.mp4", EMediaKind::Sound},
        {"http://h/v.webm#t=3", EMediaKind::Video}, {"http://h/stream", EMediaKind::Unknown},
        {"http://h/a.b/c", EMediaKind::Unknown},    {"data:audio/wav;base64,AA", EMediaKind::Unknown},
    };
    for (const auto& [url, kind] : cases)
        EXPECT_EQ(MediaKindOfUrl(url), kind) << url;
}

TEST(SystemSettings, FavoritesPathVariablesExpand)
{
    qputenv("NB_EXPAND", "/srv/x");
    qunsetenv("NB_UNSET");
    const std::string home = QDir::homePath().toStdString();
    const std::pair<const char*, std::string> cases[] = {
        {"~/Favorites", home + "/Favorites"},
        {"~", home},
        {"a~/b", "a~/b"},
        {"$NB_EXPAND/f", "/srv/x/f"},
        {"${NB_EXPAND}f", "/srv/xf"},
        {"%NB_EXPAND%\\f", "/srv/x\\f"},
        {"$NB_UNSET/f", "/f"},
        {"100% sure $ %", "100% sure $ %"},
    };
    for (const auto& [text, expanded] : cases)
        EXPECT_EQ(ExpandPathVariables(text), expanded) << text;
    qunsetenv("NB_EXPAND");
}
