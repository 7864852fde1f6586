#include "bars/AddressCombo.h"

#include "app/NimbraApp.h"
#include "frame/MainFrame.h"
#include "platform/Text.h"
#include "view/NimbraView.h"

#include <QLineEdit>

namespace nimbra {

namespace {

// Text without one trailing "/" or "\".
std::string_view WithoutTrailingSlash(std::string_view text)
{
    if (!text.empty() && (text.back() == '/' || text.back() == '\\'))
        text.remove_suffix(1);
    return text;
}

} // namespace

CAddressCombo::CAddressCombo(CMainFrame* mainFrame, QWidget* parent)
    : QComboBox(parent), m_pMainFrame(mainFrame)
{
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    setMaxVisibleItems(16);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    lineEdit()->setMaxLength(2084);
    connect(lineEdit(), &QLineEdit::returnPressed, this, &CAddressCombo::OnEnter);
}

void CAddressCombo::SetUrl(const std::string& url)
{
    if (url.empty())
        setCurrentIndex(-1);
    lineEdit()->setText(ToQ(url));
}

void CAddressCombo::OnEnter()
{
    const std::string text = Trim(FromQ(lineEdit()->text()));
    if (!text.empty())
        Go(text, 1, 0, 1, 1);
}

std::vector<std::string> CAddressCombo::History() const
{
    std::vector<std::string> items;
    for (int i = 0; i < count(); ++i)
        items.push_back(FromQ(itemText(i)));
    return items;
}

int CAddressCombo::FindHistory(const std::string& text) const
{
    const std::string_view bare = WithoutTrailingSlash(text);
    for (int i = 0; i < count(); ++i) {
        const std::string item = FromQ(itemText(i));
        if (EqualsNoCase(item, text) || EqualsNoCase(item, bare))
            return i;
    }
    return -1;
}

void CAddressCombo::MoveToTop(int index)
{
    const QString item = itemText(index);
    removeItem(index);
    insertItem(0, item);
}

void CAddressCombo::Go(const std::string& text, int addToHistory, int newTab, int touchHistory, int notifyFrame)
{
    if (text.empty())
        return;
    CNimbraApp* app = CNimbraApp::Instance();
    CNimbraView* view = m_pMainFrame->ActiveView();
    if (newTab == 1 || !view) {
        app->OpenUrl(text);
    } else {
        if (view->m_bNaviLock)
            return;
        const std::string url = app->ResolveShortcut(text);
        if (url.empty()) {
            hidePopup();
            return;
        }
        if (m_pMainFrame->FrameSettings().NewWindowClose == 0
            && m_pMainFrame->BlockedLists().IsUrlAllowed(url, 0).empty()) {
            hidePopup();
            return;
        }
        if (app->OpenSpecialUrl(url)) {
            hidePopup();
            return;
        }
        view->Navigate(url);
    }

    const int existing = FindHistory(text);
    if (addToHistory == 1) {
        if (existing >= 0)
            MoveToTop(existing);
        else
            insertItem(0, ToQ(text));
        hidePopup();
    } else if (touchHistory == 1 && existing >= 0) {
        MoveToTop(existing);
    }
    if (notifyFrame)
        m_pMainFrame->PostFocusView();
}

} // namespace nimbra
