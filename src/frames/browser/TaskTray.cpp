#include "frames/browser/TaskTray.h"

#include "data/settings/Settings.h"
#include "ui/MenuResource.h"
#include "platform/Ipc.h"
#include "platform/Paths.h"
#include "platform/Text.h"

#include <QApplication>
#include <QFileInfo>
#include <QImageReader>
#include <QMenu>
#include <QSystemTrayIcon>

namespace nimbra {

namespace {

constexpr int kTrayMenu = 189;
constexpr char kDefaultTip[] = "good bye :)";
constexpr qint64 kMaxIconFile = 4 * 1024 * 1024;
constexpr int kHostWatchMs = 2000;

std::function<bool()>& AvailabilityCheck()
{
    static std::function<bool()> check = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    return check;
}

bool IsIconImage(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isFile() || info.size() > kMaxIconFile)
        return false;
    QImageReader reader(path);
    return !reader.read().isNull();
}

void PostToEditor(quint32 id)
{
    ipc::PostWindowMessage(ipc::kEditorClass, ToQ(DataDirectory()), {id, 0, {}});
}

} // namespace

STrayLook TrayLook(const CFrameSettings& settings)
{
    if (settings.TaskIcon == 0)
        return {{}, kDefaultTip};
    const bool image = !settings.TaskIconPath.empty() && settings.TaskIconIndex == 0
                       && IsIconImage(ToQ(settings.TaskIconPath));
    return {image ? settings.TaskIconPath : std::string(), settings.TaskToolTip};
}

CTaskTray::CTaskTray(QWidget& window, CCommandRouter& router)
    : QObject(&window), m_window(window), m_pIcon(new QSystemTrayIcon(this)), m_pMenu(nullptr)
{
    if (const SMenu* menu = CMenuResource::Builtin().FindMenu(kTrayMenu); menu && !menu->items.empty())
        m_pMenu = BuildPopupMenu(menu->items.front(), router, &window);
    m_pIcon->setContextMenu(m_pMenu);
    connect(m_pIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            Q_EMIT Activated();
    });
    m_hostWatch.setInterval(kHostWatchMs);
    connect(&m_hostWatch, &QTimer::timeout, this, [this] {
        if (!IsAvailable())
            Q_EMIT HostLost();
    });
}

CTaskTray::~CTaskTray()
{
    if (m_bInTray)
        QApplication::setQuitOnLastWindowClosed(true);
}

bool CTaskTray::IsAvailable()
{
    return AvailabilityCheck()();
}

std::function<bool()> CTaskTray::SetAvailability(std::function<bool()> check)
{
    std::swap(AvailabilityCheck(), check);
    return check;
}

void CTaskTray::Hide(const STrayLook& look)
{
    if (m_bInTray)
        return;
    PostToEditor(ipc::kMsgHideWindow);
    // A hidden main window must not end the program when a dialog closes.
    QApplication::setQuitOnLastWindowClosed(false);
    m_window.hide();
    m_pIcon->setIcon(look.iconPath.empty() ? m_window.windowIcon() : QIcon(ToQ(look.iconPath)));
    m_pIcon->setToolTip(ToQ(look.tip));
    m_pIcon->show();
    m_bInTray = true;
    m_hostWatch.start();
}

void CTaskTray::Show()
{
    if (!m_bInTray)
        return;
    PostToEditor(ipc::kMsgShowWindow);
    RemoveIcon();
    m_window.show();
    m_window.raise();
    m_window.activateWindow();
}

void CTaskTray::Leave()
{
    if (!m_bInTray)
        return;
    PostToEditor(ipc::kMsgShowWindow);
    RemoveIcon();
}

void CTaskTray::RemoveIcon()
{
    m_hostWatch.stop();
    m_pIcon->hide();
    m_bInTray = false;
    QApplication::setQuitOnLastWindowClosed(true);
}

} // namespace nimbra
