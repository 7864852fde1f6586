#include "app/NimbraApp.h"
#include "widgets/bars/AddressCombo.h"
#include "widgets/bars/FlatToolBar.h"
#include "widgets/bars/LinkBar.h"
#include "widgets/bars/TabBarCtrl.h"
#include "widgets/bars/ToolBarImages.h"
#include "widgets/bookmarks/BookmarkCommands.h"
#include "widgets/bookmarks/BookmarkMenu.h"
#include "ui/CommandIds.h"
#include "frames/browser/Option.h"
#include "frames/browser/OptionPages.h"
#include "frames/browser/TrayHotKey.h"
#include "frames/browser/WindowCommands.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "ui/EditableList.h"

#include "TestBrowser.h"
#include "XServer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDockWidget>
#include <QFile>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QSettings>
#include <QToolBar>
#include <variant>

using namespace nimbra;
using testenv::ReadFile;
using testenv::SpinUntil;
using testenv::WriteFile;

namespace {

class OptionTest : public testenv::BrowserTest {
protected:
    // Runs command 61227; `drive` works on the shown dialog, which then
    // closes with OK (or Cancel). The dialog's result.
    int RunDialog(const std::function<void(COption&)>& drive, bool ok = true)
    {
        int result = -1;
        testenv::HandlerGuard driver(SetOptionDialogDriver, [&](COption& dialog) {
            dialog.show();
            drive(dialog);
            if (ok)
                dialog.accept();
            else
                dialog.reject();
            SpinUntil([&] { return !dialog.isVisible(); }, 60000);
            return result = dialog.result();
        });
        m_frame->ExecuteCommand(ID_VIEW_OPTION);
        return result;
    }
    template <class T>
    static T* Control(COption& dialog, int page, EKey key)
    {
        dialog.SetCurrentPage(page);
        return qobject_cast<T*>(dialog.Page(page)->Control(key));
    }
    static void ShowAllPages(COption& dialog)
    {
        for (int i = 0; i < COption::PageCount; ++i)
            dialog.SetCurrentPage(i);
    }
    void Restart()
    {
        m_frame->close();
        m_app.reset();
        SetUp();
        Start();
    }
    const CFrameSettings& S() const { return m_frame->FrameSettings(); }
    std::string Ini() const { return ReadFile(m_app->IniPath()); }
    // The file without its OpDlgState line, which every close writes.
    std::string IniWithoutState() const
    {
        std::string text = Ini();
        const size_t at = text.find("OpDlgState=");
        return at == std::string::npos ? text : text.erase(at, text.find('\n', at) + 1 - at);
    }
};

// One key of a page: the value put into its control, and what its user
// then sees. Restart keys are looked at in a frame created after OK.
struct SKeyRow {
    int page;
    EKey key;
    std::variant<bool, int, std::string> input; // check box, spin or combo, text
    std::function<std::string(OptionTest&, CMainFrame&)> effect;
    std::string expected;
    bool restart = false;
};

std::function<std::string(OptionTest&, CMainFrame&)> Member(int CFrameSettings::*member)
{
    return [member](OptionTest&, CMainFrame& f) { return std::to_string(f.FrameSettings().*member); };
}
std::function<std::string(OptionTest&, CMainFrame&)> Member(std::string CFrameSettings::*member)
{
    return [member](OptionTest&, CMainFrame& f) { return f.FrameSettings().*member; };
}
// Keys their users read from the file when they need them.
std::function<std::string(OptionTest&, CMainFrame&)> Stored(EKey key)
{
    return [key](OptionTest&, CMainFrame&) {
        CSettings& s = CNimbraApp::Instance()->Settings();
        return KeyInfo(key).type == ESettingType::String ? s.GetString(key) : std::to_string(s.GetInt(key));
    };
}

} // namespace

