#include "platform/SystemSettings.h"

#include <QDir>
#include <gtest/gtest.h>

using namespace nimbra;

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

TEST(SystemSettings, StoredPerUser)
{
    CSystemSettings system;
    system.SetProxy(2, "h:1");
    system.SetCookiePolicy(3);
    system.SetOffline(true);
    const CSystemSettings again;
    EXPECT_EQ(again.ProxyMode(), 2);
    EXPECT_EQ(again.ProxyServer(), "h:1");
    EXPECT_EQ(again.CookiePolicy(), 3);
    EXPECT_TRUE(again.Offline());
    system.SetOffline(false);
    system.SetProxy(0, "");
    system.SetCookiePolicy(0);
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
