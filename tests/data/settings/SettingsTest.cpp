#include <gtest/gtest.h>

#include <QFileInfo>
#include <QGuiApplication>
#include <set>

#include "TestEnv.h"
#include "data/settings/Settings.h"
#include "platform/Text.h"

using namespace nimbra;

namespace {

class SettingsTest : public ::testing::Test {
protected:
    std::string path() const { return m_home.file("nimbrab.ini"); }
    void WriteIni(const std::string& body) { testenv::WriteFile(path(), body); }
    CSettings Store() const { return CSettings(path()); }

    CFrameSettings Reloaded() const
    {
        CFrameSettings frame;
        frame.Reload(Store());
        return frame;
    }

    testenv::ScopedHome m_home;
};

TEST(SettingsTableTest, KeysAreUniqueAndIndexedByTheirId)
{
    std::set<std::string> names;
    for (const SSettingKey& info : AllKeys()) {
        EXPECT_EQ(&KeyInfo(info.id), &info);
        const std::string name = ToLowerAscii(info.section) + "/" + ToLowerAscii(info.key);
        EXPECT_TRUE(names.insert(name).second) << name;
    }
}

TEST(SettingsTableTest, DefaultsLieWithinTheirLimits)
{
    for (const SSettingKey& info : AllKeys()) {
        if (info.type == ESettingType::Int) {
            EXPECT_EQ(ApplyLimit(info, info.intDefault), info.intDefault) << info.key;
        } else if (info.type == ESettingType::String) {
            EXPECT_EQ(ApplyLimit(info, std::string(info.stringDefault)), info.stringDefault) << info.key;
        }
    }
}

TEST(SettingsTableTest, TemplatedKeysAreFilledIn)
{
    const SKeyRef preset = DownloadCtrlKey(2);
    EXPECT_EQ(preset.section, "Options");
    EXPECT_EQ(preset.key, "DownloadCtrl2");
    EXPECT_EQ(ToolButtonKey(0).key, "Tool.Button0");
    const SKeyRef bar = BarSizeKey(EKey::szVertCX, "Nimbra", 134);
    EXPECT_EQ(bar.section, "Nimbra-NimbraBar134");
    EXPECT_EQ(bar.key, "szVertCX");
}

TEST_F(SettingsTest, MissingFileGivesDefaultsAndIsNotCreated)
{
    CSettings store = Store();
    EXPECT_EQ(store.GetInt(EKey::HostUIFlags), 81920);
    EXPECT_EQ(store.GetInt(EKey::FLCSort), 65538);
    EXPECT_EQ(store.GetInt(EKey::ButtonCount), -1);
    EXPECT_EQ(store.GetInt(ToolButtonKey(3)), -2);
    EXPECT_EQ(store.GetInt(DownloadCtrlKey(1)), 112);
    EXPECT_EQ(store.GetString(EKey::FLCColumnSize), "200,300,140");
    EXPECT_EQ(store.GetString(EKey::WindowPos), "");

    CFrameSettings frame;
    frame.LoadConstructorGroup(store);
    frame.LoadCreationGroup(store);
    frame.Reload(store);
    EXPECT_EQ(frame.DownloadCtrl, 112);
    EXPECT_EQ(frame.EraseBkgnd, 1);
    EXPECT_EQ(frame.IEVersion, 5);
    EXPECT_EQ(frame.DDEServerName, "NBROWSER");
    EXPECT_EQ(frame.TabMaxCount, 20);
    EXPECT_EQ(frame.TabMode, 1);
    EXPECT_EQ(frame.SetTabWidth, 0);
    EXPECT_EQ(frame.MyHomeUrl, "about:blank");
    EXPECT_EQ(frame.TaskToolTip, "good bye :)");
    EXPECT_EQ(frame.LinkBarBtnWidth, -1);
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(path())));
}

