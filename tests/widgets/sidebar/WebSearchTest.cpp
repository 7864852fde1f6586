#include "widgets/bookmarks/AddBookmarkDlg.h"
#include "ui/CommandIds.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"
#include "data/sidebar/SearchEngineList.h"
#include "widgets/sidebar/SidebarCommands.h"
#include "widgets/sidebar/WebSearchPane.h"

#include "SidebarFixture.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <sys/stat.h>

using namespace nimbra;
using testenv::ReadFile;
using testenv::SpinUntil;
using testenv::WriteFile;

namespace {

std::string Titles(const CSearchEngineList& list)
{
    std::string out;
    for (const SSearchEngine& engine : list.Engines())
        out += (out.empty() ? "" : ",") + engine.title + (engine.checked ? "+" : "");
    return out;
}

std::string EngineSection(int index, const std::string& title, int enable = 1)
{
    return "[SearchItem" + std::to_string(index) + "]\r\nEnable=" + std::to_string(enable) + "\r\nTitle=" + title +
           "\r\nUrlF=http://" + title + "/?q=\r\nUrlB=&x\r\n";
}

CSearchEngineList Engines(std::vector<std::pair<std::string, bool>> rows)
{
    CSearchEngineList list;
    list.Engines().clear();
    for (auto& [title, checked] : rows)
        list.Engines().push_back({checked, title, "http://" + title + "/?q=", "&n=1"});
    return list;
}

} // namespace

TEST(SearchEngineListTest, LoadsWhatTheFileHoldsWithinBounds)
{
    testenv::TempDir dir;
    const std::string path = dir.file("search.ini");
    struct Case {
        const char* name;
        std::string file; // nullopt-like: "-" for no file
        std::string titles;
        int column;
    };
    const std::string builtin = "goo,Google+,infoseek,LYCOS";
    const Case cases[] = {
        {"no file", "-", builtin, 300},
        {"count -1", "[Options]\nItemCount=-1\n" + EngineSection(0, "a"), builtin, 300},
        {"count abc", "[Options]\nItemCount=abc\n" + EngineSection(0, "a"), builtin, 300},
        {"count 0", "[Options]\nItemCount=0\n" + EngineSection(0, "a"), "", 300},
        {"count -5", "[Options]\nItemCount=-5\n" + EngineSection(0, "a"), "", 300},
        {"gaps, index order, only below the count",
         "[options]\nitemcount=4\n" + EngineSection(3, "d", 0) + EngineSection(0, "a") + EngineSection(2, "c") +
             EngineSection(4, "e") + "[SearchItem01]\nTitle=x\n",
         "a+,c+,d", 300},
        {"huge count, three sections",
         "[Options]\nItemCount=2147483647\n" + EngineSection(5, "f") + EngineSection(1, "b") + EngineSection(9, "j"),
         "b+,f+,j+", 300},
        {"duplicate section: first wins",
         "[Options]\nItemCount=1\n" + EngineSection(0, "first") + EngineSection(0, "second"), "first+", 300},
        {"CP932 title, trimmed", "[Options]\nItemCount=1\n[SearchItem0]\nTitle= \x93\xfa\x96\x7b \n", "日本+", 300},
        {"column 0", "[Options]\nColumnSize=0\n", builtin, 20},
        {"column -7", "[Options]\nColumnSize=-7\n", builtin, 20},
        {"column 10^9", "[Options]\nColumnSize=1000000000\n", builtin, 2000},
        {"column -1", "[Options]\nColumnSize=-1\n", builtin, 300},
        {"binary", std::string("\0\xff\xfe[\x01=\n\x80\x81", 9), builtin, 300},
        {"one 50 MB line", std::string(50 << 20, 'x'), builtin, 300},
    };
    for (const Case& c : cases) {
        std::remove(path.c_str());
        if (c.file != "-")
            WriteFile(path, c.file);
        CSearchEngineList list;
        list.Load(path);
        EXPECT_EQ(Titles(list), c.titles) << c.name;
        EXPECT_EQ(list.ColumnSize(), c.column) << c.name;
        EXPECT_FALSE(list.Unreadable()) << c.name;
    }
}

