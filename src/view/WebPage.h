#pragma once

#include <QWebEnginePage>

namespace nimbra {

class CNimbraView;

// The engine page of one tab: hands navigation decisions and new-window
// requests to its view.
class CWebPage : public QWebEnginePage {
    Q_OBJECT
public:
    CWebPage(QWebEngineProfile* profile, CNimbraView* view);

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage* createWindow(WebWindowType type) override;

private:
    CNimbraView* m_pView;
};

} // namespace nimbra
