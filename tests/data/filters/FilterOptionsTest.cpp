#include "data/filters/FilterCommands.h"
#include "frames/browser/FilterListPage.h"
#include "frames/browser/Option.h"
#include "ui/CommandIds.h"

#include "TestBrowser.h"

#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

using namespace nimbra;
using testenv::SpinUntil;

namespace {

class FilterOptions : public testenv::BrowserTest {};

} // namespace

// The page shows the lists of "filters.ini" with their counts; a box
// unchecked and a list removed are written on OK, and the frame then reads
// the lists in use again.
TEST_F(FilterOptions, PageEditsTheListsAndTheFrameRereadsThem)
{
    const std::string on = File("on.txt"), off = File("off.txt");
    testenv::WriteFile(on, "||a.example^\n##.x\n||b.example^$unknown\n");
    testenv::WriteFile(off, "||c.example^\n");
    const std::string ini = m_app->ProgramDir() + "/filters.ini";
    ASSERT_TRUE(WriteFilterListsFile(ini, {{on, true}, {off, true}, {File("gone.txt"), false}}));
    Start();
    CFilterCommands* filters = FilterCommandsOf(*m_frame);
    ASSERT_NE(filters, nullptr);
    ASSERT_TRUE(SpinUntil([&] { return !filters->Loading() && filters->Engine(); }, 20000));
    EXPECT_EQ(filters->Engine()->NetworkCount(), 2u);
    ASSERT_EQ(filters->Counts().size(), 3u);
    EXPECT_EQ(filters->Counts()[0].skipped, 1u);

    bool shown = false;
    testenv::HandlerGuard driver(SetOptionDialogDriver, [&](COption& dialog) {
        shown = true;
        dialog.show();
        dialog.SetCurrentPage(COption::FilterLists);
        auto* page = dialog.PageOf<CPropPageFilterLists>(COption::FilterLists);
        QTreeWidget* lists = page->Lists();
        EXPECT_EQ(lists->topLevelItemCount(), 3);
        EXPECT_TRUE(SpinUntil([&] { return lists->topLevelItem(0)->text(1) == QStringLiteral("2"); }, 20000));
        EXPECT_EQ(lists->topLevelItem(0)->text(2), QStringLiteral("1"));
        EXPECT_TRUE(SpinUntil([&] { return lists->topLevelItem(2)->text(1) == QStringLiteral("ファイルがありません"); },
                              20000));
        EXPECT_FALSE(page->RemoveButton()->isEnabled());
        lists->setCurrentItem(lists->topLevelItem(2));
        QTest::mouseClick(page->RemoveButton(), Qt::LeftButton);
        lists->topLevelItem(1)->setCheckState(0, Qt::Unchecked);
        dialog.accept();
        return dialog.result();
    });
    m_frame->ExecuteCommand(ID_VIEW_OPTION);
    ASSERT_TRUE(shown);
    const std::vector<SFilterList> written = ReadFilterListsFile(ini);
    ASSERT_EQ(written.size(), 2u);
    EXPECT_TRUE(written[0].enabled);
    EXPECT_FALSE(written[1].enabled);
    EXPECT_TRUE(SpinUntil([&] { return !filters->Loading() && filters->Engine()->NetworkCount() == 1; }, 20000));
}
