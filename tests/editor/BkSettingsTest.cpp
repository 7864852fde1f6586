#include "editor/BkPlacement.h"
#include "editor/BkRegistry.h"
#include "editor/BkSettings.h"
#include "platform/Ini.h"

#include "TestEnv.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace nimbra;
using namespace nimbra::editor;

TEST(BkSettings, BrokenValuesGiveDefaultsOrAreClamped)
{
    testenv::ScopedHome home;
    CIniFile ini(CBkSettings::Path());
    ini.WriteString("Settings", "SplitterSize", "999999999");
    ini.WriteString("Settings", "ColumnSize", "abc");
    ini.WriteString("Settings", "ExpandTimer", "10");
    ini.WriteString("Options", "FindText0", std::string(1 << 20, 'x'));
    ini.WriteString("Options", "FindText3", "kept");

    CBkSettings settings;
    settings.Load();
    EXPECT_EQ(settings.SplitterSize, 4096);
    EXPECT_EQ(settings.ColumnTitle, 200);
    EXPECT_EQ(settings.ColumnUrl, 300);
    EXPECT_EQ(settings.ExpandTimer, 50);
    ASSERT_EQ(settings.FindHistory.size(), 2u);
    EXPECT_EQ(settings.FindHistory[0].size(), 512u);
    EXPECT_EQ(settings.FindHistory[1], "kept");
    EXPECT_TRUE(settings.DblClkNavi);
    EXPECT_TRUE(settings.SortList);
    EXPECT_FALSE(settings.NaviShell);
}

TEST(BkSettings, FindHistoryKeepsTenNewestWithoutRepeatingTheFirst)
{
    testenv::ScopedHome home;
    CBkSettings settings;
    settings.Load();
    for (int i = 0; i < 12; ++i)
        settings.RememberFind("t" + std::to_string(i), i % 2 == 0);
    settings.RememberFind("t11", true);
    ASSERT_EQ(settings.FindHistory.size(), 10u);
    EXPECT_EQ(settings.FindHistory.front(), "t11");
    EXPECT_EQ(settings.FindHistory.back(), "t2");

    CBkSettings again;
    again.Load();
    EXPECT_EQ(again.FindHistory, settings.FindHistory);
    EXPECT_EQ(again.FindTextLast, "t11");
    EXPECT_TRUE(again.FindTextCollate);
}

TEST(BkPlacement, ParsesTenNumbersAndFitsTheScreen)
{
    const std::string text = "2,3,-1,-1,-8,-8,100,50,900,650";
    const std::optional<SWindowPlacement> placement = ParsePlacement(text);
    ASSERT_TRUE(placement);
    EXPECT_EQ(placement->normal, QRect(100, 50, 800, 600));
    EXPECT_EQ(placement->showCmd, 3u);
    EXPECT_EQ(FormatPlacement(*placement), text);

    for (const char* broken : {"0,1,-1,-1,-1,-1,0,0,800", "0,1,-1,-1,-1,-1,0,0,800,600,7", "0,1,a,-1,-1,-1,0,0,800,600",
                               "0,1,-1,-1,-1,-1,10,10,5,600", "0,1,-1,-1,-1,-1,0,0,99999999999,600", ""})
        EXPECT_FALSE(ParsePlacement(broken)) << broken;

    const std::vector<QRect> screens{QRect(0, 0, 1280, 900), QRect(1280, 0, 1024, 768)};
    struct Case {
        QRect stored;
        QRect fitted;
    } cases[] = {
        {QRect(100, 50, 800, 600), QRect(100, 50, 800, 600)},        // fine as it is
        {QRect(1300, 10, 600, 400), QRect(1300, 10, 600, 400)},      // on the second screen
        {QRect(0, 0, 100000, 100000), QRect(0, 0, 1280, 900)},       // huge
        {QRect(5000, 4000, 800, 600), QRect(480, 300, 800, 600)},    // off every screen
        {QRect(100, -300, 800, 600), QRect(100, 0, 800, 600)},       // title bar above the screen
        {QRect(10, 10, 20, 20), QRect(10, 10, 200, 150)},            // too small to use
    };
    for (const Case& c : cases)
        EXPECT_EQ(FitToScreens(c.stored, screens), c.fitted) << c.stored.x() << "," << c.stored.y();
}

TEST(BkRegistry, DeletesTheKeyButNeverTheSystemKeysOrWhileTheBrowserRuns)
{
    testenv::ScopedHome home;
    const std::string config = home.file("config");
    const QString vendor = QString::fromStdString(config) + "/Orvane";
    auto put = [&](const QStringList& files) {
        QDir().mkpath(vendor);
        for (const QString& file : files)
            testenv::WriteFile(QString(vendor + "/" + file).toStdString(), "[General]\n");
    };
    struct Case {
        QStringList files;
        bool browserRuns;
        ERegistryCleanup result;
        QStringList left;
        bool folderLeft;
    } cases[] = {
        {{"Nimbra Browser.conf", "system.conf"}, true, ERegistryCleanup::BrowserRuns, {"Nimbra Browser.conf", "system.conf"}, true},
        {{"system.conf"}, false, ERegistryCleanup::NotFound, {"system.conf"}, true},
        {{"Nimbra Browser.conf", "system.conf"}, false, ERegistryCleanup::Deleted, {"system.conf"}, true},
        {{"Nimbra Browser.conf"}, false, ERegistryCleanup::Deleted, {}, false},
        {{"Nimbra Browser.conf", "Other.conf"}, false, ERegistryCleanup::Failed, {"Other.conf"}, true},
    };
    EXPECT_EQ(CleanRegistry(config, false), ERegistryCleanup::NotFound);
    for (const Case& c : cases) {
        QDir(vendor).removeRecursively();
        put(c.files);
        EXPECT_EQ(CleanRegistry(config, c.browserRuns), c.result) << c.files.join(' ').toStdString();
        EXPECT_EQ(QDir(vendor).exists(), c.folderLeft);
        EXPECT_EQ(QDir(vendor).entryList(QDir::Files), c.left);
    }
}
