#include "ui/ModelessDialog.h"

#include "ui/CommandRouter.h"
#include "ui/MenuResource.h"

#include <QMenuBar>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QStyle>
#include <QVBoxLayout>

namespace nimbra {

namespace {
constexpr char kIdleText[] = "レディ";
} // namespace

CModelessDialog::CModelessDialog() : QDialog(nullptr)
{
    setAttribute(Qt::WA_DeleteOnClose);
}

void CModelessDialog::done(int result)
{
    if (result == Accepted && !Validate())
        return;
    if (!m_bClosing) {
        m_bClosing = true;
        OnClose();
    }
    QDialog::done(result);
    close();
}

CModelessMain::CModelessMain(int menuId, const QString& title)
{
    setWindowTitle(title);
    setSizeGripEnabled(false);
    m_pRouter = new CCommandRouter(this);
    const CMenuResource& resource = CMenuResource::Builtin();
    const SMenu* menu = resource.FindMenu(menuId);
    m_pMenuBar = menu ? BuildMenuBar(*menu, *m_pRouter, this) : new QMenuBar(this);
    m_pStatusBar = new QStatusBar(this);
    m_pStatusBar->setObjectName(QStringLiteral("59393"));
    ShowIdlePrompt();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setMenuBar(m_pMenuBar);
    m_pBody = new QVBoxLayout;
    const int margin = style()->pixelMetric(QStyle::PM_LayoutLeftMargin);
    m_pBody->setContentsMargins(margin, margin, margin, margin);
    layout->addLayout(m_pBody, 1);
    layout->addWidget(m_pStatusBar);

    CCommandTable& t = m_pRouter->Table(CCommandRouter::ELevel::Frame);
    t.SetHandler(ID_VIEW_STATUS_BAR, [this] { m_pStatusBar->setVisible(m_pStatusBar->isHidden()); });
    t.SetUpdateHandler(ID_VIEW_STATUS_BAR, [this](SCmdUI& ui) { ui.SetCheck(!m_pStatusBar->isHidden()); });
}

void CModelessMain::ShowIdlePrompt()
{
    m_pStatusBar->showMessage(QString::fromUtf8(kIdleText));
}

bool CModelessMain::ExecuteCommand(int id)
{
    return m_pRouter->Execute(id);
}

void CModelessMain::AttachCommandKeys()
{
    m_pRouter->AttachShortcuts(this);
    m_pRouter->UpdateAll();
}

bool CModelessMain::event(QEvent* event)
{
    if (event->type() == QEvent::StatusTip) {
        const QString tip = static_cast<QStatusTipEvent*>(event)->tip();
        if (tip.isEmpty())
            ShowIdlePrompt();
        else
            m_pStatusBar->showMessage(tip);
        return true;
    }
    return CModelessDialog::event(event);
}

} // namespace nimbra