TEST_F(OptionTest, EveryKeyActsAfterOk)
{
    using F = CFrameSettings;
    using K = EKey;
    using P = COption;
    const auto tabWidth = [](OptionTest&, CMainFrame& f) {
        return std::to_string(f.ViewManager()->TabCtrl()->TabRect(0).width());
    };
    const auto registered = [](OptionTest&, CMainFrame& f) {
        return std::to_string(testenv::FakeWebBrowser::Of(f.ActiveView()->Browser())->registeredAsBrowser);
    };
    const auto linkBar = [](CMainFrame& f) { return BookmarkCommandsOf(f)->LinkBar(); };
    const auto linkBarImages = [linkBar](OptionTest&, CMainFrame& f) { return std::to_string(linkBar(f)->DrawsImages()); };
    const auto linkButtonWidth = [linkBar](OptionTest&, CMainFrame& f) {
        return linkBar(f)->EntryCount() ? std::to_string(linkBar(f)->ButtonWidth(0)) : std::string("no button");
    };
    const auto toolBarDocks = [](OptionTest&, CMainFrame& f) {
        return std::to_string(qobject_cast<QToolBar*>(f.ToolBar()) != nullptr);
    };
    const auto tabBarDocks = [](OptionTest&, CMainFrame& f) {
        return std::to_string(qobject_cast<QDockWidget*>(f.ViewManager()->Bar()) != nullptr);
    };
    const auto toolBarImageSize = [](OptionTest&, CMainFrame& f) {
        return std::to_string(FlatToolBarOf(f)->Images().Size());
    };
    const auto menuTitle = [](OptionTest&, CMainFrame& f) {
        for (QAction* item : testenv::Shown(FindBookmarkMenu(f.MainMenu()))->actions())
            if (item->text().startsWith(QStringLiteral("Long")))
                return item->text().toStdString();
        return std::string("none");
    };
    const std::vector<SKeyRow> rows = {
        {P::General, K::ExitSaveLog, false, Member(&F::ExitSaveLog), "0"},
        {P::General, K::SetFocus, true, Member(&F::SetFocus), "1"},
        {P::General, K::PropChangeRefresh, true, Member(&F::PropChangeRefresh), "1"},
        {P::General, K::RegisterAsBrowser, true, registered, "1"},
        {P::General, K::UserAgent, "NimbraTest/1", Stored(K::UserAgent), "NimbraTest/1"},
        {P::General, K::MyHome, true, Member(&F::MyHome), "1"},
        {P::General, K::MyHomeUrl, "http://127.0.0.1:18340/", Member(&F::MyHomeUrl), "http://127.0.0.1:18340/"},
        {P::Startup, K::StartupLogRestor, true, Stored(K::StartupLogRestor), "1"},
        {P::Startup, K::StartupParamCheck, true, Stored(K::StartupParamCheck), "1"},
        {P::Startup, K::LogRepeatCheck, false, Stored(K::LogRepeatCheck), "0"},
        {P::Startup, K::HostUIFlags, true, Member(&F::HostUIFlags), std::to_string(0x14080), true},
        {P::Startup, K::HostUI, false, Member(&F::HostUI), "0", true},
        {P::Startup, K::OldInet, true, Member(&F::OldInet), "1"},
        {P::Startup, K::IEVersion, true, Member(&F::IEVersion), "6"},
        {P::Startup, K::DDEServerName, "NBOPTIONTEST", Member(&F::DDEServerName), "NBOPTIONTEST", true},
        {P::Tab1, K::NewBlank, false, Member(&F::NewBlank), "1"},
        {P::Tab1, K::BlankPageActive, true, Member(&F::BlankPageActive), "1"},
        {P::Tab1, K::ActiveNewTab, true, Member(&F::ActiveNewTab), "1"},
        {P::Tab1, K::NaviNewTabLock, true, Member(&F::NaviNewTabLock), "1"},
        {P::Tab1, K::NewTabPosition, 3, Member(&F::NewTabPosition), "3"},
        {P::Tab1, K::TabPosToCls, 4, Member(&F::TabPosToCls), "4"},
        {P::Tab1, K::TabWheelClick, 2, Member(&F::TabWheelClick), "2"},
        {P::Tab1, K::TabRightClick, 5, Member(&F::TabRightClick), "5"},
        {P::Tab1, K::TabLeftDblClick, 1, Member(&F::TabLeftDblClick), "1"},
        {P::Tab2, K::TabMax, true, Member(&F::TabMax), "1"},
        {P::Tab2, K::TabMaxCount, 7, Member(&F::TabMaxCount), "7"},
        {P::Tab2, K::SetTabWidth, true, Member(&F::SetTabWidth), "1"},
        {P::Tab2, K::TabWidth, 120, tabWidth, "120"},
        {P::Tab2, K::SetTabCharMax, true, Member(&F::SetTabCharMax), "1"},
        {P::Tab2, K::TabCharMax, 10, Member(&F::TabCharMax), "10"},
        {P::Tab2, K::SelTabWeight, true, Member(&F::SelTabWeight), "1"},
        {P::Tab2, K::SelTabItalic, true, Member(&F::SelTabItalic), "1"},
        {P::Tab2, K::SelTabUnderline, true, Member(&F::SelTabUnderline), "1"},
        {P::Tab2, K::UnSelTabWeight, true, Member(&F::UnSelTabWeight), "1"},
        {P::Tab2, K::UnSelTabItalic, true, Member(&F::UnSelTabItalic), "1"},
        {P::Tab2, K::UnSelTabUnderline, true, Member(&F::UnSelTabUnderline), "1"},
        {P::Tab2, K::TabMode, false, Member(&F::TabMode), "0"},
        {P::Tab2, K::TabMultiLine, true, Member(&F::TabMultiLine), "1"},
        {P::Tab2, K::TabBarDockingMode, true, tabBarDocks, "1", true},
        {P::Tab2, K::ToolBarDockingMode, true, toolBarDocks, "1", true},
        {P::Tab2, K::ToolBarBigButton, true, toolBarImageSize, "20", true},
        {P::CloseUrl, K::CloseUrl, true, Member(&F::CloseUrl), "1"},
        {P::CloseUrl, K::NewWindowClose, true, Member(&F::NewWindowClose), "1"},
        {P::CloseUrl, K::RLCCloseTab, false, Member(&F::RLCCloseTab), "0"},
        {P::CloseTitle, K::CloseTitle, true, Member(&F::CloseTitle), "1"},
        {P::StartupUrl, K::StartOpenUrl, true, Stored(K::StartOpenUrl), "1"},
        {P::StartupUrl, K::SURepeatCheck, false, Stored(K::SURepeatCheck), "0"},
        {P::Mail, K::NoEmail, true, Member(&F::NoEmail), "1"},
        {P::Mail, K::UseMailer, true, Member(&F::UseMailer), "1"},
        {P::Mail, K::MailerPath, "/usr/bin/my mailer \"%M\"", Stored(K::MailerPath), "/usr/bin/my mailer \"%M\""},
        {P::TaskTray, K::TaskMinimizeIn, true, Member(&F::TaskMinimizeIn), "1"},
        {P::TaskTray, K::TaskIcon, true, Member(&F::TaskIcon), "1"},
        {P::TaskTray, K::TaskIconPath, "/usr/share/x.ico", Member(&F::TaskIconPath), "/usr/share/x.ico"},
        {P::TaskTray, K::TaskIconIndex, 3, Member(&F::TaskIconIndex), "3"},
        {P::TaskTray, K::TaskToolTip, "またね", Member(&F::TaskToolTip), "またね"},
        {P::AddressBar, K::AddressLogMax, 10, Stored(K::AddressLogMax), "10"},
        {P::AddressBar, K::AutoComplete, true, Stored(K::AutoComplete), "1", true},
        {P::AddressBar, K::OpDlgAutoComplete, true, Stored(K::OpDlgAutoComplete), "1", true},
        {P::AddressBar, K::AddressAddF, "https://", Stored(K::AddressAddF), "https://"},
        {P::AddressBar, K::AddressAddB, ".jp", Stored(K::AddressAddB), ".jp"},
        {P::Bookmark, K::BookmarkNewTab, false, Member(&F::BookmarkNewTab), "0"},
        {P::Bookmark, K::BKSetFocusView, false, Member(&F::BKSetFocusView), "0"},
        {P::Bookmark, K::BookmarkAddRoot, true, Member(&F::BookmarkAddRoot), "1"},
        {P::Bookmark, K::MainExitEditClose, false, Member(&F::MainExitEditClose), "0"},
        {P::Bookmark, K::MenuTitle, true, Member(&F::MenuTitle), "1"},
        {P::Bookmark, K::MenuTitleLength, 5, menuTitle, "Long ..."},
        // The same file by another name: the menu is read from it again.
        {P::Bookmark, K::BookmarkPath, m_home.path().toStdString() + "/./bookmark.html",
         [](OptionTest&, CMainFrame&) { return CNimbraApp::Instance()->BookmarkPath(); },
         m_home.path().toStdString() + "/./bookmark.html"},
        {P::LinkBar, K::LinkBarDrawImg, false, linkBarImages, "0"},
        // A fixed 50 without images: 50 + 10.
        {P::LinkBar, K::LinkBarSetBtnWidth, true, linkButtonWidth, "60"},
        {P::LinkBar, K::LinkBarBtnWidth, 50, linkButtonWidth, "60"},
        {P::NimbraBar, K::NBTabStyleTop, true, Member(&F::NBTabStyleTop), "1"},
        {P::NimbraBar, K::NBTabText, false, Member(&F::NBTabText), "0"},
        {P::NimbraBar, K::NBSetFocusView, false, Member(&F::NBSetFocusView), "0"},
        {P::NimbraBar, K::NBLClickOpenNew, true, Member(&F::NBLClickOpenNew), "1"},
        {P::NimbraBar, K::NBLClickHistOpenNew, true, Member(&F::NBLClickHistOpenNew), "1"},
        {P::NimbraBar, K::NBLClickFHistOpenNew, true, Member(&F::NBLClickFHistOpenNew), "1"},
        {P::NimbraBar, K::InfoTip, false, Member(&F::InfoTip), "0"},
        {P::NimbraBar, K::FindWebDlg, true, Member(&F::FindWebDlg), "1"},
    };
    testenv::WriteFile(m_app->BookmarkPath(), "<HTML>\r\n<UL>\r\n\t<LI><A HREF=\"http://127.0.0.1/\">Long bookmark title</A>\r\n"
                                              "\t<LI>リンク<UL>\r\n\t<LI><A HREF=\"http://127.0.0.1/l\">L</A>\r\n\t</UL>\r\n"
                                              "</UL>\r\n</HTML>\r\n");
    Start();
    m_app->OpenUrl("http://127.0.0.1/a");
    ASSERT_TRUE(SpinUntil([&] { return m_frame->ActiveView() && Tabs()->GetItemCount() == 1; }, 10000));
    ASSERT_TRUE(SpinUntil([&] { return menuTitle(*this, *m_frame) != "none"; }, 10000));

    // The hot key and the security sets have their own tests.
    const std::vector<EKey> ownTests = {K::HotKey, K::DownloadCtrl, K::DownloadCtrlN};
    ASSERT_EQ(RunDialog([&](COption& dialog) {
                  ShowAllPages(dialog);
                  for (const SKeyRow& row : rows) {
                      QWidget* control = Control<QWidget>(dialog, row.page, row.key);
                      ASSERT_NE(control, nullptr) << KeyInfo(row.key).key;
                      if (auto* box = qobject_cast<QCheckBox*>(control))
                          box->setChecked(std::get<bool>(row.input));
                      else if (auto* spin = qobject_cast<QSpinBox*>(control))
                          spin->setValue(std::get<int>(row.input));
                      else if (auto* combo = qobject_cast<QComboBox*>(control))
                          combo->setCurrentIndex(std::get<int>(row.input));
                      else
                          qobject_cast<QLineEdit*>(control)->setText(QString::fromStdString(std::get<std::string>(row.input)));
                  }
              }),
              QDialog::Accepted);

    // Every bound key of the pages is in the table or has its own test.
    auto pages = std::make_unique<COption>(m_frame);
    int bound = 0;
    for (int page = 0; page < P::PageCount; ++page)
        for (const SSettingKey& info : AllKeys())
            if (pages->Page(page)->Binding(info.id)) {
                ++bound;
                const bool listed = std::any_of(rows.begin(), rows.end(), [&](const SKeyRow& r) { return r.key == info.id; })
                    || std::count(ownTests.begin(), ownTests.end(), info.id);
                EXPECT_TRUE(listed) << info.key;
            }
    EXPECT_EQ(bound, int(rows.size()) + int(ownTests.size()));
    pages.reset();

    for (bool restarted : {false, true}) {
        if (restarted) {
            Restart();
            m_app->OpenUrl("http://127.0.0.1/a");
            ASSERT_TRUE(SpinUntil([&] { return Tabs()->GetItemCount() == 1; }, 10000));
        }
        for (const SKeyRow& row : rows) {
            if (row.restart != restarted)
                continue;
            EXPECT_EQ(row.effect(*this, *m_frame), row.expected) << KeyInfo(row.key).key;
        }
    }
}

