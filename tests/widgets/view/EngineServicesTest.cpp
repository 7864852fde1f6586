#include "widgets/view/EngineServices.h"

#include <gtest/gtest.h>

using namespace nimbra;

TEST(EngineServices, ZonesAreComputedFromTheAddress)
{
    EXPECT_EQ(UrlZone("file:///home/u/a.html"), URLZONE_LOCAL_MACHINE);
    EXPECT_EQ(UrlZone("/home/u/a.html"), URLZONE_LOCAL_MACHINE);
    EXPECT_EQ(UrlZone("http://127.0.0.1:8080/x"), URLZONE_INTRANET);
    EXPECT_EQ(UrlZone("http://localhost/"), URLZONE_INTRANET);
    EXPECT_EQ(UrlZone("http://intranet/"), URLZONE_INTRANET);
    EXPECT_EQ(UrlZone("http://192.168.1.20/"), URLZONE_INTRANET);
    EXPECT_EQ(UrlZone("http://172.20.0.1/"), URLZONE_INTRANET);
    EXPECT_EQ(UrlZone("http://172.32.0.1/"), URLZONE_INTERNET);
    EXPECT_EQ(UrlZone("https://www.example.org/"), URLZONE_INTERNET);
    EXPECT_EQ(UrlZone("about:blank"), URLZONE_INTERNET);
}
