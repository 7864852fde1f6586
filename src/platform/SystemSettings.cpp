#include "platform/SystemSettings.h"

#include "platform/Paths.h"

#include <QNetworkProxyFactory>
#include <QSettings>
#include <QStandardPaths>
#include <QUrl>
#include <QWebEngineCookieStore>
#include <QWebEngineProfile>
#include <atomic>

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
    const std::string file = ResourceFile("start.html");
    const QString bundled = file.empty() ? QStringLiteral("qrc:/start.html")
                                         : QUrl::fromLocalFile(QString::fromStdString(file)).toString();
    return Store().value("Main/Start Page", bundled).toString().toStdString();
}

bool CSystemSettings::Offline() const
{
    return Store().value("Internet Settings/GlobalUserOffline", false).toBool();
}

void CSystemSettings::SetOffline(bool offline)
{
    Store().setValue("Internet Settings/GlobalUserOffline", offline);
}

QNetworkProxy ParseProxyServer(const std::string& server)
{
    const QString text = QString::fromStdString(server).trimmed();
    QString http;
    QString socks;
    for (const QString& entry : text.split(';', Qt::SkipEmptyParts)) {
        const QString item = entry.trimmed();
        const qsizetype eq = item.indexOf('=');
        if (eq < 0) {
            if (http.isEmpty())
                http = item;
            continue;
        }
        const QString kind = item.left(eq).trimmed().toLower();
        if (kind == QLatin1String("http") && http.isEmpty())
            http = item.mid(eq + 1).trimmed();
        else if (kind == QLatin1String("socks") && socks.isEmpty())
            socks = item.mid(eq + 1).trimmed();
    }
    const bool useSocks = http.isEmpty();
    const QString hostPort = useSocks ? socks : http;
    const qsizetype colon = hostPort.lastIndexOf(':');
    const QString host = colon > 0 ? hostPort.left(colon) : hostPort;
    bool ok = true;
    const int port = colon > 0 ? hostPort.mid(colon + 1).toInt(&ok) : (useSocks ? 1080 : 80);
    if (host.isEmpty() || !ok || port <= 0 || port > 65535)
        return QNetworkProxy(QNetworkProxy::NoProxy);
    return QNetworkProxy(useSocks ? QNetworkProxy::Socks5Proxy : QNetworkProxy::HttpProxy, host, quint16(port));
}

void CSystemSettings::ApplyProxy() const
{
    switch (ProxyMode()) {
    case 1:
        QNetworkProxyFactory::setUseSystemConfiguration(false);
        QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::NoProxy));
        break;
    case 2:
        QNetworkProxyFactory::setUseSystemConfiguration(false);
        QNetworkProxy::setApplicationProxy(ParseProxyServer(ProxyServer()));
        break;
    default:
        QNetworkProxyFactory::setUseSystemConfiguration(true);
        break;
    }
}

void CSystemSettings::ApplyCookiePolicy(QWebEngineProfile* profile) const
{
    // The filter runs on the engine's IO thread: it reads one atomic value.
    static std::atomic<int> policy{0};
    policy.store(CookiePolicy());
    profile->setPersistentCookiesPolicy(policy.load() == 2 ? QWebEngineProfile::NoPersistentCookies
                                                           : QWebEngineProfile::AllowPersistentCookies);
    profile->cookieStore()->setCookieFilter([](const QWebEngineCookieStore::FilterRequest& request) {
        const int p = policy.load(std::memory_order_relaxed);
        return p != 3 && !(p == 1 && request.thirdParty);
    });
}

} // namespace nimbra