TEST_F(OptionTest, FirstPageCloseAndCancel)
{
    Start();
    using Case = std::pair<int, int>;
    for (const auto& [stored, first] : {Case{-1, 0}, Case{0, 0}, Case{1, 1}, Case{13, 13}, Case{COption::PageCount, 0}}) {
        Option("OpDlgState", stored);
        int shown = -1;
        RunDialog([&](COption& dialog) { shown = dialog.CurrentPage(); }, false);
        EXPECT_EQ(shown, first) << stored;
    }

    // Ctrl+Tab and Ctrl+PageUp walk the pages; the page closed on comes first.
    RunDialog([](COption& dialog) {
        dialog.SetCurrentPage(COption::PageCount - 1);
        QTest::keyClick(&dialog, Qt::Key_Tab, Qt::ControlModifier);
        EXPECT_EQ(dialog.CurrentPage(), COption::General);
        QTest::keyClick(dialog.PageList(), Qt::Key_PageDown, Qt::ControlModifier);
        EXPECT_EQ(dialog.CurrentPage(), COption::Startup);
    }, false);
    RunDialog([](COption& dialog) { EXPECT_EQ(dialog.CurrentPage(), COption::Startup); }, false);

    // Cancel writes nothing but the page, and keeps the frame's settings.
    const std::string before = IniWithoutState();
    RunDialog([](COption& dialog) {
        ShowAllPages(dialog);
        Control<QSpinBox>(dialog, COption::Tab2, EKey::TabWidth)->setValue(200);
        Control<QCheckBox>(dialog, COption::General, EKey::ExitSaveLog)->setChecked(false);
        dialog.SetCurrentPage(COption::Security);
    }, false);
    EXPECT_EQ(IniWithoutState(), before);
    EXPECT_EQ(S().TabWidth, 80);
    EXPECT_EQ(m_app->Settings().GetInt(EKey::OpDlgState), COption::Security);
}

