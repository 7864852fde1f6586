#include "platform/SystemSettings.h"

#include <gtest/gtest.h>

using namespace nimbra;

TEST(SystemSettings, ProxyServerTexts)
{
    const QNetworkProxy plain = ParseProxyServer("proxy.local:8080");
    EXPECT_EQ(plain.type(), QNetworkProxy::HttpProxy);
    EXPECT_EQ(plain.hostName(), "proxy.local");
    EXPECT_EQ(plain.port(), 8080);

    const QNetworkProxy http = ParseProxyServer("ftp=f:21; HTTP=h:3128;socks=s:1080");
    EXPECT_EQ(http.type(), QNetworkProxy::HttpProxy);
    EXPECT_EQ(http.hostName(), "h");
    EXPECT_EQ(http.port(), 3128);

    const QNetworkProxy socks = ParseProxyServer("socks=s:1081");
    EXPECT_EQ(socks.type(), QNetworkProxy::Socks5Proxy);
    EXPECT_EQ(socks.port(), 1081);

    EXPECT_EQ(ParseProxyServer("").type(), QNetworkProxy::NoProxy);
    EXPECT_EQ(ParseProxyServer("h:notaport").type(), QNetworkProxy::NoProxy);
    EXPECT_EQ(ParseProxyServer("h:70000").type(), QNetworkProxy::NoProxy);
    EXPECT_EQ(ParseProxyServer("ftp=f:21").type(), QNetworkProxy::NoProxy);
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
