#include "data/settings/Settings.h"
#include "widgets/bars/FlatToolBar.h"
#include "widgets/bars/ToolBarCustomizeDlg.h"
#include "widgets/bars/ToolBarImages.h"
#include "ui/CommandIds.h"
#include "platform/Paths.h"
#include "platform/Text.h"

#include "TestBrowser.h"

#include <QDir>
#include <QImage>
#include <QListWidget>
#include <QMenu>
#include <QStandardPaths>
#include <QStyleOptionToolButton>
#include <QTest>
#include <QToolButton>
#include <functional>

using namespace nimbra;

namespace {

// A [ToolBar] section as the file holds it.
std::string ToolBarSection(int count, const std::vector<std::pair<int, int>>& entries)
{
    std::string text = "[ToolBar]\r\n";
    if (count != -99)
        text += "Button.Count=" + std::to_string(count) + "\r\n";
    for (const auto& [index, id] : entries)
        text += "Tool.Button" + std::to_string(index) + "=" + std::to_string(id) + "\r\n";
    return text;
}

std::vector<QString> MenuTexts(const QMenu* menu)
{
    std::vector<QString> texts;
    for (const QAction* action : menu->actions())
        texts.push_back(action->isSeparator() ? QStringLiteral("-") : action->text());
    return texts;
}

class ToolBarTest : public testenv::BrowserTest {
protected:
    CFlatToolBar* Bar() const { return FlatToolBarOf(*m_frame); }
    std::vector<int> Saved() const { return ReadToolLayout(m_app->Settings()); }
};

} // namespace

TEST(ToolBarLayout, ReadsTheSavedSection)
{
    testenv::TempDir dir;
    const std::string path = dir.file("nimbrab.ini");
    std::vector<std::pair<int, int>> many;
    for (int i = 0; i < 1500; ++i)
        many.emplace_back(i, i % 2 ? ID_BACK : kToolSeparator);
    const struct {
        const char* name;
        std::string file;
        std::vector<int> expected; // {0} stands for the table order
    } cases[] = {
        {"no count", ToolBarSection(-99, {{0, ID_HOME}}), {0}},
        {"a separator, an id not in the table", ToolBarSection(3, {{0, ID_BACK}, {1, -1}, {2, 12345}}), {ID_BACK, -1}},
        {"count 0", ToolBarSection(0, {{0, ID_HOME}}), {}},
        {"count -5", ToolBarSection(-5, {{0, ID_HOME}}), {0}},
        {"missing entries", ToolBarSection(4, {{1, ID_FORWARD}, {3, ID_STOP}, {4, ID_HOME}}), {ID_FORWARD, ID_STOP}},
        {"above 1000", ToolBarSection(2000000, many), {}},
    };
    for (const auto& c : cases) {
        testenv::WriteFile(path, c.file);
        const std::vector<int> layout = ReadToolLayout(CSettings(path));
        if (std::string(c.name) == "above 1000") {
            ASSERT_EQ(layout.size(), size_t(kMaxToolPositions)) << c.name;
            EXPECT_EQ(layout[1], ID_BACK);
        } else {
            EXPECT_EQ(layout, c.expected == std::vector<int>{0} ? DefaultToolLayout() : c.expected) << c.name;
        }
    }

    // What is written reads back; the table has 43 buttons and 9 separators.
    CSettings settings(path);
    const std::vector<int> layout = {ID_HOME, -1, ID_SECURITY_LEVEL};
    WriteToolLayout(settings, layout);
    EXPECT_EQ(ReadToolLayout(settings), layout);
    const std::vector<int> table = DefaultToolLayout();
    EXPECT_EQ(std::count(table.begin(), table.end(), kToolSeparator), 9);
    EXPECT_EQ(ToolBarTable().size(), 52u);
}

TEST(ToolBarImagesTest, StripsGiveWhatTheyHoldAndTheRestIsBuiltIn)
{
    testenv::ScopedHome home;
    const QString res = home.path() + QStringLiteral("/res");
    QDir().mkpath(res);
    auto strip = [&](const char* name, int cells, int height) {
        QImage image(cells * 16, height, QImage::Format_RGB32);
        image.fill(QColor(255, 0, 255));
        image.setPixelColor(3, 3, Qt::blue);
        image.save(res + '/' + QString::fromLatin1(name), "BMP");
    };
    const struct {
        const char* name;
        std::function<void()> make;
        int fromFile; // images taken from the hot strip
    } cases[] = {
        {"none", [] {}, 0},
        {"short hot strip", [&] { strip("tbs.bmp", 3, 16); }, 3},
        {"wrong height", [&] { strip("tbs.bmp", 43, 20); }, 0},
        {"corrupt", [&] { testenv::WriteFile(FromQ(res + "/tbs.bmp"), "BM\x10garbage"); }, 0},
        {"normal strip alone", [&] { strip("tbsn.bmp", 43, 16); }, 0},
    };
    for (const auto& c : cases) {
        QDir(res).removeRecursively();
        QDir().mkpath(res);
        c.make();
        const CToolBarImages images(false);
        for (int i = 0; i < CToolBarImages::kImageCount; ++i) {
            EXPECT_EQ(images.FromFile(i), i < c.fromFile) << c.name << " " << i;
        }
        if (c.fromFile > 0) {
            EXPECT_EQ(images.Icon(0).pixmap(16, QIcon::Normal).toImage().pixelColor(0, 0).alpha(), 0) << "magenta";
        }
    }
    EXPECT_EQ(CToolBarImages(true).Size(), 20);
}

