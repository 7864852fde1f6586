#include "widgets/view/EngineServices.h"

#include "platform/Text.h"

#include <QHostAddress>
#include <QUrl>

namespace nimbra {

int UrlZone(const std::string& url)
{
    if (url.empty() || url.front() == '/')
        return URLZONE_LOCAL_MACHINE;
    const QUrl parsed(ToQ(url));
    const QString scheme = parsed.scheme().toLower();
    if (scheme == QLatin1String("file") || scheme == QLatin1String("qrc"))
        return URLZONE_LOCAL_MACHINE;
    if (scheme == QLatin1String("about"))
        return URLZONE_INTERNET;
    const QString host = parsed.host();
    if (host.isEmpty())
        return URLZONE_INTERNET;
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 || !host.contains('.'))
        return URLZONE_INTRANET;
    const QHostAddress address(host);
    if (!address.isNull()) {
        static const std::pair<QHostAddress, int> privateNets[] = {
            {QHostAddress(QStringLiteral("10.0.0.0")), 8},
            {QHostAddress(QStringLiteral("172.16.0.0")), 12},
            {QHostAddress(QStringLiteral("192.168.0.0")), 16},
            {QHostAddress(QStringLiteral("fc00::")), 7},
        };
        if (address.isLoopback() || address.isLinkLocal())
            return URLZONE_INTRANET;
        for (const auto& net : privateNets)
            if (address.isInSubnet(net.first, net.second))
                return URLZONE_INTRANET;
    }
    return URLZONE_INTERNET;
}

std::string CCookiePolicies::Preference(int zone) const
{
    const auto it = m_preferences.find(zone);
    return it == m_preferences.end() ? std::string() : it->second;
}

void CCookiePolicies::SetPreference(int zone, const std::string& text)
{
    m_preferences[zone] = text;
}

} // namespace nimbra
