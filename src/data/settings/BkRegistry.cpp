#include "data/settings/BkRegistry.h"

#include "platform/Text.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

namespace nimbra::editor {

namespace {
constexpr char kSystemKeys[] = "system.conf";
} // namespace

ERegistryCleanup CleanRegistry(const std::string& configDir, bool browserRuns)
{
    if (browserRuns)
        return ERegistryCleanup::BrowserRuns;
    const QDir software(ToQ(configDir));
    if (configDir.empty() || !software.exists())
        return ERegistryCleanup::NotFound;
    const QString vendor = software.filePath(QStringLiteral("Orvane"));
    const QString key = vendor + QStringLiteral("/Nimbra Browser.conf");
    if (!QFile::exists(key))
        return ERegistryCleanup::NotFound;
    QFile::remove(key);

    QDir folder(vendor);
    const QStringList left = folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    if (QFile::exists(key) || !(left.isEmpty() || left == QStringList{QString::fromLatin1(kSystemKeys)}))
        return ERegistryCleanup::Failed;
    if (left.isEmpty() && !software.rmdir(QStringLiteral("Orvane")))
        return ERegistryCleanup::Failed;
    return ERegistryCleanup::Deleted;
}

std::string UserConfigDirectory()
{
    return FromQ(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
}

} // namespace nimbra::editor
