#include "sidebar/NimbraBar.h"

#include "platform/EventWidget.h"
#include "platform/ImageStrip.h"
#include "platform/Paths.h"

#include <QAbstractScrollArea>
#include <QScrollBar>
#include <QTabBar>
#include <QVBoxLayout>
#include <QWheelEvent>

namespace nimbra {

namespace {

constexpr const char* kLabels[kNimbraBarPaneCount] = {"ブックマーク", "履歴", "履歴検索", "Web検索"};
constexpr int kNotch = 120;
constexpr int kLinesPerNotch = 3;

// A tab row that may be narrower than its tabs: it scrolls them.
class CNarrowTabBar : public QTabBar {
public:
    using QTabBar::QTabBar;
    QSize minimumSizeHint() const override { return QSize(1, QTabBar::minimumSizeHint().height()); }
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

// --- CNimbraBarTab ----------------------------------------------------------

CNimbraBarTab::CNimbraBarTab(NimbraBarPaneMakers makers, const std::vector<QPixmap>& icons, QWidget* parent)
    : QTabWidget(parent), m_makers(std::move(makers))
{
    setTabBar(new CNarrowTabBar(this));
    tabBar()->setFocusPolicy(Qt::NoFocus);
    tabBar()->setUsesScrollButtons(true);
    tabBar()->setExpanding(false);
    tabBar()->setElideMode(Qt::ElideNone);
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
