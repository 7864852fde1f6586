#include "app/ProgramStart.h"

#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/XDisplay.h"

#include <QGuiApplication>
#include <QString>

#include <cstdio>
#include <cstring>

namespace nimbra {

EInfoArgument InfoArgument(int argc, char** argv)
{
    if (argc != 2)
        return EInfoArgument::None;
    if (std::strcmp(argv[1], "--help") == 0)
        return EInfoArgument::Help;
    if (std::strcmp(argv[1], "--version") == 0)
        return EInfoArgument::Version;
    return EInfoArgument::None;
}

std::string InfoOptionsHelp()
{
    return "  --help     この説明を表示して終わります\n"
           "  --version  バージョンを表示して終わります\n"
           "\n";
}

std::string DataDirectoryHelp()
{
    const SDataDirectory dir = LocateDataDirectory();
    const char* source = dir.source == EDataDirSource::Environment ? "NIMBRA_HOME"
                         : dir.source == EDataDirSource::Program   ? "プログラムのフォルダ"
                                                                   : "ユーザーのデータ フォルダ";
    return "データ フォルダ (設定、ブックマーク、一覧、ページの保存場所) は次の順に決まります:\n"
           "  1. 環境変数 NIMBRA_HOME のフォルダ\n"
           "  2. プログラムのフォルダ (nimbrab.ini があるか書き込めるとき。インストール先は除く)\n"
           "  3. $XDG_DATA_HOME/nimbra-browser (既定は ~/.local/share/nimbra-browser)\n"
           "\n"
           "使用中のデータ フォルダ: "
           + dir.path + " (" + source + ")\n";
}

bool ReachDisplay(const char* program, int argc, char** argv)
{
    if (!RunsOnXDisplay(argc, argv))
        return true;
    const std::string reason = ReachXDisplay(argc, argv);
    if (reason.empty())
        return true;
    std::fprintf(stderr, "%s: 画面がないため起動できません。%s\n", program, reason.c_str());
    return false;
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
