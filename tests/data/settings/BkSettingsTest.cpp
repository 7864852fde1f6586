#include "data/settings/BkRegistry.h"
#include "data/settings/BkSettings.h"
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