// Every limited key, read through the store and through the frame's reload.
TEST_F(SettingsTest, ReadLimitsAgreeBetweenStoreAndFrame)
{
    struct SCase {
        EKey key;
        const char* stored;
        int expected;
        int CFrameSettings::*member;
    };
    const SCase cases[] = {
        {EKey::TabMaxCount, "0", 1, &CFrameSettings::TabMaxCount},
        {EKey::TabMaxCount, "1000", 256, &CFrameSettings::TabMaxCount},
        {EKey::TabWidth, "5", 20, &CFrameSettings::TabWidth},
        {EKey::TabCharMax, "0", 1, &CFrameSettings::TabCharMax},
        {EKey::TabCharMax, "500", 100, &CFrameSettings::TabCharMax},
        {EKey::MenuTitleLength, "-3", 255, &CFrameSettings::MenuTitleLength},
        {EKey::MenuTitleLength, "2", 5, &CFrameSettings::MenuTitleLength},
        {EKey::MenuTitleLength, "255", 255, &CFrameSettings::MenuTitleLength},
        {EKey::NewTabPosition, "7", 0, &CFrameSettings::NewTabPosition},
        {EKey::NewTabPosition, "3", 3, &CFrameSettings::NewTabPosition},
        {EKey::TabRightClick, "6", 0, &CFrameSettings::TabRightClick},
        {EKey::TabLeftDblClick, "5", 5, &CFrameSettings::TabLeftDblClick},
        {EKey::TabWheelClick, "5", 0, &CFrameSettings::TabWheelClick},
        {EKey::TabPosToCls, "-1", 0, &CFrameSettings::TabPosToCls},
    };
    for (const SCase& c : cases) {
        const SSettingKey& info = KeyInfo(c.key);
        WriteIni("[Options]\r\n" + std::string(info.key) + "=" + c.stored + "\r\n");
        EXPECT_EQ(Store().GetInt(c.key), c.expected) << info.key << "=" << c.stored;
        EXPECT_EQ(Reloaded().*c.member, c.expected) << info.key << "=" << c.stored;
    }
}

TEST_F(SettingsTest, LimitIsNotWrittenBack)
{
    const std::string body = "[Options]\r\nTabMaxCount=1000\r\nMyHomeUrl=\r\nLinkBarBtnWidth=44\r\n";
    WriteIni(body);
    Reloaded();
    EXPECT_EQ(testenv::ReadFile(path()), body);
}

TEST_F(SettingsTest, IntegersReadLeadingDigitsElseDefault)
{
    WriteIni("[Options]\r\nTabWidth=120abc\r\nTabCharMax=abc\r\nHotKey=-12\r\n");
    CSettings store = Store();
    EXPECT_EQ(store.GetInt(EKey::TabWidth), 120);
    EXPECT_EQ(store.GetInt(EKey::TabCharMax), 35);
    EXPECT_EQ(store.GetInt(EKey::HotKey), -12);
}

TEST_F(SettingsTest, TextLimits)
{
    const std::string forty(40, 'x');
    WriteIni("[Options]\r\nTaskToolTip=" + forty + "\r\nMyHomeUrl=\r\nDDEServerName=\r\n");
    EXPECT_EQ(Reloaded().TaskToolTip, forty);
    EXPECT_EQ(Reloaded().MyHomeUrl, "about:blank");
    CFrameSettings frame;
    frame.LoadCreationGroup(Store());
    EXPECT_EQ(frame.DDEServerName, "NBROWSER");

    WriteIni("[Options]\r\nTaskToolTip=" + forty + "y\r\n");
    EXPECT_EQ(Store().GetString(EKey::TaskToolTip), "good bye :)");

    // Width counts as in Shift-JIS: 20 kana fit, 21 do not.
    std::string kana;
    for (int i = 0; i < 20; ++i)
        kana += "あ";
    WriteIni("[Options]\r\nTaskToolTip=" + kana + "\r\n");
    EXPECT_EQ(Store().GetString(EKey::TaskToolTip), kana);
    WriteIni("[Options]\r\nTaskToolTip=" + kana + "あ\r\n");
    EXPECT_EQ(Store().GetString(EKey::TaskToolTip), "good bye :)");
}

