#pragma once

#include <QStatusBar>
#include <string>

class QLabel;
class QProgressBar;

namespace nimbra {

// The status bar: message text, the active tab's progress, and the offline,
// security-zone and secure-connection indicators.
class CNimbraStatusBar : public QStatusBar {
    Q_OBJECT
public:
    explicit CNimbraStatusBar(QWidget* parent);

    void SetStatusText(const std::string& text);
    void SetProgress(int percent);
    void SetOffline(bool offline);
    void SetZone(int zone);
    // No page: the zone pane is empty.
    void ClearZone();
    void SetSecure(bool secure);
    // An https page whose certificate the user let through.
    void SetSecureBroken(bool broken);
    // The running download's progress; empty hides it.
    void SetDownloadText(const QString& text);

    int Progress() const;
    bool IsOfflineShown() const;
    bool IsSecureShown() const;
    bool IsSecureBrokenShown() const;
    QString DownloadText() const;
    QString ZoneText() const;

    // The zone's name as the status bar shows it.
    static QString ZoneName(int zone);

private:
    QProgressBar* m_pProgress;
    QLabel* m_pOffline;
    QLabel* m_pSecure;
    QLabel* m_pZone;
    QLabel* m_pBroken;
    QLabel* m_pDownload;
};

} // namespace nimbra