TEST(SearchEngineListTest, SavesTheLayoutWholeAndRoundTripsByteForByte)
{
    testenv::TempDir dir;
    const std::string path = dir.file("search.ini");
    const std::string file = "[Options]\r\nItemCount=2\r\nEnable=0\r\nColumnSize=250\r\n" + EngineSection(0, "a", 0) +
                             EngineSection(1, "日本");
    WriteFile(path, file);
    CSearchEngineList list;
    list.Load(path);
    ASSERT_TRUE(list.Save(path, CSearchEngineList::ESave::Auto));
    EXPECT_EQ(ReadFile(path), file);

    // Line breaks never reach the file: no line or section is added.
    list.SetTexts(1, "x\r\n[Options]", "http://h/?q=\n", "\r&b");
    EXPECT_EQ(list.Serialize(),
              "[Options]\r\nItemCount=2\r\nEnable=0\r\nColumnSize=250\r\n" + EngineSection(0, "a", 0) +
                  "[SearchItem1]\r\nEnable=1\r\nTitle=x  [Options]\r\nUrlF=http://h/?q= \r\nUrlB= &b\r\n");
}

TEST(SearchEngineListTest, AFileThatCannotBeReadIsWrittenOnlyByTheCommand)
{
    testenv::TempDir dir;
    const std::string path = dir.file("search.ini");
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    CSearchEngineList list;
    list.Load(path);
    EXPECT_TRUE(list.Unreadable());
    EXPECT_EQ(Titles(list), "goo,Google+,infoseek,LYCOS");
    EXPECT_FALSE(list.Save(path, CSearchEngineList::ESave::Auto));
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_TRUE(list.Save(path, CSearchEngineList::ESave::Command));
    EXPECT_FALSE(list.Unreadable());
    EXPECT_EQ(ReadFile(path), list.Serialize());
}

TEST(SearchEngineListTest, SearchOpensCheckedRowsInOrderWithTheTextEncoded)
{
    CSearchEngineList list = Engines({{"a", true}, {"b", false}, {"c", true}});
    EXPECT_EQ(list.SearchUrls("x y"), (std::vector<std::string>{"http://a/?q=x%20y&n=1", "http://c/?q=x%20y&n=1"}));
    EXPECT_TRUE(list.SearchUrls("").empty());
    EXPECT_TRUE(Engines({}).SearchUrls("x").empty());
    EXPECT_EQ(EncodeSearchText("AT&T 日本"), "AT%26T%20%E6%97%A5%E6%9C%AC");
    EXPECT_EQ(EncodeSearchText("C# C++ 100% a-z.A_Z~09/?="), "C%23%20C%2B%2B%20100%25%20a-z.A_Z~09%2F%3F%3D");
}

TEST(SearchEngineListTest, EditingOperations)
{
    CSearchEngineList list = Engines({{"a", true}, {"B", false}, {"c", true}});
    EXPECT_EQ(list.Move(0, -1), 0);
    EXPECT_EQ(list.Move(2, 1), 2);
    EXPECT_EQ(list.Move(0, 1), 1);
    EXPECT_EQ(Titles(list), "B,a+,c+");
    CSearchEngineList single = Engines({{"s", true}});
    EXPECT_EQ(single.Move(0, 1), 0);
    EXPECT_EQ(single.Move(0, -1), 0);

    list.SortByTitle(true);
    EXPECT_EQ(Titles(list), "a+,B,c+");
    list.SortByTitle(false);
    EXPECT_EQ(Titles(list), "c+,B,a+");

    list.InvertChecks();
    EXPECT_EQ(Titles(list), "c,B+,a");
    list.CheckAll();
    EXPECT_EQ(Titles(list), "c+,B+,a+");
    list.CheckOnly(2);
    EXPECT_EQ(Titles(list), "c,B,a+");
    list.CheckOnly(-1);
    EXPECT_EQ(Titles(list), "c,B,a");

    EXPECT_EQ(list.Remove(-1), 0);
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Remove(2), 1);
    EXPECT_EQ(Engines({{"s", true}}).Remove(0), -1);

    struct AddCase {
        std::string clipboard;
        std::string front;
    };
    const AddCase adds[] = {
        {"plain words", "http://"},
        {"  http://h/?q=\r\n", "http://h/?q="},
        {"see https://h/?q=", "see https://h/?q="},
        {"a\nhttp://h/\nb", "a http://h/ b"},
        {std::string(10 << 20, 'z') + "http://", "http://"},
        {"http://" + std::string(10 << 20, 'z'), "http://" + std::string(2041, 'z')},
    };
    for (const AddCase& add : adds) {
        const int row = list.Add(add.clipboard);
        const SSearchEngine& engine = list.Engines()[size_t(row)];
        EXPECT_EQ(engine.front, add.front) << add.clipboard.substr(0, 20);
        EXPECT_EQ(engine.title, "新しいサーチエンジン");
        EXPECT_TRUE(engine.checked && engine.back.empty());
    }
}

