// The browser's start with a large bookmark file beside the same start with
// the empty one: 20,000 links (1,000 folders of 15, nested up to four deep,
// and one folder of 5,000) and a links folder of 1,000 links. Each start
// runs in a child process of its own, the two kinds interleaved, and reports
// the time from the start of InitInstance until the first page's title is
// known and the window's event loop answers, until the bookmark menu holds
// every link, and the longest stall of the UI thread after InitInstance:
//   dbus-run-session -- bookmark_start_program [RUNS]      (RUNS defaults to 9)
// Prints the medians and ranges of both kinds and their ratios.
#include "app/NimbraApp.h"
#include "data/bookmarks/BookmarkFile.h"
#include "frames/browser/MainFrame.h"
#include "platform/Paths.h"
#include "platform/StallMeter.h"
#include "widgets/bookmarks/BookmarkCommands.h"
#include "widgets/view/NimbraView.h"

#include "BenchSetup.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using nimbra::BookmarkItem;

constexpr int kNestedFolders = 1000;
constexpr int kLinksPerFolder = 15;
constexpr int kBigFolderLinks = 5000;
constexpr int kLinkBarLinks = 1000;
constexpr int kLinks = kNestedFolders * kLinksPerFolder + kBigFolderLinks + kLinkBarLinks;

BookmarkItem Link(int n)
{
    return BookmarkItem::Link((n % 2 ? "ニュースサイトのページ " : "Example page about topic ") + std::to_string(n),
                              "http://www.example" + std::to_string(n % 97) + ".com/page" + std::to_string(n) + ".html");
}

BookmarkItem LargeTree()
{
    BookmarkItem root = BookmarkItem::Folder({});
    int n = 0;
    BookmarkItem links = BookmarkItem::Folder(nimbra::kLinksFolderName);
    while (n < kLinkBarLinks)
        links.items.push_back(Link(n++));
    root.items.push_back(std::move(links));
    std::vector<BookmarkItem>* parent = &root.items;
    for (int f = 0; f < kNestedFolders; ++f) {
        // Every fourth folder starts again at the root, the others nest.
        if (f % 4 == 0)
            parent = &root.items;
        BookmarkItem folder = BookmarkItem::Folder("フォルダ " + std::to_string(f));
        for (int l = 0; l < kLinksPerFolder; ++l)
            folder.items.push_back(Link(n++));
        parent->push_back(std::move(folder));
        parent = &parent->back().items;
    }
    BookmarkItem big = BookmarkItem::Folder("アーカイブ");
    for (int l = 0; l < kBigFolderLinks; ++l)
        big.items.push_back(Link(n++));
    root.items.push_back(std::move(big));
    return root;
}

struct Figures {
    double titleMs;
    double readyMs;
    double stallMs;
};

// One start; prints "title ready stall" in ms.
int RunChild(int argc, char** argv, bool large)
{
    QTemporaryDir home;
    qputenv("NIMBRA_HOME", home.path().toLocal8Bit());
    const std::string dir = home.path().toStdString();
    if (large)
        nimbra::WriteBookmarkFile(dir + "/bookmark.html", LargeTree());
    else
        nimbra::WriteEmptyBookmarkFile(dir + "/bookmark.html");
    QFile page(home.path() + "/page.html");
    if (!page.open(QIODevice::WriteOnly))
        return 1;
    page.write("<html><head><title>First page</title></head><body>First page</body></html>\n");
    page.close();

    nimbra::PrepareWebEngineEnvironment();
    QApplication application(argc, argv);
    nimbra::CNimbraApp app;
    QElapsedTimer clock;
    clock.start();
    if (!app.InitInstance({QString::fromLocal8Bit(argv[0]), QUrl::fromLocalFile(page.fileName()).toString()}))
        return 1;
    nimbra::CStallMeter meter;
    meter.Start();
    meter.Reset();
    nimbra::CMainFrame* frame = app.MainFrame();
    nimbra::CBookmarkCommands* bookmarks = nimbra::BookmarkCommandsOf(*frame);
    const int expected = large ? kLinks : 0;
    qint64 title = -1;
    qint64 ready = large ? -1 : 0;
    // A poll that runs at all shows the window's event loop answering.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        const auto views = frame->Views();
        if (title < 0 && !views.empty() && !views.front()->m_strTitle.empty())
            title = clock.elapsed();
        if (ready < 0 && bookmarks && bookmarks->Menu().LinkCount() == expected)
            ready = clock.elapsed();
        if (title >= 0 && ready >= 0 && clock.elapsed() > std::max(title, ready) + 300) {
            std::printf("%lld %lld %.1f\n", static_cast<long long>(title), static_cast<long long>(ready),
                        meter.LongestMs());
            QApplication::exit(0);
        }
    });
    poll.start(1);
    return application.exec();
}

bool RunOnce(const char* self, bool large, Figures& figures)
{
    const std::string command = std::string("'") + self + "' --child " + (large ? "large" : "empty");
    FILE* child = popen(command.c_str(), "r");
    if (!child)
        return false;
    long long title = 0, ready = 0;
    double stall = 0;
    const int got = std::fscanf(child, "%lld %lld %lf", &title, &ready, &stall);
    pclose(child);
    if (got != 3)
        return false;
    figures = {double(title), double(ready), stall};
    return true;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void PrintRow(const char* what, const std::vector<double>& empty, const std::vector<double>& large)
{
    const auto [emptyMin, emptyMax] = std::minmax_element(empty.begin(), empty.end());
    const auto [largeMin, largeMax] = std::minmax_element(large.begin(), large.end());
    const double base = Median(empty);
    std::printf("%-32s empty %7.1f ms [%.1f-%.1f]   large %7.1f ms [%.1f-%.1f]", what, base, *emptyMin, *emptyMax,
                Median(large), *largeMin, *largeMax);
    if (base > 0)
        std::printf("   ratio %.2fx", Median(large) / base);
    std::printf("\n");
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 2 && std::strcmp(argv[1], "--child") == 0)
        return RunChild(argc, argv, std::strcmp(argv[2], "large") == 0);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
    std::vector<double> title[2], ready[2], stall[2];
    for (int run = 0; run < runs; ++run) {
        for (int large = 0; large < 2; ++large) {
            Figures figures{};
            if (!RunOnce(argv[0], large != 0, figures)) {
                std::fprintf(stderr, "bookmark_start_program: a start failed\n");
                return 1;
            }
            title[large].push_back(figures.titleMs);
            ready[large].push_back(figures.readyMs);
            stall[large].push_back(figures.stallMs);
        }
    }
    std::printf("%d starts each, %d links (a links folder of %d) against the empty file\n", runs, kLinks,
                kLinkBarLinks);
    PrintRow("first page's title", title[0], title[1]);
    PrintRow("bookmark menu complete", ready[0], ready[1]);
    PrintRow("longest UI stall after start", stall[0], stall[1]);
    return 0;
}
