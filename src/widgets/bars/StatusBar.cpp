#include "widgets/bars/StatusBar.h"

#include "widgets/bars/ToolBarImages.h"
#include "platform/Text.h"
#include "platform/WebBrowser.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPaintEvent>
#include <algorithm>
#include <cstdlib>

namespace nimbra {

namespace {
constexpr int kIconSize = 16;
constexpr int kIndicatorWidth = kIconSize + 4;
constexpr int kFirstToggleImage = 23;

QIcon ThemeIcon(const char* name)
{
    return QIcon::fromTheme(QString::fromLatin1(name));
}
} // namespace

CStatusProgress::CStatusProgress(QWidget* parent)
    : QWidget(parent), m_barStart(200, 200, 255), m_barEnd(palette().color(QPalette::Highlight))
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QSize CStatusProgress::sizeHint() const
{
    return {fontMetrics().horizontalAdvance(QString(18, QLatin1Char(' '))), fontMetrics().height()};
}

void CStatusProgress::SetRange(int minimum, int maximum)
{
    m_nMin = minimum;
    m_nMax = maximum;
    m_nPos = std::clamp(m_nPos, m_nMin, std::max(m_nMin, m_nMax));
    m_nLastWidth = -1;
    update();
}

double CStatusProgress::Fraction() const
{
    return m_nMin < m_nMax ? double(m_nPos - m_nMin) / double(m_nMax - m_nMin) : 0.0;
}

int CStatusProgress::FilledWidth() const
{
    return int(width() * Fraction());
}

void CStatusProgress::SetPos(int pos)
{
    m_nPos = std::clamp(pos, m_nMin, std::max(m_nMin, m_nMax));
    if (FilledWidth() != m_nLastWidth)
        update();
}

void CStatusProgress::SetCaption(const QString& caption)
{
    m_strCaption = caption;
    update();
}

void CStatusProgress::SetShowCaption(bool show)
{
    m_bShowCaption = show;
    update();
}

QString CStatusProgress::CaptionText() const
{
    if (!m_bShowCaption || m_nMin >= m_nMax)
        return {};
    if (!m_strCaption.isEmpty())
        return m_strCaption;
    const int percent = int(Fraction() * 100.0);
    return percent == 0 ? QString() : QStringLiteral("%1%").arg(percent);
}

void CStatusProgress::resizeEvent(QResizeEvent* event)
{
    m_nLastWidth = -1;
    QWidget::resizeEvent(event);
    update();
}

void CStatusProgress::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect area = rect();
    painter.fillRect(area, palette().color(QPalette::Button));
    m_nLastWidth = FilledWidth();
    if (m_nMin >= m_nMax)
        return;
    const int filled = m_nLastWidth;
    // One band per step of the channel that changes most.
    const int bands = std::clamp(std::max({std::abs(m_barEnd.red() - m_barStart.red()),
                                           std::abs(m_barEnd.green() - m_barStart.green()),
                                           std::abs(m_barEnd.blue() - m_barStart.blue())}),
                                 1, 255);
    for (int i = 0; i < bands && filled > 0; ++i) {
        const int left = filled * i / bands;
        const int right = filled * (i + 1) / bands;
        if (right <= left)
            continue;
        const double t = bands > 1 ? double(i) / double(bands - 1) : 0.0;
        const QColor colour(m_barStart.red() + int((m_barEnd.red() - m_barStart.red()) * t),
                            m_barStart.green() + int((m_barEnd.green() - m_barStart.green()) * t),
                            m_barStart.blue() + int((m_barEnd.blue() - m_barStart.blue()) * t));
        painter.fillRect(QRect(left, 0, right - left, area.height()), colour);
    }
    const QString text = CaptionText();
    if (text.isEmpty())
        return;
    // Once over the filled part, once over the rest, each in its colour.
    painter.setClipRect(QRect(0, 0, filled, area.height()));
    painter.setPen(palette().color(QPalette::Base));
    painter.drawText(area, Qt::AlignCenter | Qt::TextSingleLine, text);
    painter.setClipRect(QRect(filled, 0, area.width() - filled, area.height()));
    painter.setPen(palette().color(QPalette::ButtonText));
    painter.drawText(area, Qt::AlignCenter | Qt::TextSingleLine, text);
}

