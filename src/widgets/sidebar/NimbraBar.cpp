#include "widgets/sidebar/NimbraBar.h"

#include "platform/EventWidget.h"
#include "platform/ImageStrip.h"
#include "platform/Paths.h"

#include <QAbstractScrollArea>
#include <QProxyStyle>
#include <QScrollBar>
#include <QTabBar>
#include <QVBoxLayout>
#include <QWheelEvent>

namespace nimbra {

namespace {

constexpr const char* kLabels[kNimbraBarPaneCount] = {"ブックマーク", "履歴", "履歴検索", "Web検索"};
constexpr int kNotch = 120;
constexpr int kLinesPerNotch = 3;
constexpr int kMinTabWidth = 21;

// A tab row that may be narrower than its tabs: the labels give way first
// (the selected tab's last), down to the icons alone; only then does the
// row scroll.
class CNarrowTabBar : public QTabBar {
public:
    using QTabBar::QTabBar;
    QSize minimumSizeHint() const override { return QSize(1, QTabBar::minimumSizeHint().height()); }
    // The row with whole labels; the tab control gives it at most its width.
    QSize sizeHint() const override
    {
        int whole = 0;
        for (int i = 0; i < count(); ++i)
            whole += QTabBar::tabSizeHint(i).width();
        return QSize(whole, QTabBar::sizeHint().height());
    }

protected:
    QSize tabSizeHint(int index) const override
    {
        QSize size = QTabBar::tabSizeHint(index);
        int labels = 0;
        int bare = 0;
        for (int i = 0; i < count(); ++i) {
            labels += Label(i);
            bare += minimumTabSizeHint(i).width();
        }
        if (bare + labels <= width() || labels == 0)
            return size;
        const int room = std::max(0, width() - bare);
        const int current = currentIndex();
        const int kept = current >= 0 ? std::min(Label(current), room) : 0;
        const int others = labels - (current >= 0 ? Label(current) : 0);
        const int label = index == current ? kept : others > 0 ? Label(index) * (room - kept) / others : 0;
        size.setWidth(minimumTabSizeHint(index).width() + label);
        return size;
    }
    QSize minimumTabSizeHint(int index) const override
    {
        QSize size = QTabBar::tabSizeHint(index);
        size.setWidth(std::max(kMinTabWidth, size.width() - fontMetrics().horizontalAdvance(tabText(index))));
        return size;
    }

private:
    // What the tab's label adds to its width.
    int Label(int index) const { return QTabBar::tabSizeHint(index).width() - minimumTabSizeHint(index).width(); }
};

// Whole notches in `accumulated` after adding `delta`; the rest stays.
int TakeNotches(int& accumulated, int delta)
{
    accumulated += delta;
    const int notches = accumulated / kNotch;
    accumulated -= notches * kNotch;
    return notches;
}

bool IsWithin(const QWidget* outer, const QObject* object)
{
    const QWidget* widget = EventWidget(object);
    return widget && (widget == outer || outer->isAncestorOf(widget));
}

} // namespace

// The tab row's item padding, a side: 4 pixels while labels show, else 1.
class CTabPaddingStyle : public QProxyStyle {
public:
    explicit CTabPaddingStyle(QObject* owner) { setParent(owner); }
    void SetPadding(int padding) { m_nPadding = padding; }
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override
    {
        if (metric == PM_TabBarTabHSpace)
            return 2 * m_nPadding;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }

private:
    int m_nPadding = 1;
};

// --- CNimbraBarTab ----------------------------------------------------------

CNimbraBarTab::CNimbraBarTab(NimbraBarPaneMakers makers, const std::vector<QPixmap>& icons, QWidget* parent)
    : QTabWidget(parent), m_makers(std::move(makers))
{
    setTabBar(new CNarrowTabBar(this));
    m_pPadding = new CTabPaddingStyle(tabBar());
    tabBar()->setStyle(m_pPadding);
    tabBar()->setFocusPolicy(Qt::NoFocus);
    tabBar()->setUsesScrollButtons(true);
    tabBar()->setExpanding(false);
    tabBar()->setElideMode(Qt::ElideRight);
    QTabWidget::setTabPosition(QTabWidget::South);
    setIconSize(QSize(16, 16));
    // The bar may be narrowed to its minimum; the pages follow.
    setMinimumSize(1, 1);
    for (int i = 0; i < kNimbraBarPaneCount; ++i) {
        // The page holds its pane once the pane is made.
        auto* page = new QWidget(this);
        page->setMinimumSize(1, 1);
        auto* layout = new QVBoxLayout(page);
        layout->setContentsMargins(0, 0, 0, 0);
        addTab(page, i < int(icons.size()) ? QIcon(icons[size_t(i)]) : QIcon(), QString());
        setTabToolTip(i, Label(i));
    }
    connect(this, &QTabWidget::currentChanged, this, &CNimbraBarTab::OnPaneSwitch);
    OnPaneSwitch(currentIndex());
}

int CNimbraBarTab::ValidPane(int index)
{
    return index >= 0 && index < kNimbraBarPaneCount ? index : 0;
}

QString CNimbraBarTab::Label(int index)
{
    return QString::fromUtf8(kLabels[ValidPane(index)]);
}

INimbraBarPane* CNimbraBarTab::Pane(int index)
{
    index = ValidPane(index);
    INimbraBarPane*& pane = m_panes[size_t(index)];
    if (!pane) {
        pane = m_makers[size_t(index)]();
        QWidget* content = pane->Widget();
        content->setMinimumSize(1, 1);
        widget(index)->layout()->addWidget(content);
        content->show();
        // The selected pane, made late, is switched to as it was selected.
        if (index == m_nSelected)
            Activate(index);
    }
    return pane;
}

void CNimbraBarTab::SelectPane(int index)
{
    index = ValidPane(index);
    if (index == currentIndex())
        OnPaneSwitch(index);
    else
        setCurrentIndex(index);
}

QWidget* CNimbraBarTab::CurrentFocusTarget()
{
    return Pane(m_nSelected)->FocusTarget();
}

QWidget* CNimbraBarTab::CurrentCommandTarget()
{
    return Pane(m_nSelected)->CommandTarget();
}

void CNimbraBarTab::OnPaneSwitch(int index)
{
    if (index < 0)
        return;
    m_nSelected = index;
    if (IsPaneMade(index))
        Activate(index);
    else if (isVisible())
        Pane(index);
    // Else the pane is made when it shows, or when it is asked for.
}

void CNimbraBarTab::Activate(int index)
{
    INimbraBarPane* pane = m_panes[size_t(index)];
    setFocusProxy(pane->FocusTarget());
    pane->OnActivate();
}

void CNimbraBarTab::showEvent(QShowEvent* event)
{
    QTabWidget::showEvent(event);
    Pane(m_nSelected);
}

void CNimbraBarTab::SetTabPosition(bool top)
{
    QTabWidget::setTabPosition(top ? QTabWidget::North : QTabWidget::South);
}

void CNimbraBarTab::SetTabText(bool on)
{
    if (on == m_bTabText)
        return;
    m_bTabText = on;
    m_pPadding->SetPadding(on ? 4 : 1);
    for (int i = 0; i < count(); ++i)
        setTabText(i, on ? Label(i) : QString());
}

// --- CNimbraBar -------------------------------------------------------------

CNimbraBar::CNimbraBar(QMainWindow* window, NimbraBarPaneMakers makers, int selected)
    : CSizingControlBarG(QString::fromLatin1(kNimbraBarTitle), window, kNimbraBarId)
{
    setObjectName(QStringLiteral("NimbraBar"));
    const std::vector<QPixmap> icons =
        LoadImageStrip(ResourceFile("nb.bmp"), QStringLiteral(":/nb.bmp"), kNimbraBarPaneCount);
    m_pTab = new CNimbraBarTab(std::move(makers), icons, this);
    setWidget(m_pTab);
    m_pTab->SelectPane(selected);
}

bool CNimbraBar::OnWheel(QObject* receiver, QWheelEvent* event)
{
    const int delta = event->angleDelta().y();
    if (!isVisible() || delta == 0)
        return false;
    if (IsWithin(m_pTab->tabBar(), receiver)) {
        // Towards the user (a negative delta) is the next pane.
        for (int n = TakeNotches(m_nTabWheel, delta); n != 0; n += n < 0 ? 1 : -1) {
            const int step = n < 0 ? 1 : kNimbraBarPaneCount - 1;
            SelectPane((SelectedPane() + step) % kNimbraBarPaneCount);
        }
        return true;
    }
    QWidget* target = CurrentFocusTarget();
    if (!target || !IsWithin(target, receiver) || !rect().contains(mapFromGlobal(event->globalPosition().toPoint())))
        return false;
    const int notches = TakeNotches(m_nPaneWheel, delta);
    if (auto* area = qobject_cast<QAbstractScrollArea*>(target)) {
        const auto action = notches < 0 ? QAbstractSlider::SliderSingleStepAdd : QAbstractSlider::SliderSingleStepSub;
        for (int i = 0; i < std::abs(notches) * kLinesPerNotch; ++i)
            area->verticalScrollBar()->triggerAction(action);
    }
    return true;
}

} // namespace nimbra
