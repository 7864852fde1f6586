// What the engine's profile takes from the language and the system's
// settings. Apart from Language.cpp and SystemSettings.cpp, so that a
// program without the engine (the bookmark editor) uses those alone.
#include "platform/Language.h"
#include "platform/SystemSettings.h"

#include <QNetworkCookie>
#include <QWebEngineCookieStore>
#include <QWebEngineProfile>
#include <QWebEngineSettings>

#include <atomic>

namespace nimbra {

void ApplyLanguage(QWebEngineProfile* profile)
{
    profile->setHttpAcceptLanguage(QString::fromLatin1(kAcceptLanguage));
    profile->settings()->setDefaultTextEncoding(QStringLiteral("UTF-8"));
}

void CSystemSettings::ApplyCookiePolicy(QWebEngineProfile* profile) const
{
    // The filter runs on the engine's IO thread: it reads two atomic values.
    static std::atomic<bool> refuseFirst{false};
    static std::atomic<bool> refuseThird{false};
    const SCookieRules rules = CookieRules();
    refuseFirst.store(rules.refuseFirstParty);
    refuseThird.store(rules.refuseThirdParty);
    profile->setPersistentCookiesPolicy(rules.sessionOnly ? QWebEngineProfile::NoPersistentCookies
                                                          : QWebEngineProfile::AllowPersistentCookies);
    QWebEngineCookieStore* cookies = profile->cookieStore();
    cookies->setCookieFilter([](const QWebEngineCookieStore::FilterRequest& request) {
        return !(request.thirdParty ? refuseThird : refuseFirst).load(std::memory_order_relaxed);
    });
    // Session cookies refused alone: they go as soon as they come.
    static const char kWatch[] = "nimbraDropSessionCookies";
    if (!profile->property(kWatch).isValid())
        QObject::connect(cookies, &QWebEngineCookieStore::cookieAdded, profile, [profile, cookies](const QNetworkCookie& cookie) {
            if (profile->property(kWatch).toBool() && cookie.isSessionCookie())
                cookies->deleteCookie(cookie);
        });
    profile->setProperty(kWatch, rules.dropSessionCookies);
}

} // namespace nimbra
