// The history at a large size beside an empty one: 1,000,000 visits (each a
// page of its own, over two years, 2,000 of them today) and 100,000 page
// copies, made through the database's own calls and kept in a cache folder
// so that they are made once. Each run, first with an empty database, then
// with the large one:
//   start     - what the browser's start does with the history: the open on
//               the UI thread, the history tree's first level and the search
//               pane's listing (both shown at start);
//               the longest UI-thread stall meanwhile, the CPU the start
//               took on other threads, and a fixed piece of work standing
//               for the first page, run meanwhile on two threads
//   check     - when the check of the file at its open is done (it begins
//               when the first-page stand-in has finished)
//   tree      - the first level of the tree, and "今日" opened
//   search    - a word in the whole history (today-only off) through the
//               search pane: first rows in the list, whole answer, the
//               longest UI-thread stall; a rare word (about 2,000 rows) and
//               a common one (about 100,000)
//   completion - the address bar's completion source (AutoComplete=1 only)
// Medians and ranges over the runs.
//   history_scale_program [runs=5] [visits=1000000] [copies=100000] [folder] [parts=start,tree,search,completion]
#include "CpuClock.h"
#include "data/settings/Settings.h"
#include "data/sidebar/HistorySearch.h"
#include "platform/HistoryDb.h"
#include "platform/StallMeter.h"
#include "platform/Text.h"
#include "widgets/bars/AddressCombo.h"
#include "widgets/sidebar/HistorySearchPane.h"
#include "widgets/sidebar/HistoryTree.h"

#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <map>
#include <sys/resource.h>
#include <thread>

using namespace nimbra;

