#include "sidebar/WebSearchCommands.h"

#include "bars/AddressCombo.h"
#include "frame/CommandIds.h"
#include "frame/CommandRouter.h"
#include "frame/MainFrame.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "sidebar/WebSearchPane.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QPointer>

namespace nimbra {

namespace {

class CWebSearchCommands : public QObject, public IWebSearchHost {
public:
    explicit CWebSearchCommands(CMainFrame& frame) : QObject(&frame), m_frame(frame)
    {
        setObjectName(QStringLiteral("WebSearchCommands"));
        m_pPane = new CWebSearchPane(*this, DataFile("search.ini"));
        frame.Router().Table(CCommandRouter::ELevel::Frame).SetHandler(ID_FIND_WEB, [this] {
            if (m_pPane)
                m_pPane->QuickSearch(FromQ(QGuiApplication::clipboard()->text()), m_frame.FrameSettings().FindWebDlg);
        });
    }

    CWebSearchPane* Pane() const { return m_pPane; }

    void Go(const std::string& url) override
    {
        if (CAddressCombo* combo = m_frame.AddressCombo())
            combo->Go(url, 0, 1, 0, 0);
    }
    void FocusView() override { m_frame.PostFocusView(); }

private:
    CMainFrame& m_frame;
    QPointer<CWebSearchPane> m_pPane;
};

CWebSearchCommands* CommandsOf(const CMainFrame& frame)
{
    return dynamic_cast<CWebSearchCommands*>(
        frame.findChild<QObject*>(QStringLiteral("WebSearchCommands"), Qt::FindDirectChildrenOnly));
}

} // namespace

INimbraBarPane* CreateWebSearchPane(CMainFrame& frame)
{
    return (new CWebSearchCommands(frame))->Pane();
}

CWebSearchPane* WebSearchPaneOf(const CMainFrame& frame)
{
    CWebSearchCommands* commands = CommandsOf(frame);
    return commands ? commands->Pane() : nullptr;
}

void SaveWebSearchAtExit(CMainFrame& frame)
{
    if (CWebSearchPane* pane = WebSearchPaneOf(frame))
        pane->SaveAtExit();
}

} // namespace nimbra
