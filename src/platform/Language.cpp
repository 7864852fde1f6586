#include "platform/Language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QPointer>
#include <QTranslator>
#include <QWebEngineProfile>
#include <QWebEngineSettings>

namespace nimbra {

void UseJapanese()
{
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    static QPointer<QTranslator> translator;
    if (translator)
        return;
    translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(QLocale(QLocale::Japanese), QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
}

void ApplyLanguage(QWebEngineProfile* profile)
{
    profile->setHttpAcceptLanguage(QString::fromLatin1(kAcceptLanguage));
    profile->settings()->setDefaultTextEncoding(QStringLiteral("UTF-8"));
}

} // namespace nimbra
