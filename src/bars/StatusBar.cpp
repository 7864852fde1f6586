#include "bars/StatusBar.h"

#include "platform/Text.h"

#include <QLabel>
#include <QProgressBar>

namespace nimbra {

CNimbraStatusBar::CNimbraStatusBar(QWidget* parent) : QStatusBar(parent)
{
    m_pProgress = new QProgressBar(this);
    m_pProgress->setRange(0, 100);
    m_pProgress->setTextVisible(false);
    m_pProgress->setFixedWidth(100);
    m_pProgress->setMaximumHeight(14);
    m_pOffline = new QLabel(QStringLiteral("オフライン"), this);
    m_pSecure = new QLabel(QStringLiteral("🔒"), this);
    m_pZone = new QLabel(this);
    m_pZone->setMinimumWidth(110);
    m_pBroken = new QLabel(QStringLiteral("証明書エラー"), this);
    m_pBroken->setStyleSheet(QStringLiteral("color: #c00000"));
    m_pDownload = new QLabel(this);
    m_pDownload->setTextFormat(Qt::PlainText);
    addPermanentWidget(m_pDownload);
    addPermanentWidget(m_pProgress);
    addPermanentWidget(m_pOffline);
    addPermanentWidget(m_pSecure);
    addPermanentWidget(m_pBroken);
    addPermanentWidget(m_pZone);
    m_pOffline->hide();
    m_pSecure->hide();
    m_pBroken->hide();
    m_pDownload->hide();
    SetProgress(0);
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
    m_pProgress->setValue(percent);
    // Nothing to show between loads.
    m_pProgress->setVisible(percent > 0 && percent < 100);
}

void CNimbraStatusBar::SetOffline(bool offline)
{
    m_pOffline->setVisible(offline);
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
    m_pZone->setText(ZoneName(zone));
}

void CNimbraStatusBar::ClearZone()
{
    m_pZone->clear();
}

void CNimbraStatusBar::SetSecure(bool secure)
{
    m_pSecure->setVisible(secure);
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
    return m_pProgress->value();
}

bool CNimbraStatusBar::IsOfflineShown() const
{
    return !m_pOffline->isHidden();
}

bool CNimbraStatusBar::IsSecureShown() const
{
    return !m_pSecure->isHidden();
}

QString CNimbraStatusBar::ZoneText() const
{
    return m_pZone->text();
}

} // namespace nimbra