TEST_F(OptionTest, UneditedValuesStayAsTheyWere)
{
    // Out of range, negative, not numeric, 1 MB, CP932, an unknown hot-key
    // code, other host-UI bits; NewBlank missing.
    WriteFile(m_app->IniPath(), "[Options]\r\nTabWidth=5\r\nMenuTitleLength=-3\r\nNewTabPosition=abc\r\nTabMaxCount=99999\r\n"
                                "UserAgent=" + std::string(1 << 20, 'u') + "\r\nTaskToolTip=\x82\xA0\x82\xA2\r\n"
                                "HotKey=" + std::to_string((0xE9 << 16) | 2) + "\r\nHostUIFlags=81927\r\nIEVersion=7\r\n"
                                "TabWheelClick=-1\r\nDownloadCtrl3=xyz\r\n");
    Start();
    const std::string before = IniWithoutState();
    RunDialog([](COption& dialog) {
        ShowAllPages(dialog);
        EXPECT_EQ(Control<QSpinBox>(dialog, COption::Tab2, EKey::TabWidth)->value(), 20);
        EXPECT_EQ(Control<QSpinBox>(dialog, COption::Bookmark, EKey::MenuTitleLength)->value(), 255);
        EXPECT_EQ(Control<QSpinBox>(dialog, COption::Tab2, EKey::TabMaxCount)->value(), 256);
        EXPECT_EQ(Control<QLineEdit>(dialog, COption::TaskTray, EKey::TaskToolTip)->text(), QStringLiteral("あい"));
        EXPECT_TRUE(Control<QKeySequenceEdit>(dialog, COption::TaskTray, EKey::HotKey)->keySequence().isEmpty());
        EXPECT_TRUE(Control<QCheckBox>(dialog, COption::Tab1, EKey::NewBlank)->isChecked());
        EXPECT_TRUE(Control<QCheckBox>(dialog, COption::Tab1, EKey::BlankPageActive)->isEnabled());
        EXPECT_FALSE(Control<QCheckBox>(dialog, COption::Startup, EKey::IEVersion)->isChecked());
    });
    EXPECT_EQ(IniWithoutState(), before);

    // One bit of HostUIFlags changes, the others stay; NewBlank off is 1.
    RunDialog([](COption& dialog) {
        Control<QCheckBox>(dialog, COption::Startup, EKey::HostUIFlags)->setChecked(true);
        auto* blank = Control<QCheckBox>(dialog, COption::Tab1, EKey::NewBlank);
        blank->setChecked(false);
        EXPECT_FALSE(Control<QCheckBox>(dialog, COption::Tab1, EKey::BlankPageActive)->isEnabled());
    });
    EXPECT_EQ(m_app->Settings().GetInt(EKey::HostUIFlags), 81927 | 0x80);
    EXPECT_EQ(m_app->Settings().GetInt(EKey::NewBlank), 1);
}

