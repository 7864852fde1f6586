#include "app/NimbraApp.h"
#include "widgets/bars/AddressCombo.h"
#include "frames/browser/MainFrame.h"
#include "platform/Ini.h"
#include "platform/Ipc.h"
#include "platform/MessageBox.h"
#include "platform/Shortcut.h"
#include "data/session/ListFile.h"
#include "widgets/view/NimbraView.h"

#include "ShellLinkBuilder.h"
#include "TestBrowser.h"
#include "TestEnv.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QUrl>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace nimbra;

namespace {

using AppTest = testenv::BrowserTest;

} // namespace

TEST_F(AppTest, FirstStartWritesBookmarkPathAndKeepsAnExistingOne)
{
    CIniFile ini(File("nimbrab.ini"));
    EXPECT_EQ(ini.GetString("Options", "BookmarkPath", ""), File("bookmark.html"));

    ini.WriteString("Options", "BookmarkPath", "/elsewhere/b.html");
    CNimbraApp second;
    second.InitPaths();
    EXPECT_EQ(second.BookmarkPath(), "/elsewhere/b.html");
    EXPECT_EQ(second.CloseUrlPath(), File("close.html"));
    EXPECT_EQ(second.OpenTabsLogPath(), File("eaou.log"));
}

TEST_F(AppTest, TabLimitStopsTheSecondTab)
{
    Option("TabMax", 1);
    Option("TabMaxCount", 1);
    CMainFrame* frame = Start();
    EXPECT_NE(m_app->OpenUrl("about:blank"), nullptr);
    EXPECT_EQ(m_app->OpenUrl("about:blank"), nullptr);
    EXPECT_EQ(frame->TabCount(), 1);
}

TEST_F(AppTest, TabMaxCountZeroActsAsOneAndTabMaxOffIgnoresIt)
{
    Option("TabMax", 1);
    Option("TabMaxCount", 0);
    CMainFrame* frame = Start();
    m_app->OpenUrl("about:blank");
    m_app->OpenUrl("about:blank");
    EXPECT_EQ(frame->TabCount(), 1);

    Option("TabMax", 2); // only 1 means on
    frame->ReloadSettings();
    m_app->OpenUrl("about:blank");
    EXPECT_EQ(frame->TabCount(), 2);
}

TEST_F(AppTest, EmptyUrlOpensBlankPageOnlyWithoutNewBlank)
{
    CMainFrame* frame = Start();
    CNimbraView* blank = m_app->OpenUrl("");
    ASSERT_NE(blank, nullptr);
    EXPECT_EQ(blank->GetLocationURL(), "about:blank");

    Option("NewBlank", 1);
    frame->ReloadSettings();
    CNimbraView* empty = m_app->OpenUrl("");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->GetLocationURL(), "");
    EXPECT_EQ(frame->TabCount(), 2);
}

TEST_F(AppTest, ListFileOpensEachEntryButNotItself)
{
    CMainFrame* frame = Start();
    const std::string list = File("my list.nbl");
    WriteListFile("UrlList", list,
                  {"about:blank#1", "file://" + QUrl::toPercentEncoding(QString::fromStdString(list), "/").toStdString(),
                   list, "about:blank#2"});
    const std::string fileUrl = "file://" + QUrl::toPercentEncoding(QString::fromStdString(list), "/").toStdString();

    EXPECT_EQ(m_app->OpenUrl(fileUrl), nullptr);
    ASSERT_EQ(frame->TabCount(), 2);
    EXPECT_EQ(frame->Views()[0]->m_strUrl, "about:blank#1");
    EXPECT_EQ(frame->Views()[1]->m_strUrl, "about:blank#2");
}

TEST_F(AppTest, ListFilesNamingEachOtherOpenOnce)
{
    CMainFrame* frame = Start();
    WriteListFile("UrlList", File("a.nbl"), {File("b.nbl"), "about:blank#a"});
    WriteListFile("UrlList", File("b.nbl"), {File("a.nbl"), "about:blank#b"});
    EXPECT_TRUE(m_app->OpenSpecialUrl(File("a.nbl")));
    EXPECT_EQ(frame->TabCount(), 2);
}

TEST_F(AppTest, MissingOrEmptyListFileIsNotSpecial)
{
    Start();
    EXPECT_FALSE(m_app->OpenSpecialUrl(File("none.nbl")));
    WriteListFile("UrlList", File("empty.nbl"), {});
    EXPECT_FALSE(m_app->OpenSpecialUrl(File("empty.nbl")));
}

