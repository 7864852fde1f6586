// The browser and the bookmark editor as two programs on one bookmark file,
// on an X server of the test's own: the browser worked by key presses, the
// editor by posted menu commands, each holding a dialog open while the other
// changes the file.
#include "ui/EditorIds.h"
#include "platform/Ipc.h"

#include "BrowserProcess.h"
#include "HttpServer.h"
#include "TestEnv.h"
#include "XServer.h"

#include <QProcess>
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <cstdlib>

using namespace nimbra;
using namespace nimbra::editor;
using testenv::SpinUntil;

namespace {

constexpr int kWaitMs = 60000;
constexpr unsigned kKeyD = 0x64;
constexpr unsigned kReturn = 0xff0d;
constexpr unsigned kEscape = 0xff1b;
constexpr char kPageTitle[] = "Shared Page";
constexpr char kAddDialogTitle[] = "追加するフォルダの指定";
constexpr char kFolderLine[] = "\t<LI>新しいフォルダ<UL>\r\n";
constexpr char kSeparatorLine[] = "\t<HR>\r\n";

int Count(const std::string& text, const std::string& part)
{
    int count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

class SharedBookmarkFileE2E : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(m_x.Display().isEmpty());
        m_server.AddHtml("/page", kPageTitle);
        m_browser.SetEnv("QT_QPA_PLATFORM", "xcb");
        m_browser.SetEnv("DISPLAY", m_x.Display());
        m_client = m_x.OpenClient();
        const char name[] = "_NET_WM_NAME";
        xcb_intern_atom_reply_t* atom =
            xcb_intern_atom_reply(m_client, xcb_intern_atom(m_client, 0, sizeof name - 1, name), nullptr);
        ASSERT_NE(atom, nullptr);
        m_netWmName = atom->atom;
        std::free(atom);
    }
    void TearDown() override
    {
        if (m_editor.state() != QProcess::NotRunning) {
            m_editor.kill();
            m_editor.waitForFinished(10000);
        }
    }

    QString Dir() const { return m_home.path(); }
    std::string File() const { return testenv::ReadFile(Dir().toStdString() + "/bookmark.html"); }
    std::string LinkLine() const
    {
        return "\t<LI><A HREF=\"" + m_server.Url("/page").toStdString() + "\">" + kPageTitle + "</A>\r\n";
    }