TEST_F(OptionTest, HotKeyBothWays)
{
    testenv::XServer x;
    ASSERT_FALSE(x.Display().isEmpty());
    Option("HotKey", (0x78 << 16) | 3); // Ctrl+Alt+F9
    Start();
    m_frame->Window()->HotKey().SetConnection(x.OpenClient());
    RunDialog([](COption& dialog) {
        auto* edit = Control<QKeySequenceEdit>(dialog, COption::TaskTray, EKey::HotKey);
        EXPECT_EQ(edit->keySequence(), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_F9));
        // Shift is 4 and Alt 1, with the key's code high.
        edit->setKeySequence(QKeySequence(Qt::SHIFT | Qt::Key_Home));
    });
    EXPECT_EQ(m_app->Settings().GetInt(EKey::HotKey), (0x24 << 16) | 4);
    EXPECT_TRUE(m_frame->Window()->HotKey().IsRegistered());
    bool labelled = false;
    for (QAction* top : m_frame->MainMenu()->actions())
        for (QAction* item : top->menu() ? top->menu()->actions() : QList<QAction*>())
            labelled |= item->text() == QStringLiteral("タスク トレイ(&T)\tShift+Home");
    EXPECT_TRUE(labelled);
}

TEST_F(OptionTest, DockingChangeWarnsAndDropsTheBarLayout)
{
    Start();
    // Without the key both bars are bands of the rebar.
    EXPECT_EQ(m_frame->menuWidget()->findChild<QWidget*>("TabBarBand"), Tabs()->Bar());
    EXPECT_EQ(qobject_cast<QToolBar*>(m_frame->ToolBar()), nullptr);
    const std::string barState = DataFile("barstate.ini");
    WriteFile(barState, "[Options]\r\nMoveButton=0\r\n");
    QStringList messages;
    testenv::HandlerGuard messageGuard(SetMessageHandler, [&](const QString& text) { messages << text; });
    RunDialog([](COption& dialog) {
        Control<QCheckBox>(dialog, COption::Tab2, EKey::TabBarDockingMode)->click();
    });
    EXPECT_EQ(messages, QStringList{"この設定を変更してオプションを終了すると\nタブバーとツールバーの状態が初期化されます"});
    EXPECT_FALSE(FileExists(barState));
    m_frame->close();
    EXPECT_FALSE(FileExists(barState)) << "the exit writes no layout after a docking change";
}

