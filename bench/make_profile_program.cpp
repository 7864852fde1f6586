// Makes a data directory of one kind for the start-up bench
// (bench/data_starts.py), through the programs' own writers:
//   empty      nothing at all (a first start)
//   bookmarks  a bookmark file of 20,000 links (1,000 folders of 15, one
//              folder of 5,000) and a link bar folder of 1,000 links
//   history    1,000,000 visits of 250,000 pages on 2,000 hosts over a
//              year, with a copy of 100,000 of them (takes minutes)
//   make_profile_program KIND CACHE
// Makes CACHE/KIND once and prints its path; a later call with the same
// kind finds it made (the file "made" is written last) and only prints it.
#include "data/bookmarks/BookmarkFile.h"
#include "platform/HistoryDb.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <cstdio>
#include <cstring>
#include <string>

using namespace nimbra;

namespace {

const char* const kWords[] = {"ニュース", "天気", "東京", "技術", "料理", "旅行", "音楽", "映画", "本", "地図",
                              "news", "weather", "travel", "recipe", "music", "books", "maps", "sports"};
constexpr int kWordCount = sizeof(kWords) / sizeof(kWords[0]);

// A title of two to four words, the same for the same number.
std::string Title(unsigned n)
{
    unsigned x = n * 2654435761u + 7;
    std::string title;
    for (unsigned words = 2 + n % 3; words > 0; --words) {
        x = x * 1103515245u + 12345u;
        title += kWords[(x >> 16) % kWordCount];
        title += ' ';
    }
    return title + std::to_string(n);
}

std::string Url(const char* kind, unsigned n)
{
    return "http://" + std::string(kind) + std::to_string(n % 2000) + ".example.com/" + std::to_string(n) + ".html";
}

bool MakeBookmarks(const std::string& dir)
{
    unsigned n = 0;
    BookmarkItem root = BookmarkItem::Folder({});
    BookmarkItem links = BookmarkItem::Folder(kLinksFolderName);
    for (int i = 0; i < 1000; ++i, ++n)
        links.items.push_back(BookmarkItem::Link(Title(n), Url("bar", n)));
    root.items.push_back(std::move(links));
    for (int f = 0; f < 1000; ++f) {
        BookmarkItem folder = BookmarkItem::Folder("フォルダ " + std::to_string(f));
        for (int i = 0; i < 15; ++i, ++n)
            folder.items.push_back(BookmarkItem::Link(Title(n), Url("mark", n)));
        root.items.push_back(std::move(folder));
    }
    BookmarkItem large = BookmarkItem::Folder("大きなフォルダ");
    for (int i = 0; i < 5000; ++i, ++n)
        large.items.push_back(BookmarkItem::Link(Title(n), Url("mark", n)));
    root.items.push_back(std::move(large));
    std::string error;
    if (!WriteBookmarkFile(dir + "/bookmark.html", root, &error)) {
        std::fprintf(stderr, "make_profile_program: bookmark file: %s\n", error.c_str());
        return false;
    }
    return true;
}

// A page of about 2-8 KB of words, the same for the same number.
std::string Page(unsigned n)
{
    unsigned x = n * 2246822519u + 3;
    const size_t size = 2048 + n * 7919u % 6144;
    std::string page = "<html><head><title>" + Title(n) + "</title></head><body><p>";
    while (page.size() < size) {
        x = x * 1103515245u + 12345u;
        page += kWords[(x >> 16) % kWordCount];
        page += (x >> 8) % 16 == 0 ? "</p>\n<p>" : " ";
    }
    return page + "</p></body></html>";
}

bool MakeHistory(const std::string& dir)
{
    constexpr unsigned kVisits = 1000000;
    constexpr unsigned kPages = 250000;
    constexpr unsigned kCopies = 100000;
    const long long now = QDateTime::currentSecsSinceEpoch();
    constexpr long long kYear = 365LL * 24 * 3600;
    CHistoryDb db(dir + "/history.db", kCopyBudgetBytes,
                  [](const std::string& message) { std::fprintf(stderr, "history: %s\n", message.c_str()); });
    if (!db.OpenMessage().empty())
        return false;
    QElapsedTimer timer;
    timer.start();
    // Visits in time order; the first visit of each page takes its copy, the
    // pages with a copy being every 2nd or 3rd one.
    for (unsigned v = 0; v < kVisits; ++v) {
        const unsigned page = v < kPages ? v : (v * 48271u) % kPages;
        const long long when = now - kYear + kYear * v / kVisits;
        const std::string url = Url("site", page);
        db.AddVisit(url, Title(page), when);
        if (v < kPages && page * kCopies / kPages != (page + 1) * kCopies / kPages)
            db.SetCachedCopy(url, Page(page), when);
        if (v % 5000 == 4999) {
            db.Flush(); // keeps the queue, and the memory it holds, short
            if (v % 100000 == 99999)
                std::fprintf(stderr, "  %u visits, %.0f s\n", v + 1, timer.elapsed() / 1000.0);
        }
    }
    db.Flush();
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const std::string kind = argc == 3 ? argv[1] : "";
    if (kind != "empty" && kind != "bookmarks" && kind != "history") {
        std::fprintf(stderr, "usage: make_profile_program empty|bookmarks|history CACHE\n");
        return 2;
    }
    const QString dir = QDir(QString::fromLocal8Bit(argv[2])).absoluteFilePath(QString::fromStdString(kind));
    const std::string path = dir.toStdString();
    if (!QFile::exists(dir + QStringLiteral("/made"))) {
        QDir(dir).removeRecursively();
        if (!QDir().mkpath(dir)) {
            std::fprintf(stderr, "make_profile_program: cannot make %s\n", path.c_str());
            return 1;
        }
        const bool made = kind == "empty" ? true : kind == "bookmarks" ? MakeBookmarks(path) : MakeHistory(path);
        QFile mark(dir + QStringLiteral("/made"));
        if (!made || !mark.open(QIODevice::WriteOnly))
            return 1;
    }
    std::printf("%s\n", path.c_str());
    return 0;
}
