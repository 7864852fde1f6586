// The bookmark editor as the program a person starts: its command line,
// what it links, its close at the session's end, its dialogs driven through
// an X server, and its window following the browser into the task tray.
#include "data/bookmarks/BookmarkMessages.h"
#include "frames/editor/BkMainFrame.h"
#include "ui/EditorIds.h"
#include "ui/CommandIds.h"
#include "ui/CommandRouter.h"
#include "frames/browser/TaskTray.h"
#include "platform/Ini.h"
#include "platform/Ipc.h"
#include "platform/Text.h"

#include "BrowserProcess.h"
#include "TestBrowser.h"
#include "XServer.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <gtest/gtest.h>

using namespace nimbra;
using namespace nimbra::editor;
using testenv::SpinUntil;

namespace {

constexpr int kStartMs = 20000;
constexpr int kWaitMs = 20000;

const std::string kBookmarks = "<HTML>\r\n<TITLE>Nimbra Browser BookMark</TITLE>\r\n<UL>\r\n"
                               "\t<LI><A HREF=\"http://a/\">A</A>\r\n</UL>\r\n</HTML>\r\n";

// The editor program in a data directory of its own, offscreen or on a
// private X server.
class EditorProgram {
public:
    explicit EditorProgram(const testenv::TempDir& home) : m_home(home), m_program(home.path(), "nbbe") {}

    void Start(const QString& display = {})
    {
        if (!display.isEmpty()) {
            m_program.SetEnv("QT_QPA_PLATFORM", "xcb");
            m_program.SetEnv("DISPLAY", display);
        }
        m_program.Start({});
        ASSERT_TRUE(SpinUntil([&] { return ipc::FindWindow(ipc::kEditorClass, m_home.path()); }, kStartMs));
    }

    // A menu command as another program posts it, once it has been taken
    // up (a sent message after it is answered once the command runs or
    // waits in a dialog).
    void Command(int id)
    {
        ASSERT_TRUE(ipc::PostWindowMessage(ipc::kEditorClass, m_home.path(), {WM_COMMAND, quint64(id), {}}));
        ASSERT_TRUE(ipc::SendWindowMessage(ipc::kEditorClass, m_home.path(), {0, 0, {}}));
    }

    testenv::Browser& Process() { return m_program; }

private:
    const testenv::TempDir& m_home;
    testenv::Browser m_program;
};

// The viewable top-level windows of a name.
std::vector<unsigned> Shown(testenv::XServer& x, const std::string& name)
{
    std::vector<unsigned> shown;
    for (unsigned window : x.FindWindows(name)) {
        if (x.IsViewable(window) && x.Name(window) == name)
            shown.push_back(window);
    }
    return shown;
}

// The caption of the editor's message boxes.
constexpr char kBoxTitle[] = "Nimbra Browser";

// The dialog of the editor on the screen (any window but its main one and
// its message boxes); 0 when there is none.
unsigned ShownDialog(testenv::XServer& x)
{
    for (unsigned window : x.FindWindows("")) {
        const std::string name = x.Name(window);
        if (x.IsViewable(window) && !name.empty() && name != kBoxTitle
            && name.find(CBkMainFrame::kTitle) == std::string::npos)
            return window;
    }
    return 0;
}

std::string Home(const testenv::TempDir& home)
{
    return FromQ(home.path());
}

} // namespace