namespace {

class WebSearchTest : public testenv::SidebarTest {
protected:
    void SetUp() override
    {
        SidebarTest::SetUp();
        WriteFile(File("search.ini"), "[Options]\r\nItemCount=3\r\n" + EngineSection(0, "a") +
                                          EngineSection(1, "b", 0) + EngineSection(2, "c"));
        StartWithTab();
        m_frame->ExecuteCommand(ID_NB_WEB_SEARCH);
        ASSERT_NE(Pane(), nullptr);
    }
    CWebSearchPane* Pane() const { return WebSearchPaneOf(*m_frame); }
    // The open pages, sorted.
    std::vector<std::string> Urls() const
    {
        std::vector<std::string> urls;
        for (CNimbraView* view : m_frame->Views())
            urls.push_back(view->GetLocationURL());
        std::sort(urls.begin(), urls.end());
        return urls;
    }
    bool WaitForUrls(const std::vector<std::string>& urls) const
    {
        return SpinUntil([&] { return Urls() == urls; }, 5000);
    }
    QString Checks() const
    {
        QString out;
        for (int i = 0; i < Pane()->List()->topLevelItemCount(); ++i)
            out += Pane()->List()->topLevelItem(i)->checkState(0) == Qt::Checked ? u'x' : u'-';
        return out;
    }
};

} // namespace