CStatusIndicator::CStatusIndicator(QWidget* parent, std::vector<QIcon> images)
    : QWidget(parent), m_images(std::move(images))
{
}

QSize CStatusIndicator::sizeHint() const
{
    return {kIndicatorWidth, kIconSize + 2};
}

int CStatusIndicator::SetState(int index)
{
    if (index != m_nState) {
        m_nState = index;
        update();
    }
    return m_nState;
}

void CStatusIndicator::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect area = rect().adjusted(1, 1, -1, -1);
    painter.fillRect(area, palette().color(QPalette::Button));
    if (m_nState < 0 || size_t(m_nState) >= m_images.size())
        return;
    const int top = area.top() + (area.height() - kIconSize) / 2;
    m_images[size_t(m_nState)].paint(&painter, QRect(area.left() + (area.width() - kIconSize) / 2, top, kIconSize, kIconSize));
}

void CStatusIndicator::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && m_doubleClick)
        m_doubleClick();
}

CStatusTogglePane::CStatusTogglePane(QWidget* parent, const QIcon& icon, const QString& letter)
    : QWidget(parent), m_icon(icon), m_strLetter(letter)
{
}

QSize CStatusTogglePane::sizeHint() const
{
    return {kIconSize + 2 + fontMetrics().horizontalAdvance(m_strLetter) + 4, std::max(kIconSize, fontMetrics().height())};
}

void CStatusTogglePane::SetOn(bool on)
{
    if (on != m_bOn) {
        m_bOn = on;
        update();
    }
}

void CStatusTogglePane::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect area = rect();
    const int top = (area.height() - kIconSize) / 2;
    m_icon.paint(&painter, QRect(1, top, kIconSize, kIconSize), Qt::AlignCenter,
                 m_bOn ? QIcon::Normal : QIcon::Disabled);
    painter.setPen(palette().color(m_bOn ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    painter.drawText(QRect(kIconSize + 3, 0, area.width() - kIconSize - 3, area.height()),
                     Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, m_strLetter);
}

void CStatusTogglePane::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && m_click)
        m_click();
}

const std::vector<CNimbraStatusBar::SToggle>& CNimbraStatusBar::Toggles()
{
    static const std::vector<SToggle> toggles = {
        {61247, "I", DLCTL_DLIMAGES, false, "画像のダウンロード"},
        {61248, "S", DLCTL_BGSOUNDS, false, "サウンドのダウンロード"},
        {61249, "V", DLCTL_VIDEOS, false, "ビデオのダウンロード"},
        {61250, "J", DLCTL_NO_JAVA, true, "Javaの実行"},
        {61251, "S", DLCTL_NO_SCRIPTS, true, "スクリプトの実行"},
        {61252, "A", DLCTL_NO_RUNACTIVEXCTLS, true, "ActiveXの実行"},
        {61253, "D", DLCTL_NO_DLACTIVEXCTLS, true, "ActiveXのダウンロード"},
    };
    return toggles;
}

CNimbraStatusBar::CNimbraStatusBar(QWidget* parent) : QStatusBar(parent)
{
    setObjectName(QStringLiteral("59393"));
    m_pProgress = new CStatusProgress(this);
    m_pProgress->setObjectName(QString::number(kProgressPane));
    m_pOffline = new CStatusIndicator(this, {ThemeIcon("network-offline")});
    m_pOffline->setObjectName(QString::number(kOfflinePane));
    m_pOffline->setToolTip(QStringLiteral("オフライン作業"));
    m_pZone = new CStatusIndicator(this, {ThemeIcon("computer"), ThemeIcon("network-workgroup"),
                                          ThemeIcon("applications-internet"), ThemeIcon("applications-internet"),
                                          ThemeIcon("applications-internet")});
    m_pZone->setObjectName(QString::number(kZonePane));
    m_pSecure = new CStatusIndicator(this, {ThemeIcon("security-high")});
    m_pSecure->setObjectName(QString::number(kSecurePane));
    m_pSecure->setToolTip(QStringLiteral("保護された接続"));
    m_pBroken = new QLabel(QStringLiteral("証明書エラー"), this);
    m_pBroken->setStyleSheet(QStringLiteral("color: #c00000"));
    m_pBroken->hide();
    m_pDownload = new QLabel(this);
    m_pDownload->setTextFormat(Qt::PlainText);
    m_pDownload->hide();
    addPermanentWidget(m_pDownload);
    addPermanentWidget(m_pProgress);
    addPermanentWidget(m_pOffline);
    addPermanentWidget(m_pZone);
    addPermanentWidget(m_pSecure);
    addPermanentWidget(m_pBroken);
    // The toolbar's pictures of the same flags, in the same order.
    const CToolBarImages images(false);
    int image = kFirstToggleImage;
    for (const SToggle& toggle : Toggles()) {
        auto* pane = new CStatusTogglePane(this, images.Icon(image++), QString::fromLatin1(toggle.letter));
        pane->setObjectName(QString::number(toggle.id));
        const unsigned bit = toggle.bit;
        pane->SetClickAction([this, bit] {
            if (m_toggle)
                m_toggle(bit);
        });
        addPermanentWidget(pane);
        m_toggles.push_back(pane);
    }
    SetDownloadFlags(DLCTL_DLIMAGES | DLCTL_BGSOUNDS | DLCTL_VIDEOS);
}