TEST_F(AppTest, MailLinksInAnyCaseGoToTheMailerOrNowhere)
{
    Start();
    EXPECT_TRUE(m_app->OpenSpecialUrl("  MAILTO:someone@example.org"));
    ASSERT_EQ(m_shell.opened.size(), 1u);
    EXPECT_EQ(m_shell.opened[0], "MAILTO:someone@example.org");

    Option("NoEmail", 1);
    m_app->MainFrame()->ReloadSettings();
    EXPECT_TRUE(m_app->OpenSpecialUrl("MAILTO:someone@example.org"));
    EXPECT_EQ(m_app->OpenUrl("mailto:x@example.org"), nullptr);
    EXPECT_EQ(m_shell.opened.size(), 1u);
    EXPECT_EQ(m_app->MainFrame()->TabCount(), 0);
}

TEST_F(AppTest, MailerPathWithQuotedTemplateGetsTheBareAddress)
{
    Option("UseMailer", 1);
    Option("MailerPath", std::string("/usr/bin/mailer \"%m\""));
    Start();
    EXPECT_TRUE(m_app->LaunchMailer("mailto: someone@example.org"));
    ASSERT_EQ(m_shell.executed.size(), 1u);
    EXPECT_EQ(m_shell.executed[0].first, "/usr/bin/mailer");
    EXPECT_EQ(m_shell.executed[0].second, std::vector<std::string>{"someone@example.org"});
}

TEST(MailerCommand, TheUrlIsAlwaysOneArgument)
{
    using Args = std::vector<std::string>;
    const struct {
        const char* mailerPath;
        const char* url;
        const char* program; // "" when nothing runs
        Args arguments;
    } cases[] = {
        {"\"/opt/my mailer/m\" \"-compose %M\"", "mailto:a@b.c", "/opt/my mailer/m", {"-compose", "mailto:a@b.c"}},
        {"/usr/bin/mutt", "mailto:a@b.c", "/usr/bin/mutt", {"mailto:a@b.c"}},
        // A page's link cannot add arguments, however it is quoted.
        {"/usr/bin/m \"-to %m\"", "mailto:a@b.c --exec evil", "/usr/bin/m", {"-to", "a@b.c --exec evil"}},
        {"/usr/bin/m \"%M\"", "mailto:x\" \"--evil", "/usr/bin/m", {"mailto:x\" \"--evil"}},
        {"/usr/bin/mutt", "mailto:a\" -e 'x'", "/usr/bin/mutt", {"mailto:a\" -e 'x'"}},
        {"x", "mailto:a@b.c", "", {}},
        {"/usr/bin/m \"\"", "mailto:a@b.c", "", {}},
    };
    for (const auto& c : cases) {
        const SMailerCommand command = BuildMailerCommand(c.mailerPath, c.url);
        EXPECT_EQ(command.program, c.program) << c.mailerPath;
        if (*c.program) {
            EXPECT_EQ(command.arguments, c.arguments) << c.mailerPath << " " << c.url;
        }
    }
}

TEST(CommandLine, ExistingRelativePathsBecomeAbsoluteAgainstTheGivenFolder)
{
    testenv::ScopedHome home;
    const std::string dir = home.path().toStdString();
    testenv::WriteFile(home.file("p1.html"), "x");
    QDir().mkpath(home.path() + "/sub");
    const std::pair<std::string, std::string> cases[] = {
        {"p1.html", dir + "/p1.html"},
        {"./sub/../p1.html", dir + "/p1.html"},
        {"sub", dir + "/sub"},
        {"missing.html", "missing.html"},
        {"www.example.com", "www.example.com"},
        {"http://p1.html/", "http://p1.html/"},
        {"/etc/hostname", "/etc/hostname"},
        {"", ""},
    };
    for (const auto& [argument, expected] : cases)
        EXPECT_EQ(AbsoluteIfRelativePath(argument, dir), expected) << argument;
}

TEST_F(AppTest, ShortcutFilesResolveToTheirTargets)
{
    const std::string url = File("page.url");
    ASSERT_TRUE(WriteInternetShortcut(url, "http://example.org/from-url"));
    EXPECT_EQ(m_app->ResolveShortcut(url), "http://example.org/from-url");

    // Unreadable shortcuts leave the text as it was.
    testenv::WriteFile(File("broken.url"), "\x01\x02garbage");
    EXPECT_EQ(m_app->ResolveShortcut(File("broken.url")), File("broken.url"));
    testenv::WriteFile(File("broken.lnk"), "L\0\0\0garbage");
    EXPECT_EQ(m_app->ResolveShortcut(File("broken.lnk")), File("broken.lnk"));
    EXPECT_EQ(m_app->ResolveShortcut(File("missing.url")), File("missing.url"));

    testenv::shelllink::LinkLayout link;
    link.base = "C:\\docs\\page.html";
    testenv::WriteFile(File("page.lnk"), testenv::shelllink::BuildLink(link));
    EXPECT_EQ(m_app->ResolveShortcut(File("page.lnk")), "C:/docs/page.html");

    // Web addresses are never looked up as files.
    EXPECT_EQ(m_app->ResolveShortcut("http://x/a.url"), "http://x/a.url");
}

