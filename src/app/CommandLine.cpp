#include "app/CommandLine.h"

#include <QtWebEngineCore/qtwebenginecoreglobal.h>

namespace nimbra {

std::optional<std::string> InfoArgumentText(int argc, char** argv)
{
    switch (InfoArgument(argc, argv)) {
    case EInfoArgument::Help:
        return UsageText();
    case EInfoArgument::Version:
        return VersionText();
    case EInfoArgument::None:
        break;
    }
    return std::nullopt;
}

std::string UsageText()
{
    return "使い方: nimbrab [ページ ...]\n"
           "       nimbrab --help | --version\n"
           "\n"
           "ページは URL、ファイルのパス、インターネット ショートカット (.url)、シェル リンク (.lnk)、\n"
           "URL リスト ファイル (.nbl) のどれかで、それぞれ新しいタブで開きます。\n"
           "ブラウザがすでに動いているときは、ページをそのブラウザに渡して終わります。\n"
           "\n"
           + InfoOptionsHelp() + DataDirectoryHelp();
}

std::string VersionText()
{
    return std::string("Nimbra Browser ") + NIMBRA_VERSION_STRING + "\nQt " + qVersion() + "\nQt WebEngine "
           + qWebEngineVersion() + " (Chromium " + qWebEngineChromiumVersion() + ")\n";
}

} // namespace nimbra
