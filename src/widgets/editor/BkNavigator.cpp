#include "widgets/editor/BkNavigator.h"

#include "platform/Ipc.h"
#include "platform/Paths.h"
#include "platform/Shell.h"
#include "platform/Text.h"

#include <QProcess>

namespace nimbra::editor {

namespace {
constexpr quint64 kBookmarkDataTag = 777;
} // namespace

CBkNavigator::CBkNavigator()
    : m_shell(std::make_unique<CShell>())
    , m_start([](const QString& program, const QStringList& arguments) {
        return QProcess::startDetached(program, arguments);
    })
{
}

CBkNavigator::~CBkNavigator() = default;

void CBkNavigator::SetShell(std::unique_ptr<CShell> shell)
{
    m_shell = std::move(shell);
}

QString CBkNavigator::BrowserProgram()
{
    return ToQ(ProgramDirectory()) + QStringLiteral("/nimbrab");
}

ENavigation CBkNavigator::Navigate(const std::string& url, bool dblClkNavi, bool naviShell)
{
    if (!dblClkNavi || url.empty())
        return ENavigation::Off;
    if (naviShell)
        return m_shell->OpenDefault(url) ? ENavigation::Shell : ENavigation::Failed;
    const QString dir = ToQ(DataDirectory());
    if (ipc::FindWindow(ipc::kBrowserClass, dir)) {
        ipc::SendWindowMessage(ipc::kBrowserClass, dir, ipc::MakeCopyData(kBookmarkDataTag, url));
        ipc::PostWindowMessage(ipc::kBrowserClass, dir, {ipc::kMsgFlashWindow, 0, {}});
        return ENavigation::Sent;
    }
    // The URL is the one argument; the browser would take "-..." as an option.
    if (url.front() == '-')
        return ENavigation::Refused;
    return m_start(BrowserProgram(), {ToQ(url)}) ? ENavigation::Started : ENavigation::Failed;
}

ENavigation CBkNavigator::ShowBrowser()
{
    const QString dir = ToQ(DataDirectory());
    if (ipc::FindWindow(ipc::kBrowserClass, dir)) {
        ipc::PostWindowMessage(ipc::kBrowserClass, dir, {ipc::kMsgActivateWindow, 0, {}});
        return ENavigation::Sent;
    }
    return m_start(BrowserProgram(), {}) ? ENavigation::Started : ENavigation::Failed;
}

} // namespace nimbra::editor