    // The shown top-level window whose title (in UTF-8, as _NET_WM_NAME
    // has it) holds `title`; 0 when there is none.
    unsigned FindShown(const std::string& title)
    {
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(m_client)).data->root;
        xcb_query_tree_reply_t* tree = xcb_query_tree_reply(m_client, xcb_query_tree(m_client, root), nullptr);
        if (!tree)
            return 0;
        unsigned found = 0;
        const xcb_window_t* children = xcb_query_tree_children(tree);
        for (int i = 0; i < xcb_query_tree_children_length(tree) && !found; ++i) {
            xcb_get_property_reply_t* name = xcb_get_property_reply(
                m_client, xcb_get_property(m_client, 0, children[i], m_netWmName, XCB_GET_PROPERTY_TYPE_ANY, 0, 1024),
                nullptr);
            if (name && std::string(static_cast<const char*>(xcb_get_property_value(name)),
                                    size_t(xcb_get_property_value_length(name)))
                                .find(title) != std::string::npos &&
                m_x.IsViewable(children[i]))
                found = children[i];
            std::free(name);
        }
        std::free(tree);
        return found;
    }

    // The window of `title`, once it is shown.
    unsigned Window(const std::string& title)
    {
        unsigned window = 0;
        SpinUntil([&] { return (window = FindShown(title)) != 0; }, kWaitMs);
        return window;
    }

    // Key presses into `window`, as a person who clicked it would type.
    void Keys(unsigned window, std::initializer_list<unsigned> keys)
    {
        xcb_set_input_focus(m_client, XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME);
        std::free(xcb_get_input_focus_reply(m_client, xcb_get_input_focus(m_client), nullptr));
        m_x.PressKeys(keys);
    }

    // The browser on the page, then the editor on the file the browser made.
    void StartBoth()
    {
        m_browser.Start({m_server.Url("/page")});
        m_window = Window(kPageTitle);
        ASSERT_NE(m_window, 0u);
        ASSERT_NE(File().find("</HTML>"), std::string::npos);

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("NIMBRA_HOME", Dir());
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("DISPLAY", m_x.Display());
        m_editor.setProcessEnvironment(env);
        m_editor.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_editor.setStandardOutputFile(QProcess::nullDevice());
        m_editor.start(qEnvironmentVariable("NIMBRA_BIN_DIR") + "/nbbe", {});
        ASSERT_TRUE(m_editor.waitForStarted(10000));
        ASSERT_TRUE(SpinUntil([&] { return ipc::FindWindow(ipc::kEditorClass, Dir()); }, kWaitMs));
    }

    // Ctrl+D in the browser: its add dialog, held open.
    unsigned OpenAddDialog()
    {
        Keys(m_window, {testenv::xk::kControlL, kKeyD});
        return Window(kAddDialogTitle);
    }

    // OK in the add dialog; returns once the browser has added the page and
    // told the editor. (Its answer to a sent message waits for that: the
    // dialog is gone, and the browser tells the editor before it reads
    // messages again.)
    void AddWithDialog(unsigned dialog)
    {
        Keys(dialog, {kReturn});
        ASSERT_TRUE(SpinUntil([&] { return FindShown(kAddDialogTitle) == 0; }, kWaitMs));
        ASSERT_TRUE(ipc::SendWindowMessage(ipc::kBrowserClass, Dir(), {0, 0, {}}));
    }

    // A menu command of the editor, handled once a sent message after it is answered.
    void Command(int id)
    {
        ASSERT_TRUE(ipc::PostWindowMessage(ipc::kEditorClass, Dir(), {WM_COMMAND, quint64(id), {}}));
        ASSERT_TRUE(ipc::SendWindowMessage(ipc::kEditorClass, Dir(), {0, 0, {}}));
    }

    // Closing saves the editor's tree.
    void CloseEditor()
    {
        ASSERT_TRUE(ipc::SendWindowMessage(ipc::kEditorClass, Dir(), {ipc::WM_CLOSE, 0, {}}));
        ASSERT_TRUE(SpinUntil([&] { return m_editor.state() == QProcess::NotRunning; }, kWaitMs));
        EXPECT_EQ(m_editor.exitCode(), 0);
    }

    testenv::XServer m_x;
    testenv::HttpServer m_server;
    testenv::TempDir m_home;
    testenv::Browser m_browser{m_home.path()};
    QProcess m_editor;
    xcb_connection_t* m_client = nullptr;
    xcb_atom_t m_netWmName = XCB_NONE;
    unsigned m_window = 0;
};

} // namespace

TEST_F(SharedBookmarkFileE2E, AnAddOkedAfterTheEditorSavedGoesIntoTheFileAsItIsThen)
{
    StartBoth();
    const unsigned dialog = OpenAddDialog();
    ASSERT_NE(dialog, 0u);

    // While the dialog is open the editor saves a folder, then edits on.
    Command(ID_BK_NEW_FOLDER);
    Command(ID_BK_SAVE);
    ASSERT_EQ(Count(File(), kFolderLine), 1) << File();
    Command(ID_BK_NEW_SEPARATOR);

    AddWithDialog(dialog);
    EXPECT_EQ(Count(File(), LinkLine()), 1) << File();
    EXPECT_EQ(Count(File(), kFolderLine), 1) << File();

    // The editor kept its own work and took the page, each once.
    CloseEditor();
    const std::string file = File();
    EXPECT_EQ(Count(file, kFolderLine), 1) << file;
    EXPECT_EQ(Count(file, kSeparatorLine), 1) << file;
    EXPECT_EQ(Count(file, LinkLine()), 1) << file;
}

TEST_F(SharedBookmarkFileE2E, AnAddWhileTheEditorHoldsADialogIsKeptByTheEditorsSave)
{
    StartBoth();
    // An unsaved folder, and the editor's find dialog held open.
    Command(ID_BK_NEW_FOLDER);
    Command(ID_BK_FIND);
    const unsigned find = Window("ブックマークの検索");
    ASSERT_NE(find, 0u);

    const unsigned dialog = OpenAddDialog();
    ASSERT_NE(dialog, 0u);
    AddWithDialog(dialog);
    ASSERT_EQ(Count(File(), LinkLine()), 1) << File();

    Keys(find, {kEscape});
    ASSERT_TRUE(SpinUntil([&] { return FindShown("ブックマークの検索") == 0; }, kWaitMs));
    Command(ID_BK_SAVE);
    const std::string file = File();
    EXPECT_EQ(Count(file, kFolderLine), 1) << file;
    EXPECT_EQ(Count(file, LinkLine()), 1) << file;
    CloseEditor();
    EXPECT_EQ(File(), file);
}
