#include "view/WebPage.h"

#include "platform/Text.h"
#include "view/NimbraView.h"

namespace nimbra {

CWebPage::CWebPage(QWebEngineProfile* profile, CNimbraView* view)
    : QWebEnginePage(profile, view), m_pView(view)
{
}

bool CWebPage::acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame)
{
    return m_pView->OnBeforeNavigate2(FromQ(url.toString()), isMainFrame);
}

QWebEnginePage* CWebPage::createWindow(WebWindowType)
{
    return m_pView->OnNewWindow2();
}

} // namespace nimbra