namespace {

const char* const kWords[] = {"日本語", "検索", "履歴", "ページ", "東京", "天気", "情報", "表示", "alpha",
                              "browser", "history", "search", "index", "query", "table", "zone"};

std::string Page(unsigned seed, bool rare)
{
    unsigned x = seed * 2654435761u + 1;
    auto next = [&] { return x = x * 1103515245u + 12345u, (x >> 16) & 0x7FFF; };
    const size_t size = 1024 + next() % 2048;
    std::string page = "<html><body><p>";
    while (page.size() < size) {
        page += kWords[next() % 16];
        page += (next() % 12 == 0) ? "</p>\n<p>" : " ";
    }
    if (rare)
        page += "rareword ";
    return page + "</p></body></html>";
}

// Makes the large history in `path` unless a complete one is there.
void Fill(const std::string& path, int visits, int copies)
{
    const QString done = ToQ(path) + QStringLiteral(".complete");
    if (QFile::exists(done)) {
        std::printf("history: %d visits, %d copies, reused from %s\n", visits, copies, path.c_str());
        return;
    }
    for (const char* suffix : {"", "-wal", "-shm"})
        QFile::remove(ToQ(path + suffix));
    QElapsedTimer t;
    t.start();
    CHistoryDb db(path);
    const long long now = QDateTime::currentSecsSinceEpoch();
    const long long todayStart = HistoryDayStart(QDate::currentDate());
    const int today = 2000;
    const long long todaySpan = std::max(1ll, now - todayStart);
    const long long step = 730ll * 86400 / std::max(1, visits - today);
    const int copyEvery = std::max(1, visits / std::max(1, copies));
    for (int i = 0; i < visits; ++i) {
        const std::string url = std::string(i % 4 == 0 ? "https" : "http") + "://site" + std::to_string(i % 2000)
                                + ".example.com/" + (i % 3 == 0 ? "news/" : "page/") + std::to_string(i);
        std::string title = "ページ " + std::to_string(i);
        if (i % 1000 == 7)
            title += " rareword";
        if (i % 10 == 3)
            title += " commonword";
        const long long when = i >= visits - today ? todayStart + (i - (visits - today)) * todaySpan / today
                                                   : todayStart - 1 - (visits - today - 1 - i) * step;
        db.AddVisit(url, title, when);
        if (i % copyEvery == 0)
            db.SetCachedCopy(url, Page(unsigned(i), (i / copyEvery) % 100 == 50), when);
        if (i % 5000 == 4999) {
            db.Flush();
            if (i % 100000 == 99999)
                std::printf("  %d visits written, %.0f s\n", i + 1, double(t.elapsed()) / 1000);
            std::fflush(stdout);
        }
    }
    db.Flush();
    QFile file(done);
    file.open(QIODevice::WriteOnly);
    std::printf("history: %d visits, %d copies, made in %.0f s\n", visits, copies, double(t.elapsed()) / 1000);
}

class CHost : public IHistoryHost {
public:
    CHost(std::shared_ptr<CHistoryDb> db, const std::string& ini) : m_db(std::move(db)), m_settings(ini) {}
    std::shared_ptr<CHistoryDb> History() const override { return m_db; }
    void Navigate(const std::string&) override {}
    void OpenNewTab(const std::string&) override {}
    void SetStatusText(const std::string&) override {}
    void FocusView() override {}
    bool IsBarVisible() const override { return true; }
    CSettings& Settings() const override { return m_settings; }

private:
    std::shared_ptr<CHistoryDb> m_db;
    mutable CSettings m_settings;
};

// Runs the event loop until `done`.
template <class F>
void SpinUntil(F done)
{
    while (!done())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

// The stand-in for the first page: fixed work on two threads, its wall time.
struct SPageWork {
    std::atomic<bool> finished{false};
    double ms = 0;
    std::atomic<double> cpuMs{0};
    std::thread thread;
    void Start()
    {
        thread = std::thread([this] {
            QElapsedTimer t;
            t.start();
            auto work = [this] {
                const double cpu = ThreadCpuMs();
                volatile unsigned long long x = 1;
                for (unsigned long long i = 0; i < 150'000'000ull; ++i)
                    x = x * 6364136223846793005ull + i;
                cpuMs.fetch_add(ThreadCpuMs() - cpu);
            };
            std::thread other(work);
            work();
            other.join();
            ms = double(t.nsecsElapsed()) / 1e6;
            finished = true;
        });
    }
    void Join() { thread.join(); }
};

using Figures = std::map<std::string, std::vector<double>>;

void Start(const std::string& path, const std::string& ini, Figures& f)
{
    CStallMeter meter;
    meter.Start();
    SPageWork page;
    const double cpuBefore = ProcessCpuMs();
    const double uiBefore = ThreadCpuMs();
    QElapsedTimer t;
    t.start();
    page.Start();
    // As in the browser: the check of the file waits for the first page.
    auto db = std::make_shared<CHistoryDb>(path, kCopyBudgetBytes, std::function<void(const std::string&)>{}, true);
    f["start: open on the UI thread"].push_back(double(t.nsecsElapsed()) / 1e6);
    std::atomic<double> checked{-1};
    std::thread check([&] {
        db->OpenMessage();
        checked = double(t.nsecsElapsed()) / 1e6;
    });
    CHost host(db, ini);
    CHistoryTree tree(host);
    bool level = false;
    QObject::connect(&tree, &CHistoryTree::LevelFilled, [&] { level = true; });
    tree.OnActivate();
    double levelMs = -1;
    CHistorySearchPane pane(host);
    bool listed = false;
    QObject::connect(&pane, &CHistorySearchPane::Finished, [&] { listed = true; });
    pane.OnActivate();
    double listedMs = -1;
    SpinUntil([&] {
        if (level && levelMs < 0)
            levelMs = double(t.nsecsElapsed()) / 1e6;
        if (listed && listedMs < 0)
            listedMs = double(t.nsecsElapsed()) / 1e6;
        return levelMs >= 0 && listedMs >= 0;
    });
    const double startMs = double(t.nsecsElapsed()) / 1e6;
    f["start: tree first level shown"].push_back(levelMs);
    f["start: search pane listed (today)"].push_back(listedMs);
    f["start: all of it"].push_back(startMs);
    f["start: longest UI stall"].push_back(meter.LongestMs());
    f["start: UI-thread CPU"].push_back(ThreadCpuMs() - uiBefore);
    SpinUntil([&] { return page.finished.load(); });
    db->StartCheck();
    page.Join();
    f["start: first-page stand-in (2 threads)"].push_back(page.ms);
    check.join();
    f["start: check at open done"].push_back(checked.load());
    f["start: CPU of the history's own threads"].push_back(ProcessCpuMs() - cpuBefore - (ThreadCpuMs() - uiBefore)
                                                           - page.cpuMs);
}

// The address bar's completion source (with AutoComplete=1, built when the
// bar first takes the focus), as it builds it on a worker.
void Completion(const std::shared_ptr<CHistoryDb>& db, Figures& f)
{
    const double cpu = ProcessCpuMs();
    QElapsedTimer t;
    t.start();
    auto completion = QtConcurrent::run([db] {
        std::vector<std::string> urls;
        for (SHistoryEntry& entry : db->Enumerate({}))
            urls.push_back(std::move(entry.url));
        return std::make_shared<const CUrlCompletionIndex>(std::move(urls));
    });
    completion.waitForFinished();
    f["completion source (AutoComplete=1): ready"].push_back(double(t.nsecsElapsed()) / 1e6);
    f["completion source (AutoComplete=1): CPU"].push_back(ProcessCpuMs() - cpu);
}

// The longest stall with nothing to do: what the machine's load alone makes.
void Idle(Figures& f)
{
    CStallMeter meter;
    meter.Start();
    QElapsedTimer t;
    t.start();
    SpinUntil([&] { return t.elapsed() >= 2000; });
    f["idle: longest UI stall in 2 s (the machine's noise)"].push_back(meter.LongestMs());
}

void Tree(const std::shared_ptr<CHistoryDb>& db, const std::string& ini, Figures& f)
{
    CHost host(db, ini);
    CHistoryTree tree(host);
    int levels = 0;
    QObject::connect(&tree, &CHistoryTree::LevelFilled, [&] { ++levels; });
    QElapsedTimer t;
    t.start();
    tree.Reload();
    SpinUntil([&] { return levels == 1; });
    f["tree: first level"].push_back(double(t.nsecsElapsed()) / 1e6);
    QTreeWidgetItem* today = tree.topLevelItemCount() > 0 ? tree.topLevelItem(0) : nullptr;
    if (!today || today->text(0) != QStringLiteral("今日"))
        return;
    t.start();
    today->setExpanded(true);
    SpinUntil([&] { return levels == 2; });
    f["tree: 今日 opened"].push_back(double(t.nsecsElapsed()) / 1e6);
    f["tree: 今日 sites"].push_back(today->childCount());
}

void Search(const std::shared_ptr<CHistoryDb>& db, const std::string& ini, const char* word, Figures& f)
{
    CHost host(db, ini);
    host.Settings().WriteInt(EKey::FLCFilterToday, 2);
    CHistorySearchPane pane(host);
    pane.show();
    CStallMeter meter;
    meter.Start();
    bool finished = false;
    QObject::connect(&pane, &CHistorySearchPane::Finished, [&] { finished = true; });
    double firstMs = -1;
    QElapsedTimer t;
    auto rowsCame = [&] {
        if (firstMs < 0 && pane.Model()->rowCount() > 0)
            firstMs = double(t.nsecsElapsed()) / 1e6;
    };
    QObject::connect(pane.Model(), &QAbstractItemModel::rowsInserted, rowsCame);
    QObject::connect(pane.Model(), &QAbstractItemModel::layoutChanged, rowsCame);
    pane.TextBox()->setEditText(QString::fromUtf8(word));
    QCoreApplication::processEvents();
    meter.Reset();
    t.start();
    pane.Button(1142)->click();
    SpinUntil([&] { return finished; });
    const std::string name = std::string("search \"") + word + "\": ";
    f[name + "first rows"].push_back(firstMs);
    f[name + "whole answer"].push_back(double(t.nsecsElapsed()) / 1e6);
    f[name + "longest UI stall"].push_back(meter.LongestMs());
    f[name + "rows"].push_back(pane.Model()->rowCount());
}

void Print(const char* title, const Figures& f)
{
    std::printf("\n%s\n", title);
    for (auto [name, values] : f) {
        std::sort(values.begin(), values.end());
        std::printf("  %-58s median %9.1f  range %9.1f .. %9.1f\n", name.c_str(), values[values.size() / 2],
                    values.front(), values.back());
    }
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const int visits = argc > 2 ? std::max(1000, std::atoi(argv[2])) : 1000000;
    const int copies = argc > 3 ? std::max(10, std::atoi(argv[3])) : 100000;
    const QString folder = argc > 4 && *argv[4] ? QString::fromLocal8Bit(argv[4])
                                    : QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)
                                          + QStringLiteral("/nimbra-bench/history-%1-%2").arg(visits).arg(copies);
    const QString parts = argc > 5 ? QString::fromLatin1(argv[5]) : QStringLiteral("start,tree,search,completion");
    QDir().mkpath(folder);
    const std::string path = FromQ(folder) + "/history.db";
    Fill(path, visits, copies);
    std::printf("history.db: %.0f MB\n", double(QFileInfo(ToQ(path)).size()) / 1e6);

    QTemporaryDir temp;
    const std::string ini = FromQ(temp.path()) + "/nimbrab.ini";
    Figures empty;
    Figures full;
    for (int run = 0; run < runs; ++run) {
        QTemporaryDir emptyDir;
        const std::string emptyPath = FromQ(emptyDir.path()) + "/history.db";
        for (auto [file, figures] : {std::pair{emptyPath, &empty}, std::pair{path, &full}}) {
            QFile::remove(ToQ(ini));
            if (parts.contains(QStringLiteral("start")))
                Start(file, ini, *figures);
            auto db = std::make_shared<CHistoryDb>(file);
            db->OpenMessage();
            Idle(*figures);
            if (parts.contains(QStringLiteral("completion")))
                Completion(db, *figures);
            if (parts.contains(QStringLiteral("tree")))
                Tree(db, ini, *figures);
            if (parts.contains(QStringLiteral("search")))
                for (const char* word : {"rareword", "commonword"})
                    Search(db, ini, word, *figures);
        }
        std::printf("run %d of %d done\n", run + 1, runs);
        std::fflush(stdout);
    }
    Print("empty history (ms; rows and sites as counts)", empty);
    Print(QStringLiteral("%1 visits, %2 copies (ms; rows and sites as counts)").arg(visits).arg(copies).toUtf8().constData(),
          full);
    return 0;
}
