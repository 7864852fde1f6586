#include "app/CommandLine.h"

#include "platform/MessageBox.h"
#include "platform/Paths.h"

#include <QGuiApplication>
#include <QString>
#include <QtWebEngineCore/qtwebenginecoreglobal.h>

#include <cstdio>
#include <cstring>

namespace nimbra {

std::optional<std::string> InfoArgumentText(int argc, char** argv)
{
    if (argc != 2)
        return std::nullopt;
    if (std::strcmp(argv[1], "--help") == 0)
        return UsageText();
    if (std::strcmp(argv[1], "--version") == 0)
        return VersionText();
    return std::nullopt;
}

std::string UsageText()
{
    const SDataDirectory dir = LocateDataDirectory();
    const char* source = dir.source == EDataDirSource::Environment ? "NIMBRA_HOME"
                         : dir.source == EDataDirSource::Program   ? "プログラムのフォルダ"
                                                                   : "ユーザーのデータ フォルダ";
    return "使い方: nimbrab [ページ ...]\n"
           "       nimbrab --help | --version\n"
           "\n"
           "ページは URL、ファイルのパス、インターネット ショートカット (.url)、シェル リンク (.lnk)、\n"
           "URL リスト ファイル (.nbl) のどれかで、それぞれ新しいタブで開きます。\n"
           "ブラウザがすでに動いているときは、ページをそのブラウザに渡して終わります。\n"
           "\n"
           "  --help     この説明を表示して終わります\n"
           "  --version  バージョンを表示して終わります\n"
           "\n"
           "データ フォルダ (設定、ブックマーク、一覧、ページの保存場所) は次の順に決まります:\n"
           "  1. 環境変数 NIMBRA_HOME のフォルダ\n"
           "  2. プログラムのフォルダ (nimbrab.ini があるか書き込めるとき。インストール先は除く)\n"
           "  3. $XDG_DATA_HOME/nimbra-browser (既定は ~/.local/share/nimbra-browser)\n"
           "\n"
           "使用中のデータ フォルダ: "
           + dir.path + " (" + source + ")\n";
}

std::string VersionText()
{
    return std::string("Nimbra Browser ") + NIMBRA_VERSION_STRING + "\nQt " + qVersion() + "\nQt WebEngine "
           + qWebEngineVersion() + " (Chromium " + qWebEngineChromiumVersion() + ")\n";
}

bool OpenDataDirectory(const char* program)
{
    const std::string message = PrepareDataDirectory();
    if (message.empty())
        return true;
    std::fprintf(stderr, "%s: %s\n", program, message.c_str());
    const QString platform = QGuiApplication::platformName();
    if (platform != QStringLiteral("offscreen") && platform != QStringLiteral("minimal"))
        ShowMessage(nullptr, QString::fromStdString(message), QMessageBox::Critical);
    return false;
}

} // namespace nimbra