TEST_F(OptionTest, SecurityPageEditsTheFiveSetsAndTheFrameKeepsTheNewOne)
{
    Start();
    RunDialog([](COption& dialog) {
        dialog.SetCurrentPage(COption::Security);
        auto* page = dialog.PageOf<CPropPageSecure>(COption::Security);
        EXPECT_TRUE(page->FlagBox(DLCTL_DLIMAGES)->isChecked());
        EXPECT_TRUE(page->FlagBox(DLCTL_NO_JAVA)->isChecked()) << "security boxes are checked when allowed";
        page->FlagBox(DLCTL_DLIMAGES)->setChecked(false);
        page->SetChooser()->setCurrentIndex(4);
        EXPECT_TRUE(page->FlagBox(DLCTL_DLIMAGES)->isChecked());
        page->FlagBox(DLCTL_NO_SCRIPTS)->setChecked(false);
    });
    CSettings& s = m_app->Settings();
    EXPECT_EQ(s.GetInt(EKey::DownloadCtrl), 112 & ~0x10);
    EXPECT_EQ(s.GetInt(DownloadCtrlKey(4)), 112 | 0x80);
    EXPECT_EQ(CIniFile(m_app->IniPath()).Find("Options", "DownloadCtrl1"), std::nullopt);
    EXPECT_EQ(m_frame->DownloadFlags(), unsigned(112 & ~0x10));
    m_frame->close();
    EXPECT_EQ(s.GetInt(EKey::DownloadCtrl), 112 & ~0x10) << "the exit keeps what the page stored";
}

