#include "platform/SystemSettings.h"

#include <QSettings>
#include <QStandardPaths>

namespace nimbra {

namespace {
QSettings Store()
{
    return QSettings(QString::fromStdString(CSystemSettings::Path()), QSettings::IniFormat);
}
} // namespace

std::string CSystemSettings::Path()
{
    const QString path = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                         + QStringLiteral("/Orvane/system.conf");
    return path.toStdString();
}

int CSystemSettings::ProxyMode() const
{
    return Store().value("Internet Settings/ProxyMode", 0).toInt();
}

std::string CSystemSettings::ProxyServer() const
{
    return Store().value("Internet Settings/ProxyServer").toString().toStdString();
}

void CSystemSettings::SetProxy(int mode, const std::string& server)
{
    QSettings store = Store();
    store.setValue("Internet Settings/ProxyMode", mode);
    store.setValue("Internet Settings/ProxyServer", QString::fromStdString(server));
}

int CSystemSettings::CookiePolicy() const
{
    return Store().value("Internet Settings/CookiePolicy", 0).toInt();
}

void CSystemSettings::SetCookiePolicy(int policy)
{
    Store().setValue("Internet Settings/CookiePolicy", policy);
}

std::string CSystemSettings::StartPage() const
{
    return Store().value("Main/Start Page", "qrc:/start.html").toString().toStdString();
}

bool CSystemSettings::Offline() const
{
    return Store().value("Internet Settings/GlobalUserOffline", false).toBool();
}

void CSystemSettings::SetOffline(bool offline)
{
    Store().setValue("Internet Settings/GlobalUserOffline", offline);
}

} // namespace nimbra
