#include "widgets/bars/AddressCombo.h"
#include "widgets/bars/CoolBar.h"
#include "ui/CommandIds.h"

#include "HttpServer.h"
#include "TestBrowser.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTest>

using namespace nimbra;
using testenv::SpinUntil;

namespace {

class RebarE2E : public testenv::EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        m_server.AddHtml(QStringLiteral("/a"), QStringLiteral("A"));
    }
    CNimbraCoolBar* Bar() const { return qobject_cast<CNimbraCoolBar*>(m_frame->menuWidget()); }
    // Each band's style, index and place on the bar.
    std::vector<std::tuple<int, int, int, QRect>> Layout() const
    {
        std::vector<std::tuple<int, int, int, QRect>> bands;
        for (int id : {kBandMenuBar, kBandAddressBar, kBandLinkBar})
            bands.emplace_back(id, Bar()->GetBand(id)->style, Bar()->GetBand(id)->index, Bar()->BandRect(id));
        return bands;
    }
    // Drags a band's gripper to a point of the bar, as the pointer would.
    void DragTo(int id, QPoint to)
    {
        const QPoint from = Bar()->BandRect(id).topLeft() + QPoint(3, 3);
        QWidget* grip = Bar()->childAt(from);
        ASSERT_NE(grip, nullptr);
        for (const auto& [type, at] : {std::pair{QEvent::MouseButtonPress, from}, {QEvent::MouseMove, to},
                                       {QEvent::MouseButtonRelease, to}}) {
            const QPoint local = grip->mapFrom(Bar(), at);
            QMouseEvent event(type, local, grip->mapToGlobal(local), Qt::LeftButton,
                              type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(grip, &event);
        }
    }

    testenv::HttpServer m_server;
};

} // namespace

TEST_F(RebarE2E, ARestartKeepsMovedAndHiddenBands)
{
    const std::string url = m_server.Url(QStringLiteral("/a")).toStdString();
    Start();
    ASSERT_NE(OpenAndWait(url), nullptr);
    // The address bar goes up beside the menu bar; the link bar is hidden.
    const QRect menu = Bar()->BandRect(kBandMenuBar);
    DragTo(kBandAddressBar, QPoint(menu.right() - 200, menu.center().y()));
    const QRect address = Bar()->BandRect(kBandAddressBar);
    EXPECT_EQ(address.top(), menu.top());
    EXPECT_GT(address.left(), menu.left());
    m_frame->ExecuteCommand(ID_VIEW_LINK_BAR);
    const auto before = Layout();
    const int rows = Bar()->RowCount();

    m_frame->close();
    m_app.reset();
    SetUp();
    Start();
    EXPECT_EQ(Layout(), before);
    EXPECT_EQ(Bar()->RowCount(), rows);
    EXPECT_FALSE(Bar()->IsBandVisible(kBandLinkBar));
    // The moved address bar still serves the pages.
    ASSERT_NE(OpenAndWait(url), nullptr);
    EXPECT_TRUE(SpinUntil([&] { return m_frame->AddressCombo()->currentText().toStdString() == url; }, 5000));
}
