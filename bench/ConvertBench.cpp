// The editor's imports and exports on large inputs, each beside the plain
// work it cannot beat: a Netscape file of 50,000 links in 2,000 folders
// with a 4 KB icon on every third link against reading its lines, and a
// Favorites folder of 20,000 shortcuts in 1,000 folders against walking it
// and reading every file; the export also against plainly writing as many
// files. The import reports its memory growth.
#include "editor/BkConvert.h"
#include "platform/Shortcut.h"

#include <QDir>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <dirent.h>
#include <fstream>
#include <string>
#include <sys/stat.h>

namespace {

using namespace nimbra;
using namespace nimbra::editor;

constexpr int kFolders = 2000;
constexpr int kLinks = 50000;
constexpr int kFavoriteFolders = 1000;
constexpr int kFavorites = 20000;

QTemporaryDir* g_dir = nullptr;
std::string g_netscape;
std::string g_favorites;

std::string MakeNetscape()
{
    const std::string path = g_dir->filePath(QStringLiteral("bookmarks.html")).toStdString();
    std::ofstream out(path, std::ios::binary);
    const std::string icon = "data:image/png;base64," + std::string(4096, 'A');
    out << "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; "
           "charset=UTF-8\">\n<TITLE>Bookmarks</TITLE>\n<H1>Bookmarks</H1>\n<DL><p>\n";
    int link = 0;
    for (int f = 0; f < kFolders; ++f) {
        out << "    <DT><H3 ADD_DATE=\"1\">フォルダ " << f << "</H3>\n    <DL><p>\n";
        for (int i = 0; i < kLinks / kFolders; ++i, ++link) {
            out << "        <DT><A HREF=\"http://example.org/" << link << "?a=1&amp;b=2\" ADD_DATE=\"1\"";
            if (link % 3 == 0)
                out << " ICON=\"" << icon << "\"";
            out << ">リンク " << link << "</A>\n";
        }
        out << "    </DL><p>\n";
    }
    out << "</DL><p>\n";
    return path;
}

std::string MakeFavorites()
{
    const std::string root = g_dir->filePath(QStringLiteral("Favorites")).toStdString();
    for (int f = 0; f < kFavoriteFolders; ++f) {
        const std::string folder = root + "/フォルダ " + std::to_string(f);
        QDir().mkpath(QString::fromStdString(folder));
        for (int i = 0; i < kFavorites / kFavoriteFolders; ++i)
            WriteInternetShortcut(folder + "/リンク " + std::to_string(i) + ".url", "http://example.org/" + std::to_string(i));
    }
    return root;
}

long PeakRssKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    }
    return 0;
}

long RssKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    }
    return 0;
}

void BM_NetscapePlainLines(benchmark::State& state)
{
    for (auto _ : state) {
        std::ifstream in(g_netscape, std::ios::binary);
        std::string line;
        size_t lines = 0;
        while (std::getline(in, line))
            ++lines;
        benchmark::DoNotOptimize(lines);
    }
}
BENCHMARK(BM_NetscapePlainLines)->Unit(benchmark::kMillisecond);

void BM_NetscapeImport(benchmark::State& state)
{
    // The peak starts again from here ("5" resets VmHWM).
    std::ofstream("/proc/self/clear_refs") << "5";
    const long before = RssKb();
    for (auto _ : state) {
        SBkProgress progress;
        SBkImport result = ReadNetscapeFile(g_netscape, progress);
        if (result.items.size() != size_t(kFolders))
            state.SkipWithError("wrong tree");
        benchmark::DoNotOptimize(result);
    }
    state.counters["growth_MB"] = double(PeakRssKb() - before) / 1024.0;
}
BENCHMARK(BM_NetscapeImport)->Unit(benchmark::kMillisecond);

void Walk(const std::string& path, size_t& bytes)
{
    DIR* dir = ::opendir(path.c_str());
    if (!dir)
        return;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        const std::string full = path + "/" + name;
        struct stat info = {};
        if (::stat(full.c_str(), &info) != 0)
            continue;
        if (S_ISDIR(info.st_mode)) {
            Walk(full, bytes);
        } else {
            std::ifstream in(full, std::ios::binary);
            bytes += std::string(std::istreambuf_iterator<char>(in), {}).size();
        }
    }
    ::closedir(dir);
}

void BM_FavoritesPlainWalk(benchmark::State& state)
{
    for (auto _ : state) {
        size_t bytes = 0;
        Walk(g_favorites, bytes);
        benchmark::DoNotOptimize(bytes);
    }
}
BENCHMARK(BM_FavoritesPlainWalk)->Unit(benchmark::kMillisecond);

// What an export cannot beat: a folder made and a small file written per
// entry, plainly.
void BM_FavoritesPlainWrite(benchmark::State& state)
{
    const std::string text = "[InternetShortcut]\r\nURL=http://example.org/0\r\n";
    int run = 0;
    for (auto _ : state) {
        const std::string target = g_dir->filePath(QStringLiteral("plain%1").arg(run++)).toStdString();
        for (int f = 0; f < kFavoriteFolders; ++f) {
            const std::string folder = target + "/フォルダ " + std::to_string(f);
            QDir().mkpath(QString::fromStdString(folder));
            for (int i = 0; i < kFavorites / kFavoriteFolders; ++i)
                std::ofstream(folder + "/リンク " + std::to_string(i) + ".url", std::ios::binary) << text;
        }
        state.PauseTiming();
        QDir(QString::fromStdString(target)).removeRecursively();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_FavoritesPlainWrite)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_FavoritesImport(benchmark::State& state)
{
    for (auto _ : state) {
        SBkProgress progress;
        SBkImport result = ReadFavorites(g_favorites, progress);
        if (progress.done != kFavorites)
            state.SkipWithError("wrong count");
        benchmark::DoNotOptimize(result);
    }
}
BENCHMARK(BM_FavoritesImport)->Unit(benchmark::kMillisecond);

void BM_FavoritesExport(benchmark::State& state)
{
    SBkProgress read;
    BookmarkItem tree = BookmarkItem::Folder({});
    for (const BkItemPtr& item : ReadFavorites(g_favorites, read).items)
        tree.items.push_back(ToBookmark(*item));
    int run = 0;
    for (auto _ : state) {
        const QString target = g_dir->filePath(QStringLiteral("export%1").arg(run++));
        QDir().mkpath(target);
        SBkProgress progress;
        if (WriteFavorites(tree, target.toStdString(), progress))
            state.SkipWithError("export failed");
        state.PauseTiming();
        QDir(target).removeRecursively();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_FavoritesExport)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir dir;
    g_dir = &dir;
    g_netscape = MakeNetscape();
    g_favorites = MakeFavorites();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