TEST_F(AppTest, HandOverIsDroppedDuringStartUpAndHonoursBookmarkNewTab)
{
    Option("BookmarkNewTab", 0);
    m_app->SetBrowserFactory(testenv::FakeBrowserFactory());
    ASSERT_TRUE(m_app->CreateMainFrame());
    CMainFrame* frame = m_app->MainFrame();

    frame->OnCopyData(ipc::MakeCopyData(0, "about:blank#dropped"));
    EXPECT_EQ(frame->TabCount(), 0);
    frame->EndStartup();

    // No terminating zero: refused.
    frame->OnCopyData({ipc::WM_COPYDATA, 0, QByteArray("about:blank")});
    EXPECT_EQ(frame->TabCount(), 0);

    frame->OnCopyData(ipc::MakeCopyData(0, "about:blank#one"));
    EXPECT_EQ(frame->TabCount(), 1);
    // A bookmark from the editor opens in the active tab with BookmarkNewTab 0.
    frame->OnCopyData(ipc::MakeCopyData(777, "about:blank#two"));
    EXPECT_EQ(frame->TabCount(), 1);
    frame->OnCopyData(ipc::MakeCopyData(0, "about:blank#three"));
    EXPECT_EQ(frame->TabCount(), 2);
    // History is not touched by hand-overs.
    EXPECT_TRUE(frame->AddressCombo()->History().empty());
}

TEST_F(AppTest, ExitWritesClosedCountAndOpenTabsLog)
{
    CMainFrame* frame = Start();
    m_app->OpenUrl("about:blank#x");
    m_app->OpenUrl("about:blank#y");
    frame->m_nCWC = 3;
    frame->close();

    CIniFile ini(File("nimbrab.ini"));
    EXPECT_EQ(ini.GetInt("Options", "CWC", -1), 3);
    UrlList log;
    ReadListFile(File("eaou.log"), log);
    EXPECT_EQ(log, (UrlList{"about:blank#x", "about:blank#y"}));
}

TEST_F(AppTest, StartupListAndLogOpenWithoutRepeats)
{
    Option("StartOpenUrl", 1);
    Option("StartupLogRestor", 1);
    WriteListFile("Startup URL List", File("startup.html"), {"about:blank#s"});
    WriteListFile("ExitAppOpenedUrls", File("eaou.log"), {"about:blank#a", "about:blank#s", "about:blank#a"});
    CMainFrame* frame = Start();
    m_app->OpenStartupPages();
    std::vector<std::string> urls;
    for (CNimbraView* view : frame->Views())
        urls.push_back(view->m_strUrl);
    EXPECT_EQ(urls, (std::vector<std::string>{"about:blank#s", "about:blank#a"}));
}

namespace {

// Takes the right to write past permissions from this thread while it
// lives, so that a folder without write permission refuses the superuser
// too, as it does everybody else.
class ScopedNoDacOverride {
public:
    ScopedNoDacOverride()
    {
        syscall(SYS_capget, &m_header, m_saved);
        __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
        reduced[0].effective &= ~(1u << CAP_DAC_OVERRIDE);
        syscall(SYS_capset, &m_header, reduced);
    }
    ~ScopedNoDacOverride() { syscall(SYS_capset, &m_header, m_saved); }

private:
    __user_cap_header_struct m_header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct m_saved[2] = {};
};

} // namespace

TEST_F(AppTest, ADataFolderThatTakesNoWritesIsToldOnceAtStart)
{
    QStringList messages;
    testenv::HandlerGuard guard(SetMessageHandler, [&](const QString& text) { messages << text; });
    const QString home = m_home.path();
    for (const bool writable : {true, false}) {
        SCOPED_TRACE(writable);
        messages.clear();
        m_app.reset();
        NewApp();
        m_app->SetBrowserFactory(testenv::FakeBrowserFactory());
        QFile::setPermissions(home, writable ? QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                             : QFile::ReadOwner | QFile::ExeOwner);
        {
            ScopedNoDacOverride noOverride;
            ASSERT_TRUE(m_app->InitInstance({QStringLiteral("nimbrab")}));
        }
        QFile::setPermissions(home, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        // Said when the window is up, once.
        if (!writable) {
            EXPECT_TRUE(testenv::SpinUntil([&] { return !messages.isEmpty(); }, 10000));
        }
        QCoreApplication::processEvents();
        if (writable) {
            EXPECT_TRUE(messages.isEmpty());
        } else {
            ASSERT_EQ(messages.size(), 1) << messages.join(QStringLiteral(" | ")).toStdString();
            EXPECT_TRUE(messages[0].startsWith(QStringLiteral("データ フォルダ ") + QDir::cleanPath(home)));
            EXPECT_TRUE(messages[0].contains(QStringLiteral("書き込めません")));
        }
    }
}