TEST_F(OptionTest, ListPagesWriteTheirFilesAndLeaveUnreadableOnesAlone)
{
    WriteListFile(kHeadingStartup, m_app->StartupPath(), {"http://a/", "http://b/"});
    QDir().mkpath(QString::fromStdString(m_app->CloseUrlPath())); // exists, cannot be read
    Start();
    RunDialog([](COption& dialog) {
        dialog.SetCurrentPage(COption::StartupUrl);
        auto* startup = dialog.PageOf<CListPage>(COption::StartupUrl);
        EXPECT_EQ(startup->List()->Model().Rows(), (UrlList{"http://a/", "http://b/"}));
        startup->List()->Model().SetRows({});
        dialog.SetCurrentPage(COption::CloseUrl);
        auto* blocked = dialog.PageOf<CListPage>(COption::CloseUrl);
        EXPECT_TRUE(blocked->Unreadable());
        EXPECT_FALSE(blocked->List()->isEnabled());
        dialog.SetCurrentPage(COption::CloseTitle);
        dialog.PageOf<CListPage>(COption::CloseTitle)->List()->Model().SetRows({"Ad*"});
    });
    const std::string startup = ReadFile(m_app->StartupPath());
    EXPECT_NE(startup.find("Startup URL List"), std::string::npos);
    EXPECT_EQ(startup.find("<LI>"), std::string::npos);
    EXPECT_TRUE(IsDirectory(m_app->CloseUrlPath()));
    EXPECT_NE(ReadFile(m_app->CloseTitlePath()).find("<LI>Ad*"), std::string::npos);
}

