#pragma once

#include <QColor>
#include <QIcon>
#include <QLabel>
#include <QStatusBar>
#include <functional>
#include <string>
#include <vector>

namespace nimbra {

// A drawn percentage bar: a gradient fill with the percentage centred on
// it. It repaints only when the filled width changes, so many small
// progress steps cost nothing.
class CStatusProgress : public QWidget {
    Q_OBJECT
public:
    explicit CStatusProgress(QWidget* parent);

    void SetRange(int minimum, int maximum);
    // Clamped to the range.
    void SetPos(int pos);
    int Pos() const { return m_nPos; }
    // Shown instead of the percentage when not empty.
    void SetCaption(const QString& caption);
    void SetShowCaption(bool show);
    // The text drawn now: empty when nothing is drawn.
    QString CaptionText() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    int FilledWidth() const;
    double Fraction() const;

    int m_nMin = 0;
    int m_nMax = 100;
    int m_nPos = 0;
    QString m_strCaption;
    bool m_bShowCaption = true;
    QColor m_barStart;
    QColor m_barEnd;
    int m_nLastWidth = -1;
};

// A small state picture over a status-bar pane: image `state` of its list,
// nothing for -1.
class CStatusIndicator : public QWidget {
    Q_OBJECT
public:
    CStatusIndicator(QWidget* parent, std::vector<QIcon> images);

    // Repaints only when the state changes; returns it.
    int SetState(int index);
    int State() const { return m_nState; }
    void SetDoubleClickAction(std::function<void()> action) { m_doubleClick = std::move(action); }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    std::vector<QIcon> m_images;
    int m_nState = -1;
    std::function<void()> m_doubleClick;
};

// One toggle pane: the flag's picture and letter, greyed while the flag is
// off.
class CStatusTogglePane : public QWidget {
    Q_OBJECT
public:
    CStatusTogglePane(QWidget* parent, const QIcon& icon, const QString& letter);

    void SetOn(bool on);
    bool IsOn() const { return m_bOn; }
    void SetClickAction(std::function<void()> action) { m_click = std::move(action); }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QIcon m_icon;
    QString m_strLetter;
    bool m_bOn = true;
    std::function<void()> m_click;
};

// The status bar: message text, the active tab's progress, the offline,
// security-zone and secure-connection indicators, and the panes that toggle
// the download-control flags.
class CNimbraStatusBar : public QStatusBar {
    Q_OBJECT
public:
    // The toggle panes, in order: id, letter, flag, and whether a set flag
    // means "off" (Java, scripts, ActiveX).
    struct SToggle {
        int id;
        const char* letter;
        unsigned bit;
        bool inverted;
        const char* tip;
    };
    static const std::vector<SToggle>& Toggles();
    enum : int { kProgressPane = 61217, kOfflinePane = 61244, kZonePane = 61245, kSecurePane = 61233 };

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
    // The panes show these download-control flags.
    void SetDownloadFlags(unsigned flags);

    // A click on a toggle pane: its flag.
    void SetToggleHandler(std::function<void(unsigned bit)> handler) { m_toggle = std::move(handler); }
    // Double-clicks on the offline indicator and on the zone or lock.
    void SetIndicatorActions(std::function<void()> offline, std::function<void()> properties);

    int Progress() const;
    bool IsOfflineShown() const;
    bool IsSecureShown() const;
    bool IsSecureBrokenShown() const;
    QString DownloadText() const;
    QString ZoneText() const;
    CStatusProgress* ProgressPane() const { return m_pProgress; }
    CStatusTogglePane* TogglePane(int id) const;

    // The zone's name as the status bar shows it.
    static QString ZoneName(int zone);

private:
    CStatusProgress* m_pProgress;
    CStatusIndicator* m_pOffline;
    CStatusIndicator* m_pZone;
    CStatusIndicator* m_pSecure;
    std::vector<CStatusTogglePane*> m_toggles;
    std::function<void(unsigned bit)> m_toggle;
    QLabel* m_pBroken;
    QLabel* m_pDownload;
};

} // namespace nimbra
