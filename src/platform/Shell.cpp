#include "platform/Shell.h"

#include "platform/Text.h"
#include "platform/UrlText.h"

#include <QDesktopServices>
#include <QProcess>
#include <QUrl>

namespace nimbra {

bool CShell::OpenDefault(const std::string& target)
{
    return QDesktopServices::openUrl(QUrl(ToQ(UrlFromText(target))));
}

bool CShell::Execute(const std::string& program, const std::string& parameters)
{
    return QProcess::startDetached(ToQ(program), QProcess::splitCommand(ToQ(parameters)));
}

} // namespace nimbra