TEST_F(ToolBarTest, ButtonsOverflowAndTheirList)
{
    Start();
    CFlatToolBar* bar = Bar();
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->Layout(), DefaultToolLayout());
    // Tooltips: the prompt's second line, else the table text; the
    // session-cookie button carries the menu's name.
    EXPECT_EQ(bar->FindButton(ID_PROXY_BUTTON)->TipText(), QStringLiteral("プロキシの設定"));
    EXPECT_EQ(bar->FindButton(ID_BACK)->TipText(), QStringLiteral("戻る"));
    EXPECT_EQ(bar->FindButton(ID_SESSION_COOKIES)->TipText(), QStringLiteral("セッションごとのクッキー"));

    // A bar of its own, so no container lays it out again.
    CFlatToolBar own(m_frame->Router(), m_app->Settings(), false,
                     {ID_BACK, -1, ID_FORWARD, ID_STOP, -1, ID_HOME, ID_SESSION_COOKIES}, nullptr);
    own.show();
    own.resize(own.sizeHint());
    QApplication::processEvents();
    EXPECT_TRUE(own.HiddenPositions().empty());
    EXPECT_FALSE(own.OverflowButton()->isVisible());

    // Cut inside the stop button: its centre lies outside.
    const QRect stop = own.FindButton(ID_STOP)->geometry();
    own.resize(stop.center().x() - 1, own.height());
    QApplication::processEvents();
    EXPECT_EQ(own.HiddenPositions(), (std::vector<int>{3, 4, 5, 6}));
    EXPECT_TRUE(own.OverflowButton()->isVisible());
    EXPECT_EQ(own.OverflowButton()->geometry(), QRect(own.width() - 11, 2, 13, own.height() - 2));
    std::unique_ptr<QMenu> menu(own.CreateOverflowMenu(nullptr));
    EXPECT_EQ(MenuTexts(menu.get()), (std::vector<QString>{QStringLiteral("中止"), QStringLiteral("-"),
                                                            QStringLiteral("ホーム"),
                                                            QStringLiteral("セッションごとのクッキー")}));
    // An item runs its command.
    const int tabs = m_frame->TabCount();
    own.SetLayout({ID_BACK, ID_FILE_NEW});
    own.resize(1, own.height());
    menu.reset(own.CreateOverflowMenu(nullptr));
    menu->actions().back()->trigger();
    EXPECT_EQ(m_frame->TabCount(), tabs + 1);

    // Nothing but a hidden separator: no overflow button.
    own.SetLayout({ID_BACK, -1});
    own.resize(own.FindButton(ID_BACK)->width(), own.height());
    QApplication::processEvents();
    EXPECT_FALSE(own.OverflowButton()->isVisible());
    own.SetLayout({});
    EXPECT_EQ(own.sizeHint().width(), 0);
}

TEST_F(ToolBarTest, CustomisingKeepsDropDownsAndSavesAtTheEnd)
{
    Start();
    CFlatToolBar* bar = Bar();
    bar->SetLayout({ID_HOME, ID_BACK});
    bar->SaveLayout();
    auto dropDowns = [bar] {
        std::vector<int> ids;
        for (size_t i = 0; i < bar->Layout().size(); ++i) {
            if (CToolBarButton* button = bar->ButtonAt(int(i)); button && button->HasDropDown())
                ids.push_back(button->Id());
        }
        return ids;
    };
    ASSERT_TRUE(m_frame->ExecuteCommand(ID_VIEW_CUSTOMIZE));
    auto* dialog = bar->findChild<CToolBarCustomizeDlg*>();
    ASSERT_NE(dialog, nullptr);
    // The separator first, then the table's buttons not on the bar.
    EXPECT_EQ(dialog->Available()->item(0)->text(), QStringLiteral("区切り"));
    EXPECT_EQ(dialog->Available()->count(), 1 + 43 - 2);

    auto addById = [dialog](int id) {
        for (int row = 0; row < dialog->Available()->count(); ++row) {
            if (dialog->Available()->item(row)->data(Qt::UserRole).toInt() == id)
                dialog->Available()->setCurrentRow(row);
        }
        dialog->Add();
    };
    dialog->Current()->setCurrentRow(1);
    for (int id : {int(ID_FORWARD), int(ID_FILE_NEW), int(ID_SECURITY_LEVEL), kToolSeparator, int(ID_STOP)})
        addById(id);
    EXPECT_EQ(bar->Layout(), (std::vector<int>{ID_HOME, ID_BACK, ID_FORWARD, ID_FILE_NEW, ID_SECURITY_LEVEL, -1, ID_STOP}));
    dialog->Current()->setCurrentRow(1);
    dialog->MoveDown();
    dialog->Current()->setCurrentRow(0);
    dialog->Remove();
    dialog->Current()->setCurrentRow(0);
    dialog->MoveUp(); // nothing above the first
    EXPECT_EQ(bar->Layout(), (std::vector<int>{ID_FORWARD, ID_BACK, ID_FILE_NEW, ID_SECURITY_LEVEL, -1, ID_STOP}));
    EXPECT_EQ(dropDowns(), (std::vector<int>{ID_FORWARD, ID_BACK, ID_FILE_NEW, ID_SECURITY_LEVEL}));
    EXPECT_EQ(dialog->Current()->count(), 6);

    // Reset goes back to the saved layout; closing saves what is shown.
    dialog->Reset();
    EXPECT_EQ(bar->Layout(), (std::vector<int>{ID_HOME, ID_BACK}));
    EXPECT_EQ(dropDowns(), std::vector<int>{ID_BACK});
    dialog->Current()->setCurrentRow(-1);
    addById(ID_FORWARD);
    dialog->accept();
    EXPECT_EQ(Saved(), (std::vector<int>{ID_HOME, ID_BACK, ID_FORWARD}));
}

