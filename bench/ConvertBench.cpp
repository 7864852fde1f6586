// The editor's imports and exports on large inputs, each beside the plain
// work it cannot beat: a Netscape file of 50,000 links in 2,000 folders
// with a 4 KB icon on every third link against reading its lines, and a
// Favorites folder of 20,000 shortcuts in 1,000 folders against walking it
// and reading every file; the export also against plainly writing the same
// folders and files. The import reports its memory growth.
#include "data/bookmarks/BkConvert.h"
#include "platform/Shortcut.h"

#include <QDir>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <chrono>
#include <dirent.h>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <vector>

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

std::string FavoriteFolder(const std::string& root, int folder)
{
    return root + "/フォルダ " + std::to_string(folder);
}

std::string FavoriteFile(const std::string& folder, int link)
{
    return folder + "/リンク " + std::to_string(link) + ".url";
}

std::string FavoriteUrl(int link)
{
    return "http://example.org/" + std::to_string(link);
}

// The source of the imports and the export.
void WriteFavoritesSource(const std::string& root)
{
    for (int f = 0; f < kFavoriteFolders; ++f) {
        const std::string folder = FavoriteFolder(root, f);
        ::mkdir(folder.c_str(), 0777);
        for (int i = 0; i < kFavorites / kFavoriteFolders; ++i)
            std::ofstream(FavoriteFile(folder, i), std::ios::binary) << InternetShortcutText(FavoriteUrl(i));
    }
}

std::string MakeFavorites()
{
    const std::string root = g_dir->filePath(QStringLiteral("Favorites")).toStdString();
    ::mkdir(root.c_str(), 0777);
    WriteFavoritesSource(root);
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

// Wall and CPU time of one call.
struct STimes {
    double wallMs = 0;
    double cpuMs = 0;

    STimes& operator+=(const STimes& other)
    {
        wallMs += other.wallMs;
        cpuMs += other.cpuMs;
        return *this;
    }
};

double CpuMs()
{
    timespec now = {};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

template <typename Work>
STimes Time(Work work)
{
    const auto start = std::chrono::steady_clock::now();
    const double cpu = CpuMs();
    work();
    return {std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count(),
            CpuMs() - cpu};
}

// A folder of the tree written plainly: the folder made, each shortcut's
// bytes written once, under the names an export gives them here.
void WriteFolderPlainly(const BookmarkItem& folder, const std::string& parent)
{
    const std::string path = parent + "/" + folder.title;
    ::mkdir(path.c_str(), 0777);
    for (const BookmarkItem& link : folder.items)
        std::ofstream(path + "/" + link.title + ".url", std::ios::binary) << InternetShortcutText(link.url);
}

// The export beside what it cannot beat: the same folders and files written
// plainly. The two take turns folder by folder, each first in turn, into two
// sibling folders, so that both meet the same load and the same state of the
// file system. (On ext4 without a journal, each new file steps over the
// inodes freed in the last minutes, so the cost of making a file depends on
// what was removed nearby and when; for the same reason nothing is removed
// before the end.) The columns are the export's; the counters give both and
// their ratios.
void BM_FavoritesExport(benchmark::State& state)
{
    SBkProgress read;
    std::vector<BookmarkItem> folders;
    for (const BkItemPtr& item : ReadFavorites(g_favorites, read).items)
        folders.push_back(BookmarkItem::Folder({}, {ToBookmark(*item)}));
    STimes plain;
    STimes exported;
    std::vector<std::string> targets;
    int run = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::string round = g_dir->filePath(QStringLiteral("round%1").arg(run++)).toStdString();
        const std::string exportTarget = round + "/export";
        const std::string plainTarget = round + "/plain";
        for (const std::string& path : {round, exportTarget, plainTarget})
            ::mkdir(path.c_str(), 0777);
        targets.push_back(round);
        ::sync();
        for (size_t f = 0; f < folders.size(); ++f) {
            const auto writePlainly = [&] { plain += Time([&] { WriteFolderPlainly(folders[f].items.front(), plainTarget); }); };
            if (f % 2 != 0)
                writePlainly();
            state.ResumeTiming();
            exported += Time([&] {
                SBkProgress progress;
                if (WriteFavorites(folders[f], exportTarget, progress))
                    state.SkipWithError("export failed");
            });
            state.PauseTiming();
            if (f % 2 == 0)
                writePlainly();
        }
        state.ResumeTiming();
    }
    const auto average = [&](double total) { return benchmark::Counter(total, benchmark::Counter::kAvgIterations); };
    state.counters["plain_ms"] = average(plain.wallMs);
    state.counters["plain_cpu_ms"] = average(plain.cpuMs);
    state.counters["export_ms"] = average(exported.wallMs);
    state.counters["export_cpu_ms"] = average(exported.cpuMs);
    state.counters["ratio"] = exported.wallMs / plain.wallMs;
    state.counters["cpu_ratio"] = exported.cpuMs / plain.cpuMs;
    for (const std::string& target : targets)
        QDir(QString::fromStdString(target)).removeRecursively();
}
BENCHMARK(BM_FavoritesExport)->Unit(benchmark::kMillisecond)->Iterations(2);

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