TEST_F(WebSearchTest, FormSearchesCheckedEnginesInNewTabsAndKeepsItsTexts)
{
    CWebSearchForm* form = Pane()->Form();
    EXPECT_FALSE(form->SearchButton()->isEnabled());
    form->TextCombo()->setEditText("AT&T");
    EXPECT_TRUE(form->SearchButton()->isEnabled());
    QTest::keyClick(form->TextCombo(), Qt::Key_Return);
    EXPECT_TRUE(WaitForUrls({"http://a/?q=AT%26T&x", "http://c/?q=AT%26T&x", "http://start/"}));
    form->Search();
    form->TextCombo()->setEditText("n");
    form->Search();
    EXPECT_EQ(form->Texts(), (QStringList{"n", "AT&T"}));
    Pane()->SelectRow(-1);
    Pane()->RunCommand(CWebSearchPane::ID_ENGINE_CHECK_ONLY);
    for (int i = 0; i < 120; ++i) {
        form->TextCombo()->setEditText(QString::number(i));
        form->Search();
    }
    EXPECT_EQ(form->Texts().size(), CWebSearchForm::kMaxTexts);
    EXPECT_EQ(form->Texts().front(), "119");
    EXPECT_EQ(form->Texts().back(), "20");
    form->TextCombo()->setEditText("");
    EXPECT_FALSE(form->SearchButton()->isEnabled());
    QTest::keyClick(form->TextCombo(), Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_TRUE(Pane()->List()->hasFocus());
}

TEST_F(WebSearchTest, EnterSearchesTheTypedTextNotAnEarlierOne)
{
    Pane()->SelectRow(0);
    Pane()->RunCommand(CWebSearchPane::ID_ENGINE_CHECK_ONLY);
    QLineEdit* edit = Pane()->Form()->TextCombo()->lineEdit();
    for (const char* text : {"wombat hat", "wombat"}) {
        edit->clear();
        QTest::keyClicks(edit, QString::fromUtf8(text));
        QTest::keyClick(edit, Qt::Key_Return);
    }
    EXPECT_TRUE(WaitForUrls({"http://a/?q=wombat%20hat&x", "http://a/?q=wombat&x", "http://start/"}));
    // The quick search's box as well.
    QApplication::clipboard()->setText("");
    testenv::HandlerGuard driver(SetWebSearchDialogDriver, [&](QDialog& dialog) {
        QLineEdit* text = static_cast<CFindWebDlg&>(dialog).TextCombo()->lineEdit();
        dialog.show();
        text->clear();
        QTest::keyClicks(text, "womb");
        EXPECT_EQ(text->text(), "womb");
        return int(QDialog::Rejected);
    });
    m_frame->ExecuteCommand(ID_FIND_WEB);
}

TEST_F(WebSearchTest, QuickSearchTakesTheClipboardAtOnceOrThroughTheDialog)
{
    Pane()->Form()->TextCombo()->addItem("earlier");
    struct Case {
        QString clipboard;
        int findWebDlg;
        bool dialog;
        QString typed; // what OK sends; empty: cancel
        std::vector<std::string> urls;
    };
    const std::vector<std::string> w1{"http://a/?q=w1&x", "http://c/?q=w1&x", "http://start/"};
    const std::vector<std::string> w3{"http://a/?q=w1&x", "http://a/?q=w3&x", "http://c/?q=w1&x", "http://c/?q=w3&x",
                                      "http://start/"};
    const Case cases[] = {
        {"  w1 \n", 0, false, "", w1},
        {"w2", 1, true, "w3", w3},
        {"", 0, true, "", w3},
    };
    for (const Case& c : cases) {
        QApplication::clipboard()->setText(c.clipboard);
        m_frame->FrameSettings().FindWebDlg = c.findWebDlg;
        QString offered;
        QStringList texts;
        bool shown = false;
        testenv::HandlerGuard driver(SetWebSearchDialogDriver, [&](QDialog& dialog) {
            auto* find = qobject_cast<CFindWebDlg*>(&dialog);
            shown = find != nullptr;
            if (!find)
                return int(QDialog::Rejected);
            EXPECT_EQ(find->windowTitle(), "Web検索ワード");
            offered = find->TextCombo()->currentText();
            for (int i = 0; i < find->TextCombo()->count(); ++i)
                texts << find->TextCombo()->itemText(i);
            find->TextCombo()->setEditText(c.typed);
            return int(c.typed.isEmpty() ? QDialog::Rejected : QDialog::Accepted);
        });
        m_frame->ExecuteCommand(ID_FIND_WEB);
        EXPECT_EQ(shown, c.dialog) << FromQ(c.clipboard);
        if (c.dialog) {
            EXPECT_EQ(offered, c.clipboard.trimmed());
            EXPECT_EQ(texts, QStringList{"earlier"});
        }
        EXPECT_TRUE(WaitForUrls(c.urls)) << FromQ(c.clipboard);
    }
}

TEST_F(WebSearchTest, ListKeysAndClicksActOnTheListOnly)
{
    CSearchEngineListCtrl* list = Pane()->List();
    m_frame->ExecuteCommand(ID_NB_FOCUS);
    ASSERT_TRUE(list->hasFocus());
    // The frame's Ctrl+D (add bookmark) may write the page into the
    // bookmark file; it must not ask anything.
    int bookmarkAdds = 0;
    QObject::connect(m_frame->Router().Action(ID_BOOKMARK_ADD), &QAction::triggered, [&] { ++bookmarkAdds; });
    testenv::HandlerGuard bookmarks(SetBookmarkDialogDriver, [](QDialog&) { return int(QDialog::Rejected); });
    testenv::HandlerGuard messages(SetMessageHandler, [](const QString&) {});
    QStringList edited;
    testenv::HandlerGuard driver(SetWebSearchDialogDriver, [&](QDialog& dialog) {
        auto* edit = qobject_cast<CSearchEngineDlg*>(&dialog);
        EXPECT_NE(edit, nullptr);
        if (!edit)
            return int(QDialog::Rejected);
        edited << edit->TitleEdit()->text();
        edit->TitleEdit()->setText("edited\nline");
        return int(QDialog::Accepted);
    });

    Pane()->SelectRow(1);
    QTest::keyClick(list, Qt::Key_D, Qt::ControlModifier);
    EXPECT_EQ(edited, QStringList{"b"});
    EXPECT_EQ(bookmarkAdds, 0);
    EXPECT_EQ(list->topLevelItem(1)->text(0), "edited line");
    QTest::keyClick(Pane()->Form()->SettingsButton(), Qt::Key_D, Qt::ControlModifier);
    EXPECT_EQ(bookmarkAdds, 1);
    EXPECT_EQ(edited.size(), 1);

    list->setFocus();
    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers mods;
        QString checks;
        int selected;
    } steps[] = {
        {Qt::Key_Return, Qt::NoModifier, "xxx", 1},  {Qt::Key_Z, Qt::ControlModifier, "-x-", 1},
        {Qt::Key_X, Qt::ControlModifier, "x-x", 1},  {Qt::Key_A, Qt::ControlModifier, "xxx", 1},
        {Qt::Key_Up, Qt::ControlModifier, "xxx", 0}, {Qt::Key_Up, Qt::ControlModifier, "xxx", 0},
        {Qt::Key_Insert, Qt::NoModifier, "xxxx", 3}, {Qt::Key_Delete, Qt::NoModifier, "xxx", 2},
    };
    for (const auto& step : steps) {
        QTest::keyClick(list, step.key, step.mods);
        EXPECT_EQ(Checks(), step.checks) << step.key;
        EXPECT_EQ(Pane()->SelectedRow(), step.selected) << step.key;
    }
    EXPECT_EQ(Pane()->Engines().Engines()[0].title, "edited line");

    // Shift+click checks only the row; double click edits it.
    QTreeWidgetItem* first = list->topLevelItem(0);
    const QPoint at = list->visualItemRect(first).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ShiftModifier, at);
    EXPECT_EQ(Checks(), "x--");
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    EXPECT_EQ(edited.size(), 2);

    // Sorting, and a move clears the sort mark.
    list->header()->sectionClicked(0);
    EXPECT_TRUE(list->header()->isSortIndicatorShown());
    EXPECT_EQ(list->header()->sortIndicatorOrder(), Qt::AscendingOrder);
    list->header()->sectionClicked(0);
    EXPECT_EQ(list->header()->sortIndicatorOrder(), Qt::DescendingOrder);
    EXPECT_EQ(list->topLevelItem(0)->text(0), "edited line");
    Pane()->SelectRow(0);
    Pane()->RunCommand(CWebSearchPane::ID_ENGINE_DOWN);
    EXPECT_FALSE(list->header()->isSortIndicatorShown());

    QTest::keyClick(list, Qt::Key_Backtab, Qt::ShiftModifier);
    QComboBox* text = Pane()->Form()->TextCombo();
    EXPECT_TRUE(QApplication::focusWidget() == text || QApplication::focusWidget() == text->lineEdit());
}