TEST_F(ToolBarTest, DropDownMenus)
{
    Start();
    const QRect at(100, 100, 20, 20);
    // Without a tab there is no history to list.
    EXPECT_EQ(ShowToolBarDropDown(*m_frame, ID_BACK, at), nullptr);
    QMenu* newTab = ShowToolBarDropDown(*m_frame, ID_FILE_NEW, at);
    ASSERT_NE(newTab, nullptr);
    EXPECT_EQ(MenuTexts(newTab), (std::vector<QString>{QStringLiteral("ホーム ページ(&H)"), QStringLiteral("空白ページ(&B)")}));
    const int tabs = m_frame->TabCount();
    newTab->actions().back()->trigger();
    EXPECT_EQ(m_frame->TabCount(), tabs + 1);
    newTab->close();
    QMenu* levels = ShowToolBarDropDown(*m_frame, ID_SECURITY_LEVEL, at);
    ASSERT_EQ(levels, m_frame->SecurityLevelMenu());
    EXPECT_EQ(levels->actions().size(), 5);
    levels->close();
}

TEST_F(ToolBarTest, BackAndForwardLookDifferentWhileTheyWork)
{
    // The icon themes a desktop has, whose back and forward are pale.
    const QStringList themePaths = QIcon::themeSearchPaths();
    QStringList withSystem = themePaths;
    for (const QString& dir : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
        withSystem << dir + QStringLiteral("/icons");
    QIcon::setThemeSearchPaths(withSystem);
    Start();
    m_app->OpenUrl("http://a/");
    // The picture of a button: the part left of its drop-down arrow.
    auto picture = [](QToolButton* button) {
        QStyleOptionToolButton option;
        option.initFrom(button);
        option.subControls = QStyle::SC_ToolButton | QStyle::SC_ToolButtonMenu;
        option.features = QStyleOptionToolButton::MenuButtonPopup;
        const QRect main = button->style()->subControlRect(QStyle::CC_ToolButton, &option, QStyle::SC_ToolButton, button);
        return button->grab(main).toImage();
    };
    // The mean over the pixels of the largest change of a colour channel.
    auto difference = [](const QImage& a, const QImage& b) {
        double sum = 0;
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x) {
                const QColor p = a.pixelColor(x, y);
                const QColor q = b.pixelColor(x, y);
                sum += std::max({std::abs(p.red() - q.red()), std::abs(p.green() - q.green()), std::abs(p.blue() - q.blue())});
            }
        return sum / (a.width() * a.height());
    };
    for (const int id : {ID_BACK, ID_FORWARD}) {
        QToolButton* button = Bar()->FindButton(id);
        ASSERT_TRUE(testenv::SpinUntil([&] { return !button->isEnabled(); }, 5000)) << id;
        const QImage disabled = picture(button);
        m_frame->ActiveView()->Navigate("http://b/");
        if (id == ID_FORWARD)
            m_frame->ExecuteCommand(ID_BACK);
        ASSERT_TRUE(testenv::SpinUntil([&] { return button->isEnabled(); }, 5000)) << id;
        EXPECT_GT(difference(picture(button), disabled), 12.0) << id;
    }
    QIcon::setThemeSearchPaths(themePaths);
}

TEST_F(ToolBarTest, BigButtons)
{
    Option("ToolBarBigButton", 1);
    Start();
    EXPECT_EQ(Bar()->FindButton(ID_BACK)->iconSize(), QSize(20, 20));
}
