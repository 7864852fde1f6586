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

bool CShell::Execute(const std::string& program, const std::vector<std::string>& arguments)
{
    QStringList list;
    for (const std::string& argument : arguments)
        list << ToQ(argument);
    return QProcess::startDetached(ToQ(program), list);
}

} // namespace nimbra
