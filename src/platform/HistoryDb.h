#pragma once

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace nimbra {

struct SHistoryEntry {
    std::string url;
    std::string title;        // empty: the page had no title of its own
    std::string host;         // empty for file: pages
    long long lastVisit = 0;  // seconds since the epoch
    long long lastUpdate = 0; // when the copy was taken; the last visit without one
    int visitCount = 0;
};

// Which entries a read takes: URLs that start with one of `prefixes` (all
// URLs when there is none), last updated in [updatedFrom, updatedTo); and
// in which order: most recent visit first, or with `oldestFirst` the oldest.
struct SHistoryRange {
    std::vector<std::string> prefixes;
    long long updatedFrom = std::numeric_limits<long long>::min();
    long long updatedTo = std::numeric_limits<long long>::max();
    bool oldestFirst = false;
};

// An entry as a search reads it: `inTitleOrUrl` when its title as shown or
// its URL holds the folded text; else only its copy (or the copy of its "/"
// form) may, which the caller reads to be sure.
struct SHistoryMatch {
    SHistoryEntry entry;
    bool inTitleOrUrl = false;
};

// Largest page copy kept, in bytes of UTF-8.
inline constexpr size_t kMaxCopyBytes = 8u << 20;
// Compressed copies kept in all before the oldest are dropped.
inline constexpr long long kCopyBudgetBytes = 1ll << 30;

// The URL history with a copy of each page. Writes are queued and return at
// once; reads block on the database, so they run on worker threads.
class IUrlHistoryStore {
public:
    virtual ~IUrlHistoryStore() = default;
    // One more visit; a non-empty title replaces the stored one.
    virtual void AddVisit(const std::string& url, const std::string& title, long long when) = 0;
    // The page's title changed (an untitled page stores "").
    virtual void SetTitle(const std::string& url, const std::string& title) = 0;
    // The page's HTML, taken at `when`, under the URL without its fragment.
    virtual void SetCachedCopy(const std::string& url, const std::string& html, long long when) = 0;
    // Every entry, copy and index entry.
    virtual void Clear() = 0;
    // Every copy and index entry; the entries stay.
    virtual void DropCopies() = 0;
    // Entries whose URL starts with `prefix`, most recent visit first.
    virtual std::vector<SHistoryEntry> Enumerate(const std::string& prefix) const = 0;
};

// A read connection of its own, for one worker thread. Every call blocks.
// A read that meets damaged pages calls `onDamage`.
class CHistoryReader {
public:
    explicit CHistoryReader(const std::string& path, std::function<void()> onDamage = {});
    ~CHistoryReader();
    CHistoryReader(const CHistoryReader&) = delete;
    CHistoryReader& operator=(const CHistoryReader&) = delete;

    bool IsOpen() const;
    // Entries of `range`, in its order; `each` returns false to stop.
    void ForEach(const SHistoryRange& range, const std::function<bool(SHistoryEntry&&)>& each) const;
    // Entries of `range` whose folded title as shown or URL holds `folded`,
    // and with `inCopies` those whose copy, or the copy of their "/" form,
    // holds every trigram of it; in the range's order. False, having
    // read nothing, when the file cannot answer that: one of the first
    // layout, or `inCopies` without an index or with a text of fewer than 3
    // characters.
    bool ForEachMatch(const SHistoryRange& range, const std::string& folded, bool inCopies,
                      const std::function<bool(SHistoryMatch&&)>& each) const;
    // The stored copy under `key` (a URL without fragment), inflated;
    // nullopt when there is none or it does not inflate.
    std::optional<std::string> Copy(const std::string& key) const;
    // Local dates ("YYYY-MM-DD") that have visits.
    std::vector<std::string> VisitDates() const;
    // Hosts visited in [from, to), sorted.
    std::vector<std::string> Hosts(long long from, long long to) const;
    // Pages of `host` visited in [from, to).
    std::vector<SHistoryEntry> Pages(const std::string& host, long long from, long long to) const;
    std::optional<SHistoryEntry> Entry(const std::string& url) const;

private:
    // Calls onDamage when `q` failed as a damaged file makes it fail.
    void Check(const QSqlQuery& q) const;

    QString m_name;
    QSqlDatabase m_db;
    std::function<void()> m_onDamage;
    mutable std::optional<QSqlQuery> m_copyQuery;
};

// The history database: "history.db" (mode 0600, WAL, and so its journal
// files) with one writer thread that owns its connection and takes queued
// writes. A file found damaged, when it is opened (its pages checked on the
// writer thread while reads go on), by a write or by a read, is set aside
// under a name of its own and a new one takes its place.
class CHistoryDb : public IUrlHistoryStore {
public:
    // Opens or creates the database at `path` on the writer thread.
    // `onMessage` (when given) gets each message for the user on the writer
    // thread: the file set aside or used read-only, writes that fail.
    // With `checkWhenAsked` the check of the pages waits for StartCheck()
    // or the first write, so that reading a large file leaves the start its
    // disk and cores; writes wait for the check as ever.
    explicit CHistoryDb(const std::string& path, long long copyBudget = kCopyBudgetBytes,
                        std::function<void(const std::string&)> onMessage = {}, bool checkWhenAsked = false);
    ~CHistoryDb() override;

    // Lets the check at open begin; any later call does nothing.
    void StartCheck();

    void AddVisit(const std::string& url, const std::string& title, long long when) override;
    void SetTitle(const std::string& url, const std::string& title) override;
    void SetCachedCopy(const std::string& url, const std::string& html, long long when) override;
    void Clear() override;
    void DropCopies() override;
    std::vector<SHistoryEntry> Enumerate(const std::string& prefix) const override;

    const std::string& Path() const { return m_path; }
    // Waits until every write queued so far is on disk, vacuumed after a
    // clear. Not for the UI thread.
    void Flush();
    // Waits for the open and its check of the pages; then the last message
    // for the user (as given to onMessage), else empty.
    std::string OpenMessage();
    bool HasIndex();
    // A read connection for the calling (worker) thread, once the file is
    // open and every clear queued so far is committed.
    CHistoryReader Reader() const;

private:
    using Job = std::function<void(QSqlDatabase&)>;
    // A barrier job (a clear) is committed before any later Reader() opens.
    void Queue(Job job, bool barrier = false);
    void Run();
    // Opens the file, or with `damaged` sets it aside and makes a new one;
    // the file's layout version.
    int Open(QSqlDatabase& db, bool damaged);
    // Brings an open file to this layout, in WAL mode.
    void Prepare(QSqlDatabase& db, int version);
    void Tell(const std::string& message);
    // Runs a batch in one transaction; on damage once more in a new file.
    void RunBatch(QSqlDatabase& db, std::deque<Job>& jobs);
    void Recover(QSqlDatabase& db);
    // A reader met damage: the writer checks the file before its next batch.
    void CheckFile();
    // Checks every page of the file; an exit interrupts it. True when the
    // file is damaged.
    bool CheckPages(QSqlDatabase& db);
    // The writer's statements: a failure is kept for the batch.
    void Failed(const QSqlError& error);
    bool Write(QSqlQuery& q);
    bool Write(QSqlDatabase& db, const QString& sql);
    // Runs `q` (or `sql`) and moves to its first row; false without one.
    bool First(QSqlQuery& q, const QString& sql = {});
    void DropCopy(QSqlDatabase& db, long long id, const QByteArray& blob);
    void EnforceBudget(QSqlDatabase& db);

    std::string m_path;
    long long m_budget;
    std::function<void(const std::string&)> m_onMessage;
    std::function<void()> m_onDamage;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    mutable std::condition_variable m_done;
    std::deque<Job> m_jobs;
    unsigned long long m_queued = 0;
    unsigned long long m_finished = 0;
    unsigned long long m_committed = 0; // jobs whose transaction is committed
    unsigned long long m_barrier = 0;   // the last barrier job queued
    bool m_bOpened = false;
    bool m_bReady = false; // opened, checked and prepared
    bool m_bStop = false;
    bool m_bCheckHeld = false; // the check at open waits for StartCheck()
    bool m_bReadOnly = false;
    bool m_bIndex = false;
    bool m_bVacuum = false; // writer thread only, as are the next four
    QSqlError m_failure;
    bool m_bWriteFailureTold = false;
    bool m_bChecked = false;
    std::atomic<bool> m_bCheckAsked{false};
    // The connection whose check runs, for an exit to interrupt it.
    std::mutex m_checkMutex;
    void* m_pChecking = nullptr;
    bool m_bStopping = false;
    std::string m_message;
    long long m_copyBytes = 0;
    std::thread m_thread;
};

// The title a history row shows: its own, or else the part of the URL
// after its last "/" (or "\"; the whole URL when it has neither).
std::string HistoryDisplayTitle(const std::string& title, const std::string& url);
// The copy's key: the URL without its fragment.
std::string CopyKey(const std::string& url);
// The host an entry is grouped under: empty for file:, else the URL's host
// (its scheme when it has none).
std::string HistoryHost(const std::string& url);
// URLs whose visits are not recorded (about:, data:, blob:, javascript:,
// view-source:, empty).
bool IsHistoryUrl(const std::string& url);
// The title to store for a page: empty when the engine shows its address
// in place of a title of its own.
std::string StoredTitle(const std::string& url, const std::string& shown);
// Page text from a copy's bytes as UTF-8: valid UTF-8 as is; otherwise
// UTF-16, JIS, Shift-JIS or EUC-JP, chosen as the history search does, and
// converted. nullopt for copies under 2 bytes, binary or mixed ones.
std::optional<std::string> DecodeCopy(const std::string& bytes);

} // namespace nimbra
