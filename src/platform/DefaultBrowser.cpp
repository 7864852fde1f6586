#include "platform/DefaultBrowser.h"

#include "platform/AtomicFile.h"
#include "platform/Ini.h"
#include "platform/Text.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>

namespace nimbra {

namespace {

constexpr char kMimeAppsSection[] = "Default Applications";
constexpr char kKeptGroup[] = "DefaultBrowser";

struct SToolRun {
    std::string output;
    std::string error; // empty when the tool ran and succeeded
};

SToolRun RunTool(const QString& program, const QStringList& arguments, int timeoutMs)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted(timeoutMs))
        return {{}, FromQ(QStringLiteral("%1 を起動できません。xdg-utils をインストールしてください。").arg(program))};
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(1000);
        return {{}, FromQ(QStringLiteral("%1 が %2 秒以内に終わりませんでした。").arg(program).arg((timeoutMs + 999) / 1000))};
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        const QString detail = QString::fromLocal8Bit(process.readAllStandardError()).trimmed().left(300);
        return {{}, FromQ(QStringLiteral("%1 がエラーで終了しました (%2)。%3").arg(program).arg(process.exitCode()).arg(detail))};
    }
    return {Trim(process.readAllStandardOutput().toStdString()), {}};
}

std::string DataHome()
{
    const QString env = qEnvironmentVariable("XDG_DATA_HOME");
    return FromQ(QDir::isAbsolutePath(env) ? env : QDir::homePath() + QStringLiteral("/.local/share"));
}

std::string MimeAppsPath()
{
    const QString env = qEnvironmentVariable("XDG_CONFIG_HOME");
    return FromQ((QDir::isAbsolutePath(env) ? env : QDir::homePath() + QStringLiteral("/.config"))
                 + QStringLiteral("/mimeapps.list"));
}

// The program's own settings (its registry key).
class CProgramSettings : public QSettings {
public:
    CProgramSettings() : QSettings(QStringLiteral("Orvane"), QStringLiteral("Nimbra Browser")) {}
};

std::string Failed(const std::string& detail)
{
    return "標準ブラウザの設定を変更できませんでした。\n" + detail;
}

// Keeps the handlers this program replaces, once: a second check keeps the
// first ones.
std::string KeepCurrentDefaults(int timeoutMs)
{
    CProgramSettings kept;
    if (kept.childGroups().contains(QString::fromLatin1(kKeptGroup)))
        return {};
    QStringList handlers;
    for (const std::string& type : DefaultBrowserTypes()) {
        const SToolRun run = RunTool(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"), ToQ(type)}, timeoutMs);
        if (!run.error.empty())
            return run.error;
        handlers << (run.output == kDesktopFileName ? QString() : ToQ(run.output));
    }
    // xdg-settings fails where it knows no desktop; then nothing is kept for it.
    const SToolRun browser = RunTool(QStringLiteral("xdg-settings"), {QStringLiteral("get"), QStringLiteral("default-web-browser")}, timeoutMs);
    kept.beginGroup(QString::fromLatin1(kKeptGroup));
    kept.setValue(QStringLiteral("Handlers"), handlers);
    kept.setValue(QStringLiteral("WebBrowser"), browser.output == kDesktopFileName ? QString() : ToQ(browser.output));
    kept.endGroup();
    kept.sync();
    return kept.status() == QSettings::NoError ? std::string() : "設定を保存できません: " + FromQ(kept.fileName());
}

std::string GiveBack(const SDefaultBrowserSetup& setup);

std::string TakeSteps(const SDefaultBrowserSetup& setup)
{
    const std::string path = DesktopEntryPath();
    QDir().mkpath(QFileInfo(ToQ(path)).absolutePath());
    std::string error;
    if (!WriteFileAtomically(path, DesktopEntryText(setup), &error))
        return path + ": " + error;
    if (std::string kept = KeepCurrentDefaults(setup.timeoutMs); !kept.empty())
        return kept;
    QStringList arguments{QStringLiteral("default"), QString::fromLatin1(kDesktopFileName)};
    for (const std::string& type : DefaultBrowserTypes())
        arguments << ToQ(type);
    if (SToolRun run = RunTool(QStringLiteral("xdg-mime"), arguments, setup.timeoutMs); !run.error.empty())
        return run.error;
    return RunTool(QStringLiteral("xdg-settings"),
                   {QStringLiteral("set"), QStringLiteral("default-web-browser"), QString::fromLatin1(kDesktopFileName)},
                   setup.timeoutMs).error;
}

// A role taken halfway is given back, so the desktop stays as it was.
std::string Take(const SDefaultBrowserSetup& setup)
{
    const std::string error = TakeSteps(setup);
    if (!error.empty())
        GiveBack(setup);
    return error;
}

// Goes on after a failed step, so as much as possible is given back; the
// kept defaults stay for another try when anything failed.
std::string GiveBack(const SDefaultBrowserSetup& setup)
{
    CProgramSettings kept;
    kept.beginGroup(QString::fromLatin1(kKeptGroup));
    const QStringList handlers = kept.value(QStringLiteral("Handlers")).toStringList();
    const QString browser = kept.value(QStringLiteral("WebBrowser")).toString();
    kept.endGroup();
    std::string error;
    const auto note = [&error](const std::string& failed) {
        if (error.empty())
            error = failed;
    };
    if (!browser.isEmpty())
        note(RunTool(QStringLiteral("xdg-settings"), {QStringLiteral("set"), QStringLiteral("default-web-browser"), browser},
                     setup.timeoutMs).error);
    // Each type gets its kept handler back; where none was kept, our line goes.
    CIniFile mimeApps(MimeAppsPath());
    const std::vector<std::string>& types = DefaultBrowserTypes();
    for (size_t i = 0; i < types.size(); ++i) {
        const QString handler = i < size_t(handlers.size()) ? handlers[int(i)] : QString();
        if (!handler.isEmpty())
            note(RunTool(QStringLiteral("xdg-mime"), {QStringLiteral("default"), handler, ToQ(types[i])}, setup.timeoutMs).error);
        else if (mimeApps.GetString(kMimeAppsSection, types[i], "") == kDesktopFileName
                 && !mimeApps.DeleteKey(kMimeAppsSection, types[i]))
            note(MimeAppsPath() + " を書き換えられません。");
    }
    QFile::remove(ToQ(DesktopEntryPath()));
    if (error.empty()) {
        kept.remove(QString::fromLatin1(kKeptGroup));
        kept.sync();
    }
    return error;
}

} // namespace

