#include "data/filters/FilterCommands.h"
#include "frames/browser/FilterListPage.h"
#include "frames/browser/Option.h"
#include "platform/FileDialog.h"
#include "platform/WebEngineBrowser.h"
#include "ui/CommandIds.h"
#include "widgets/view/PopupLimiter.h"

#include "HttpServer.h"
#include "TestBrowser.h"

#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <QWebEnginePage>

using namespace nimbra;
using testenv::SpinUntil;

namespace {

constexpr int kLoadMs = 20000;

class FilterE2E : public testenv::EngineTest {
protected:
    // What a page's script says, as a string.
    static QString Eval(CNimbraView* view, const QString& expression)
    {
        QVariant result;
        bool done = false;
        dynamic_cast<CWebEngineBrowser*>(view->Browser())->Page()->runJavaScript(expression, [&](const QVariant& v) {
            result = v;
            done = true;
        });
        EXPECT_TRUE(SpinUntil([&] { return done; }, kLoadMs)) << expression.toStdString();
        return result.toString();
    }
    QString BlockedText() const { return CPopupLimiter::Of(m_frame)->BlockedRequestsText(); }

    testenv::HttpServer m_local;
    testenv::HttpServer m_other{QStringLiteral("127.0.0.2")};
};

} // namespace

// A list added on the options page refuses exactly the requests its rules
// name (the servers' logs tell), hides the element of its hiding rule in
// the real engine, and the status bar counts what the tab lost.
TEST_F(FilterE2E, ListAddedInTheOptionsBlocksRequestsAndHidesElements)
{
    const QString other = m_other.Url({});
    m_local.AddHtml("/page.html", "Filtered",
                    QStringLiteral("<div class=\"banner\" id=\"banner\">ad</div><div id=\"plain\">text</div>"
                                   "<img src=\"/ads/a.png\"><img src=\"/img/fine.png\"><script src=\"/ads/s.js\"></script>"
                                   "<script src=\"%1/bad.js\"></script><script src=\"%1/ok.js\"></script>")
                        .arg(other));
    for (const char* path : {"/ads/s.js", "/ads/a.png", "/img/fine.png"})
        m_local.AddPage(QString::fromLatin1(path), QByteArray("var local = 1;"));
    m_other.AddPage("/bad.js", QByteArray("window.bad = 1;"));
    m_other.AddPage("/ok.js", QByteArray("window.ok = 1;"));
    m_other.AddHtml("/own.html", "Own", "<script src=\"/bad.js\"></script>");
    const std::string list = File("ads.txt");
    testenv::WriteFile(list, "[Adblock Plus 2.0]\n! a list\n||127.0.0.2^$third-party\n@@||127.0.0.2/ok.js\n"
                             "/ads/*$image\n127.0.0.1##.banner\n||x.example^$popup\n");
    Start();

    testenv::HandlerGuard asker(SetFileNameAsker, [&](QWidget*, const SFileRequest&) { return list; });
    bool shown = false;
    testenv::HandlerGuard driver(SetOptionDialogDriver, [&](COption& dialog) {
        shown = true;
        dialog.show();
        dialog.SetCurrentPage(COption::FilterLists);
        auto* page = dialog.PageOf<CPropPageFilterLists>(COption::FilterLists);
        EXPECT_EQ(page->Lists()->topLevelItemCount(), 0) << "none by default";
        QTest::mouseClick(page->AddButton(), Qt::LeftButton);
        QTreeWidgetItem* item = page->Lists()->topLevelItem(0);
        EXPECT_TRUE(item && SpinUntil([&] { return item->text(1) == QStringLiteral("4"); }, kLoadMs));
        EXPECT_EQ(item->text(2), QStringLiteral("1")) << "the line with an unknown option";
        EXPECT_EQ(item->checkState(0), Qt::Checked);
        dialog.accept();
        return dialog.result();
    });
    m_frame->ExecuteCommand(ID_VIEW_OPTION);
    ASSERT_TRUE(shown);
    CFilterCommands* filters = FilterCommandsOf(*m_frame);
    ASSERT_NE(filters, nullptr);
    ASSERT_TRUE(SpinUntil([&] { return filters->Engine() != nullptr; }, kLoadMs));

    CNimbraView* view = OpenAndWait(m_local.Url("/page.html").toStdString());
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(m_other.WaitForRequest("/ok.js", kLoadMs));
    ASSERT_TRUE(m_local.WaitForRequest("/img/fine.png", kLoadMs));
    ASSERT_TRUE(m_local.WaitForRequest("/ads/s.js", kLoadMs)) << "a script is no image";
    EXPECT_FALSE(m_other.Requests().contains("/bad.js"));
    EXPECT_FALSE(m_local.Requests().contains("/ads/a.png"));
    EXPECT_TRUE(SpinUntil([&] { return BlockedText() == QStringLiteral("要求を 2 件ブロック"); }, kLoadMs))
        << BlockedText().toStdString();
    EXPECT_EQ(Eval(view, "String(window.ok) + ',' + String(window.bad)"), QStringLiteral("1,undefined"));
    EXPECT_EQ(Eval(view, "getComputedStyle(document.getElementById('banner')).display"), QStringLiteral("none"));
    EXPECT_EQ(Eval(view, "getComputedStyle(document.getElementById('plain')).display"), QStringLiteral("block"));

    // On its own site the script is first-party: let through, nothing counted.
    CNimbraView* own = OpenAndWait(m_other.Url("/own.html").toStdString());
    ASSERT_NE(own, nullptr);
    EXPECT_TRUE(m_other.WaitForRequest("/bad.js", kLoadMs));
    Tabs()->SelectTab(own->m_nTab);
    EXPECT_TRUE(SpinUntil([&] { return BlockedText().isEmpty(); }, kLoadMs)) << BlockedText().toStdString();
}
