#include "platform/UrlText.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace nimbra;

TEST(UrlText, TypedTextBecomesAWebAddressUnlessItNamesAScheme)
{
    const std::pair<const char*, const char*> cases[] = {
        {"www.example.com", "http://www.example.com"},
        {"127.0.0.1:8765/p3.html", "http://127.0.0.1:8765/p3.html"},
        {"localhost:8765/x", "http://localhost:8765/x"},
        {"  Formats ", "http://Formats"},
        {"user@host:8/a", "http://user@host:8/a"},
        {"https://a.example/x?y#z", "https://a.example/x?y#z"},
        {"HTTP://A/", "HTTP://A/"},
        {"about:blank", "about:blank"},
        {"javascript:alert(1)", "javascript:alert(1)"},
        {"mailto:a@b.example", "mailto:a@b.example"},
        {"custom-app://open", "custom-app://open"},
        {"view-source:127.0.0.1:8/", "view-source:http://127.0.0.1:8/"},
        {"/tmp/a b#1.html", "file:///tmp/a b%231.html"},
        {"file:///tmp/x.html", "file:///tmp/x.html"},
        {"", ""},
    };
    for (const auto& [text, url] : cases)
        EXPECT_EQ(UrlFromText(text), url) << text;
}

TEST(UrlText, NothingIsFoundInTheCurrentDirectory)
{
    QTemporaryDir dir;
    QFile(dir.filePath("p1.html")).open(QIODevice::WriteOnly);
    struct CurrentDirGuard {
        QString previous = QDir::currentPath();
        ~CurrentDirGuard() { QDir::setCurrent(previous); }
    } guard;
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    EXPECT_EQ(UrlFromText("p1.html"), "http://p1.html");
}

TEST(EngineDebugUrl, TheEnginesDebugAddressesAreKnownHoweverWritten)
{
    for (const char* url : {"chrome://hang", "chrome://crash/", "CHROME://GPUHANG", "chrome:kill", "chrome:///gpucrash",
                            " chrome://shorthang ", "chrome://ha\tng", "chrome://h%61ng/", "chrome://x@hang:1/",
                            "chrome:\\\\crash", "chrome://crash/cfi", "view-source:chrome://hang",
                            "view-source: view-source:chrome://memory-exhaust", "chrome://inducebrowsercrashforrealz",
                            "chrome://crash.", "chrome://crash?x", "chrome://crash#x"})
        EXPECT_TRUE(IsEngineDebugUrl(url)) << url;
    for (const char* url : {"chrome://gpu", "chrome://version/", "http://hang/", "chrome-error://crash", "chrome:",
                            "chrome://", "about:blank", "chrome://hangs", "chrome://crashes/", "hang", "",
                            "javascript:location='chrome://hang'"})
        EXPECT_FALSE(IsEngineDebugUrl(url)) << url;
}