TEST(EditorProgramE2E, HelpNeedsNoScreenAndTheEditorLinksNoWebEngine)
{
    testenv::TempDir home;
    QProcess help;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(name);
    env.insert("NIMBRA_HOME", home.path());
    help.setProcessEnvironment(env);
    help.start(qEnvironmentVariable("NIMBRA_BIN_DIR") + "/nbbe", {"--help"});
    ASSERT_TRUE(help.waitForFinished(kWaitMs));
    EXPECT_EQ(help.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(help.exitCode(), 0);
    const QString out = QString::fromUtf8(help.readAllStandardOutput());
    EXPECT_TRUE(out.startsWith("使い方: nbbe\n")) << out.toStdString();
    EXPECT_TRUE(out.contains("使用中のデータ フォルダ: " + home.path() + " (NIMBRA_HOME)\n")) << out.toStdString();
    EXPECT_TRUE(QDir(home.path()).isEmpty()) << "--help wrote to the data directory";

    auto needed = [](const QString& program) {
        QProcess readelf;
        readelf.start("readelf", {"-d", qEnvironmentVariable("NIMBRA_BIN_DIR") + "/" + program});
        EXPECT_TRUE(readelf.waitForFinished(kWaitMs));
        return QString::fromUtf8(readelf.readAllStandardOutput());
    };
    // The check sees the engine where it is.
    EXPECT_TRUE(needed("nimbrab").contains("libQt6WebEngine"));
    const QString editor = needed("nbbe");
    EXPECT_TRUE(editor.contains("libQt6Widgets")) << editor.toStdString();
    EXPECT_FALSE(editor.contains("WebEngine")) << editor.toStdString();
}

TEST(EditorProgramE2E, SessionEndClosesOpenDialogsAndKeepsTheEdits)
{
    testenv::ScopedHome home;
    testenv::WriteFile(home.file("bookmark.html"), kBookmarks);
    for (int id : {ID_BK_FIND, ID_BK_OPEN, ID_BK_ABOUT}) {
        SCOPED_TRACE(id);
        EditorProgram editor(home);
        editor.Start();
        editor.Command(ID_BK_NEW_SEPARATOR);
        editor.Command(id);
        EXPECT_TRUE(editor.Process().Terminate());
        EXPECT_NE(testenv::ReadFile(home.file("bookmark.html")).find("\t<HR>\r\n"), std::string::npos);
        testenv::WriteFile(home.file("bookmark.html"), kBookmarks);
    }
}

TEST(EditorProgramE2E, AFileDeeperThanTheEditorReadsSurvivesOpeningAndClosing)
{
    testenv::ScopedHome home;
    std::string deep = "<HTML>\r\n<UL>\r\n";
    for (int i = 0; i < 5000; ++i)
        deep += std::string(size_t(i % 8), '\t') + "<LI>level<UL>\r\n";
    deep += "<LI><A HREF=\"http://deepest/\">deepest</A>\r\n";
    for (int i = 0; i < 5000; ++i)
        deep += "</UL>\r\n";
    deep += "</UL>\r\n</HTML>\r\n";
    testenv::WriteFile(home.file("bookmark.html"), deep);
    EditorProgram editor(home);
    editor.Start();
    // As the browser closes it.
    ASSERT_TRUE(ipc::SendWindowMessage(ipc::kEditorClass, home.path(), {ipc::WM_USER_BROWSER_CLOSING, 0, {}}));
    ASSERT_TRUE(ipc::SendWindowMessage(ipc::kEditorClass, home.path(), {ipc::WM_CLOSE, 0, {}}));
    EXPECT_TRUE(editor.Process().WaitForExit(kWaitMs));
    EXPECT_EQ(testenv::ReadFile(home.file("bookmark.html")), deep);
}

namespace {

// The editor on a private X server, its file dialogs answered by keys.
class EditorOnScreen : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(m_x.Display().isEmpty());
        testenv::WriteFile(Bookmarks(), kBookmarks);
        CIniFile settings(m_home.file("nbbe.ini"));
        settings.WriteString("Options", "IniDir", Home(m_home));
        settings.WriteString("Options", "LastPath", m_home.file("favorites"));
    }

    std::string Bookmarks() const { return m_home.file("bookmark.html"); }

    // Runs the command and answers its file dialog with `keys`.
    void AnswerDialog(int id, const std::string& keys)
    {
        m_editor.Command(id);
        ASSERT_TRUE(SpinUntil([&] {
            const unsigned dialog = ShownDialog(m_x);
            return dialog && m_x.HasFocus(dialog);
        }, kWaitMs));
        m_x.Type(keys);
        ASSERT_TRUE(SpinUntil([&] { return !ShownDialog(m_x); }, kWaitMs));
    }

    // The tree as the editor saves it.
    std::string Saved()
    {
        m_editor.Command(ID_BK_SAVE);
        std::string file;
        SpinUntil([&] { return (file = testenv::ReadFile(Bookmarks())) != m_lastSaved; }, kWaitMs);
        m_lastSaved = file;
        return file;
    }

    testenv::XServer m_x;
    testenv::ScopedHome m_home;
    EditorProgram m_editor{m_home};
    std::string m_lastSaved = kBookmarks;
};

} // namespace