TEST_F(SettingsTest, CrossKeyRulesOfTheReload)
{
    WriteIni("[Options]\r\nTabMode=0\r\nTabMultiLine=1\r\nLinkBarSetBtnWidth=1\r\nLinkBarBtnWidth=44\r\n");
    CFrameSettings frame = Reloaded();
    EXPECT_EQ(frame.TabMultiLine, 1);
    EXPECT_EQ(frame.SetTabWidth, 1);
    EXPECT_EQ(frame.LinkBarBtnWidth, 44);

    WriteIni("[Options]\r\nTabMode=1\r\nTabMultiLine=1\r\nLinkBarBtnWidth=44\r\n");
    frame = Reloaded();
    EXPECT_EQ(frame.SetTabWidth, 0);
    EXPECT_EQ(frame.LinkBarBtnWidth, -1);
}

TEST_F(SettingsTest, ColoursDefaultToThePaletteAndRoundTrip)
{
    const QPalette palette = QGuiApplication::palette();
    CFrameSettings frame = Reloaded();
    EXPECT_EQ(frame.SelTabClr, palette.color(QPalette::ButtonText));
    EXPECT_EQ(frame.UnSelTabClr, palette.color(QPalette::ButtonText));
    EXPECT_EQ(frame.SelTabBkgClr, palette.color(QPalette::Button));
    EXPECT_EQ(frame.UnSelTabBkgClr, palette.color(QPalette::Button));

    EXPECT_EQ(ToColorRef(QColor(0x11, 0x22, 0x33)), 0x332211);
    WriteIni("[Options]\r\nSelTabClr=255\r\n");
    EXPECT_EQ(Store().GetColor(EKey::SelTabClr), QColor(255, 0, 0));

    CSettings store = Store();
    ASSERT_TRUE(store.WriteColor(EKey::UnSelTabBkgClr, QColor(1, 2, 3)));
    EXPECT_EQ(store.GetInt("Options", "UnSelTabBkgClr", 0), 0x030201);
    EXPECT_EQ(store.GetColor(EKey::UnSelTabBkgClr), QColor(1, 2, 3));
}

TEST_F(SettingsTest, WritesAreReadableAtOnce)
{
    CSettings store = Store();
    ASSERT_TRUE(store.WriteInt(EKey::TabMaxCount, 42));
    ASSERT_TRUE(store.WriteString(EKey::BookmarkPath, "/home/u/bookmark.html"));
    ASSERT_TRUE(store.WriteInt(ToolButtonKey(1), 32799));
    ASSERT_TRUE(store.WriteInt("Nimbra-NimbraBar134", "szVertCX", 10));

    CSettings other = Store();
    EXPECT_EQ(other.GetInt(EKey::TabMaxCount), 42);
    EXPECT_EQ(other.GetString(EKey::BookmarkPath), "/home/u/bookmark.html");
    EXPECT_EQ(other.GetInt(ToolButtonKey(1)), 32799);
    const SKeyRef bar = BarSizeKey(EKey::szVertCX, "Nimbra", 134);
    EXPECT_EQ(other.GetInt(bar.section, bar.key, 200), 10);
    EXPECT_EQ(Reloaded().TabMaxCount, 42);
}

TEST(SettingsBooleanTest, OnlyOneCountsWhereTheTableSaysSo)
{
    EXPECT_FALSE(IsOn(EKey::MyHome, 2));
    EXPECT_TRUE(IsOn(EKey::MyHome, 1));
    EXPECT_TRUE(IsOn(EKey::ExitSaveLog, 2));
    EXPECT_FALSE(IsOn(EKey::ExitSaveLog, 0));
    EXPECT_EQ(TabFontWeight(1), 700);
    EXPECT_EQ(TabFontWeight(2), 400);
}

} // namespace
