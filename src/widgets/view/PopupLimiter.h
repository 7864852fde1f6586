#pragma once

#include <QObject>
#include <deque>

class QLabel;
class QMainWindow;

namespace nimbra {

class CNimbraView;

// How many windows pages may open without a click or key of the person: at
// most kFreeOpens in any kPeriodMs, across all tabs.
class COpenRate {
public:
    static constexpr int kFreeOpens = 5;
    static constexpr long long kPeriodMs = 10000;

    // True when one more open at `nowMs` stays within the rate; it is then
    // counted.
    bool Take(long long nowMs);

private:
    std::deque<long long> m_opens;
};

// Stops a page that keeps opening windows by itself: its opens beyond the
// rate are refused, and once refused it opens none without a gesture
// until its tab goes to another page. The refused opens of the active tab
// are counted in the status bar, and beside them the requests of its page
// that the filter lists refused.
class CPopupLimiter : public QObject {
    Q_OBJECT
public:
    // The limiter of `frame`, made on first use.
    static CPopupLimiter* Of(QMainWindow* frame);

    // A page of `view` opens a window; `userInitiated` when a click or key
    // of the person caused it. False when it is refused.
    bool Allow(CNimbraView* view, bool userInitiated);
    // The status bar shows `view`'s counts (the active tab's).
    void Show(const CNimbraView* view);
    QString Text() const;
    QString BlockedRequestsText() const;

private:
    explicit CPopupLimiter(QMainWindow* frame);
    // A count in its own label, made when first not 0; hidden at 0.
    void ShowCount(QLabel*& label, const char* name, const QString& text, int count);

    QMainWindow* m_pFrame;
    COpenRate m_rate;
    QLabel* m_pLabel = nullptr;
    QLabel* m_pRequests = nullptr;
};

} // namespace nimbra