TEST_F(WebSearchTest, MenusShowRowItemsOnlyOnARow)
{
    auto ids = [](QMenu* menu) {
        std::vector<int> out;
        for (QAction* action : menu->actions())
            out.push_back(action->isSeparator() ? 0 : action->data().toInt());
        delete menu;
        return out;
    };
    EXPECT_EQ(ids(Pane()->CreateMenu(true)),
              (std::vector<int>{3006, 3008, 0, 3011, 3012, 0, 3007, 0, 3015, 3014, 3013, 0, 3009}));
    EXPECT_EQ(ids(Pane()->CreateMenu(false)), (std::vector<int>{3007, 0, 3015, 3014, 3013, 0, 3009}));
}

TEST_F(WebSearchTest, ChangesAreSavedAfterAPauseAndAtExit)
{
    const std::string path = File("search.ini");
    const std::string before = ReadFile(path);
    Pane()->List()->topLevelItem(1)->setCheckState(0, Qt::Checked);
    EXPECT_TRUE(Pane()->SavePending());
    EXPECT_EQ(ReadFile(path), before);
    ASSERT_TRUE(SpinUntil([&] { return !Pane()->SavePending(); }, CWebSearchPane::kSaveDelayMs + 3000));
    EXPECT_NE(ReadFile(path).find("[SearchItem1]\r\nEnable=1\r\n"), std::string::npos);

    Pane()->List()->header()->resizeSection(0, 123);
    Restart([&] { EXPECT_NE(ReadFile(path).find("ColumnSize=123\r\n"), std::string::npos); });
    EXPECT_EQ(Pane()->List()->header()->sectionSize(0), 123);
    EXPECT_EQ(Checks(), "xxx");
}