TEST_F(OptionTest, RefusalsAndFailuresKeepTheDialogOpen)
{
    // An empty DDE name is refused; the default browser that cannot be set
    // is said and its box put back.
    const std::string bin = m_home.file("bin");
    QDir().mkpath(QString::fromStdString(bin));
    WriteFile(bin + "/xdg-mime", "#!/bin/sh\ncase \"$1\" in query) echo other.desktop ;; *) echo refused >&2; exit 3 ;; esac\n");
    QFile::setPermissions(QString::fromStdString(bin + "/xdg-mime"), QFile::ReadOwner | QFile::ExeOwner);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QByteArray::fromStdString(bin));
    Start();
    const std::string before = IniWithoutState();
    QStringList messages;
    testenv::HandlerGuard messageGuard(SetMessageHandler, [&](const QString& text) { messages << text; });
    RunDialog([&](COption& dialog) {
        Control<QLineEdit>(dialog, COption::Startup, EKey::DDEServerName)->clear();
        dialog.accept();
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(dialog.CurrentPage(), COption::Startup);
        Control<QLineEdit>(dialog, COption::Startup, EKey::DDEServerName)->setText("NBROWSER");

        dialog.SetCurrentPage(COption::General);
        ASSERT_TRUE(SpinUntil([&] { return dialog.DefaultBrowserKnown(); }, 20000));
        QCheckBox* box = dialog.PageOf<CPropPageGeneral>(COption::General)->DefaultBrowserBox();
        EXPECT_FALSE(box->isChecked());
        box->setChecked(true);
        dialog.accept();
        EXPECT_TRUE(SpinUntil([&] { return messages.size() == 2; }, 20000));
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_FALSE(box->isChecked());
    });
    qputenv("PATH", path);
    ASSERT_EQ(messages.size(), 2);
    EXPECT_EQ(messages[0], QStringLiteral("DDE サーバー名を入力してください。"));
    EXPECT_TRUE(messages[1].contains(QStringLiteral("refused"))) << messages[1].toStdString();
    EXPECT_EQ(IniWithoutState(), before);
    QSettings("Orvane", "Nimbra Browser").remove("DefaultBrowser");
}

TEST_F(OptionTest, ColoursAndButtons)
{
    Start();
    m_app->OpenUrl("http://127.0.0.1/page");
    ASSERT_TRUE(SpinUntil([&] { return m_frame->ActiveView() && !m_frame->ActiveView()->GetLocationURL().empty(); }, 10000));
    testenv::WriteFile(m_app->AddressLogPath(), "<LI>http://old/\r\n");
    m_frame->AddressCombo()->LoadHistory();
    RunDialog([](COption& dialog) {
        dialog.SetCurrentPage(COption::Tab2);
        dialog.PageOf<CPropPageTab2>(COption::Tab2)->SetColor(EKey::SelTabClr, QColor(1, 2, 3));
        dialog.SetCurrentPage(COption::General);
        dialog.PageOf<CPropPageGeneral>(COption::General)->CurrentPageButton()->click();
        dialog.SetCurrentPage(COption::AddressBar);
        dialog.PageOf<CPropPageAddressBar>(COption::AddressBar)->ClearButton()->click();
    });
    EXPECT_EQ(S().SelTabClr, QColor(1, 2, 3));
    EXPECT_EQ(m_app->Settings().GetInt("Options", "SelTabClr", -1), 0x030201);
    EXPECT_EQ(S().MyHomeUrl, m_frame->ActiveView()->GetLocationURL());
    EXPECT_TRUE(m_frame->AddressCombo()->History().empty());

    RunDialog([](COption& dialog) {
        dialog.SetCurrentPage(COption::Tab2);
        dialog.PageOf<CPropPageTab2>(COption::Tab2)->ResetColors();
        dialog.SetCurrentPage(COption::General);
        dialog.PageOf<CPropPageGeneral>(COption::General)->BlankButton()->click();
    });
    for (EKey key : {EKey::SelTabClr, EKey::UnSelTabClr, EKey::SelTabBkgClr, EKey::UnSelTabBkgClr})
        EXPECT_EQ(CIniFile(m_app->IniPath()).Find("Options", KeyInfo(key).key), std::nullopt);
    EXPECT_EQ(S().SelTabClr, QGuiApplication::palette().color(QPalette::Active, QPalette::ButtonText));
    EXPECT_EQ(S().MyHomeUrl, "about:blank");
}