TEST_F(EditorOnScreen, NetscapeFilesImportInTheirEncodingAndAFailureLeavesTheEditorWorking)
{
    testenv::WriteFile(m_home.file("eucjp.html"), "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=EUC-JP\">\n"
                                                  "<DL><p>\n<DT><A HREF=\"http://euc/\">\xC6\xFC\xCB\xDC</A>\n</DL>\n");
    std::string utf16 = "\xFF\xFE";
    for (QChar c : QStringLiteral("<DL><DT><A HREF=\"http://utf16/\">表示</A></DL>")) {
        utf16 += char(c.unicode() & 0xFF);
        utf16 += char(c.unicode() >> 8);
    }
    testenv::WriteFile(m_home.file("utf16.html"), utf16);
    // 38 MB read byte by byte: the progress window's own timers run meanwhile.
    std::string attributes;
    for (int i = 0; i < (19 << 20); ++i)
        attributes += " a";
    testenv::WriteFile(m_home.file("nolist.html"), "<HTML><P" + attributes + "></P></HTML>\n");
    m_editor.Start(m_x.Display());

    AnswerDialog(ID_BK_ADD_NETSCAPE, "eucjp.html\n");
    EXPECT_NE(Saved().find("<A HREF=\"http://euc/\">日本</A>"), std::string::npos) << m_lastSaved;
    AnswerDialog(ID_BK_ADD_NETSCAPE, "utf16.html\n");
    EXPECT_NE(Saved().find("<A HREF=\"http://utf16/\">表示</A>"), std::string::npos) << m_lastSaved;

    // An unsaved edit, then an import that fails: its message box answers
    // the keyboard, and the editor goes on.
    m_editor.Command(ID_BK_NEW_SEPARATOR);
    AnswerDialog(ID_BK_ADD_NETSCAPE, "nolist.html\n");
    // Typed once the box has the keyboard: shown is not yet focused.
    ASSERT_TRUE(SpinUntil([&] {
        const std::vector<unsigned> boxes = Shown(m_x, kBoxTitle);
        return !boxes.empty() && m_x.HasFocus(boxes.back());
    }, kWaitMs));
    m_x.Type("\n");
    EXPECT_TRUE(SpinUntil([&] { return Shown(m_x, kBoxTitle).empty(); }, kWaitMs));
    m_editor.Command(ID_BK_NEW_FOLDER);
    EXPECT_TRUE(m_editor.Process().Terminate());
    const std::string file = testenv::ReadFile(Bookmarks());
    EXPECT_NE(file.find("\t<HR>\r\n"), std::string::npos) << file;
    EXPECT_NE(file.find("\t<LI>新しいフォルダ<UL>\r\n"), std::string::npos) << file;
}

TEST_F(EditorOnScreen, TitlesWithControlCharactersExportToFavoritesWhole)
{
    const std::string nul(1, '\0');
    testenv::WriteFile(Bookmarks(), "<HTML>\r\n<UL>\r\n"
                                    "\t<LI>nul" + nul + "folder<UL>\r\n"
                                    "\t\t<LI><A HREF=\"http://nul/\">a" + nul + "b</A>\r\n"
                                    "\t</UL>\r\n"
                                    "\t<LI><A HREF=\"http://tab/\">\x01tab\x1F</A>\r\n"
                                    "\t<LI><A HREF=\"http://after/\">after</A>\r\n"
                                    "</UL>\r\n</HTML>\r\n");
    QDir().mkpath(m_home.path() + "/favorites");
    m_editor.Start(m_x.Display());
    AnswerDialog(ID_BK_EXPORT_FAVORITES, "\n");
    const std::string favorites = m_home.file("favorites");
    EXPECT_TRUE(SpinUntil([&] { return QFileInfo::exists(ToQ(favorites + "/after.url")); }, kWaitMs));
    EXPECT_TRUE(QFileInfo::exists(ToQ(favorites + "/nul folder/a b.url")));
    EXPECT_TRUE(QFileInfo::exists(ToQ(favorites + "/ tab .url")));
    EXPECT_TRUE(Shown(m_x, kBoxTitle).empty()) << "a failure was reported";
    EXPECT_TRUE(m_editor.Process().Terminate());
}

namespace {

// The browser in the test process (the tray command as its menu runs it)
// and the editor program on a private X server.
class EditorInTheTray : public testenv::BrowserTest {
protected:
    testenv::XServer m_x;
    EditorProgram m_editor{m_home};
    testenv::HandlerGuard<std::function<bool()>> m_tray{CTaskTray::SetAvailability, [] { return true; }};
};

} // namespace

TEST_F(EditorInTheTray, TheEditorHidesAndComesBackWithTheBrowser)
{
    ASSERT_FALSE(m_x.Display().isEmpty());
    Start();
    m_editor.Start(m_x.Display());
    unsigned window = 0;
    auto shown = [&] { return m_x.IsViewable(window); };
    ASSERT_TRUE(SpinUntil([&] { return (window = m_x.FindWindow(CBkMainFrame::kTitle)) != 0 && shown(); }, kWaitMs));

    m_frame->Router().Execute(ID_TASK_TRAY);
    EXPECT_TRUE(SpinUntil([&] { return !shown(); }, kWaitMs));
    m_frame->Router().Execute(ID_TASK_TRAY);
    EXPECT_TRUE(SpinUntil(shown, kWaitMs));

    // Hidden, it still ends with the browser the normal way.
    m_frame->Router().Execute(ID_TASK_TRAY);
    ASSERT_TRUE(SpinUntil([&] { return !shown(); }, kWaitMs));
    m_editor.Command(ID_BK_NEW_SEPARATOR);
    ASSERT_TRUE(ipc::SendWindowMessage(ipc::kEditorClass, m_home.path(), {ipc::WM_CLOSE, 0, {}}));
    EXPECT_TRUE(m_editor.Process().WaitForExit(kWaitMs));
    EXPECT_NE(testenv::ReadFile(File("bookmark.html")).find("<HR>"), std::string::npos);
}