void CNimbraStatusBar::SetIndicatorActions(std::function<void()> offline, std::function<void()> properties)
{
    m_pOffline->SetDoubleClickAction(std::move(offline));
    m_pZone->SetDoubleClickAction(properties);
    m_pSecure->SetDoubleClickAction(std::move(properties));
}

void CNimbraStatusBar::SetStatusText(const std::string& text)
{
    if (text.empty())
        clearMessage();
    else
        showMessage(ToQ(text));
}

void CNimbraStatusBar::SetProgress(int percent)
{
    m_pProgress->SetPos(percent);
}

void CNimbraStatusBar::SetOffline(bool offline)
{
    m_pOffline->SetState(offline ? 0 : -1);
}

QString CNimbraStatusBar::ZoneName(int zone)
{
    switch (zone) {
    case 0:
        return QStringLiteral("マイ コンピュータ");
    case 1:
        return QStringLiteral("イントラネット");
    case 2:
        return QStringLiteral("信頼済みサイト");
    case 4:
        return QStringLiteral("制限付きサイト");
    default:
        return QStringLiteral("インターネット");
    }
}

void CNimbraStatusBar::SetZone(int zone)
{
    m_pZone->SetState(std::clamp(zone, 0, 4));
    m_pZone->setToolTip(ZoneName(zone));
}

void CNimbraStatusBar::ClearZone()
{
    m_pZone->SetState(-1);
    m_pZone->setToolTip({});
}

void CNimbraStatusBar::SetSecure(bool secure)
{
    m_pSecure->SetState(secure ? 0 : -1);
}

void CNimbraStatusBar::SetDownloadFlags(unsigned flags)
{
    const std::vector<SToggle>& toggles = Toggles();
    for (size_t i = 0; i < toggles.size(); ++i) {
        const bool on = ((flags & toggles[i].bit) != 0) != toggles[i].inverted;
        m_toggles[i]->SetOn(on);
        m_toggles[i]->setToolTip(QStringLiteral("%1: %2").arg(QString::fromUtf8(toggles[i].tip),
                                                              on ? QStringLiteral("オン") : QStringLiteral("オフ")));
    }
}

CStatusTogglePane* CNimbraStatusBar::TogglePane(int id) const
{
    const std::vector<SToggle>& toggles = Toggles();
    for (size_t i = 0; i < toggles.size(); ++i)
        if (toggles[i].id == id)
            return m_toggles[i];
    return nullptr;
}

void CNimbraStatusBar::SetSecureBroken(bool broken)
{
    m_pBroken->setVisible(broken);
}

void CNimbraStatusBar::SetDownloadText(const QString& text)
{
    m_pDownload->setText(text);
    m_pDownload->setVisible(!text.isEmpty());
}

bool CNimbraStatusBar::IsSecureBrokenShown() const
{
    return !m_pBroken->isHidden();
}

QString CNimbraStatusBar::DownloadText() const
{
    return m_pDownload->text();
}

int CNimbraStatusBar::Progress() const
{
    return m_pProgress->Pos();
}

bool CNimbraStatusBar::IsOfflineShown() const
{
    return m_pOffline->State() >= 0;
}

bool CNimbraStatusBar::IsSecureShown() const
{
    return m_pSecure->State() >= 0;
}

QString CNimbraStatusBar::ZoneText() const
{
    return m_pZone->toolTip();
}

} // namespace nimbra