const std::vector<std::string>& DefaultBrowserTypes()
{
    // xdg-settings adds "about" and "unknown" to the entry when missing, and
    // then waits seconds for the desktop to notice: the entry has them.
    static const std::vector<std::string> types = {
        "text/html", "application/xhtml+xml", "application/x-mimearchive", "x-scheme-handler/http",
        "x-scheme-handler/https", "x-scheme-handler/about", "x-scheme-handler/unknown",
    };
    return types;
}

std::string DesktopExecArgument(const std::string& argument)
{
    static const std::string reserved = " \t\n\"'\\><~|&;$*?#()`";
    std::string quoted;
    const bool quote = argument.empty() || argument.find_first_of(reserved) != std::string::npos;
    for (char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            quoted += '\\';
        quoted += c;
        if (c == '%')
            quoted += '%';
    }
    if (quote)
        quoted = '"' + quoted + '"';
    // The string-value escape comes on top of the quoting.
    std::string value;
    for (char c : quoted) {
        if (c == '\\')
            value += '\\';
        value += c;
    }
    return value;
}

std::string DesktopExecLine(const std::string& programPath, const std::string& nimbraHome)
{
    std::string line;
    if (!nimbraHome.empty())
        line = "env " + DesktopExecArgument("NIMBRA_HOME=" + nimbraHome) + " ";
    return line + DesktopExecArgument(programPath) + " %U";
}

std::string DesktopEntryText(const SDefaultBrowserSetup& setup)
{
    std::string mimeTypes;
    for (const std::string& type : DefaultBrowserTypes())
        mimeTypes += type + ";";
    return "[Desktop Entry]\r\nType=Application\r\nName=Nimbra Browser\r\nComment=タブ ブラウザ\r\n"
           "Exec=" + OneLine(DesktopExecLine(setup.programPath, setup.nimbraHome))
        + "\r\nIcon=nimbrab\r\nTerminal=false\r\nCategories=Network;WebBrowser;\r\nMimeType=" + mimeTypes + "\r\n";
}

std::string DesktopEntryPath()
{
    return DataHome() + "/applications/" + kDesktopFileName;
}

SDefaultBrowserQuery QueryDefaultBrowser(int timeoutMs)
{
    const SToolRun run = RunTool(QStringLiteral("xdg-mime"),
                                 {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("x-scheme-handler/http")}, timeoutMs);
    if (!run.error.empty())
        return {std::nullopt, run.error};
    return {run.output == kDesktopFileName, {}};
}

std::string SetDefaultBrowser(const SDefaultBrowserSetup& setup, bool on)
{
    const std::string error = on ? Take(setup) : GiveBack(setup);
    return error.empty() ? error : Failed(error);
}

} // namespace nimbra
