#include "platform/HistoryDb.h"

#include "platform/LowPriority.h"
#include "platform/Text.h"

#include <QDateTime>
#include <QFile>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QVariant>
#include <cstdio>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nimbra {

namespace {

constexpr int kSchemaVersion = 2;
constexpr int kMaxQueryTrigrams = 32;

// What a search compares, kept with each entry: its title as shown and its
// URL, case-folded; the id of its copy and of the copy of its "/" form.
const char* const kSearchColumns[] = {
    "title_fold TEXT NOT NULL DEFAULT ''",
    "url_fold TEXT NOT NULL DEFAULT ''",
    "copy_id INTEGER",
    "slash_id INTEGER",
};
const char* const kSchema[] = {
    "CREATE TABLE IF NOT EXISTS urls(id INTEGER PRIMARY KEY, url TEXT NOT NULL UNIQUE, "
    "title TEXT NOT NULL DEFAULT '', host TEXT NOT NULL DEFAULT '', last_visit INTEGER NOT NULL, "
    "last_update INTEGER NOT NULL, visit_count INTEGER NOT NULL DEFAULT 0, title_fold TEXT NOT NULL DEFAULT '', "
    "url_fold TEXT NOT NULL DEFAULT '', copy_id INTEGER, slash_id INTEGER)",
    "CREATE INDEX IF NOT EXISTS urls_visit ON urls(last_visit)",
    "CREATE INDEX IF NOT EXISTS urls_update ON urls(last_update)",
    "CREATE INDEX IF NOT EXISTS urls_host ON urls(host, last_visit)",
    "CREATE TABLE IF NOT EXISTS copies(id INTEGER PRIMARY KEY, key TEXT NOT NULL UNIQUE, "
    "taken INTEGER NOT NULL, size INTEGER NOT NULL, html BLOB NOT NULL)",
    "CREATE INDEX IF NOT EXISTS copies_taken ON copies(taken)",
};
const char* const kIndexSchema = "CREATE VIRTUAL TABLE IF NOT EXISTS copy_index USING "
                                 "fts5(text, tokenize='trigram case_sensitive 1', detail=none, content='')";
const char* const kEntryColumns = "url, title, host, last_visit, last_update, visit_count";
// The entries that a copy's key stands for: the URL and the URL with a
// fragment, as an index range (binds: key, key + "#", key + "$").
const char* const kKeyEntries = "(url = ? OR (url >= ? AND url < ?))";

void BindKeyEntries(QSqlQuery& q, const QString& key)
{
    q.addBindValue(key);
    q.addBindValue(QString(key + QLatin1Char('#')));
    q.addBindValue(QString(key + QLatin1Char('$')));
}

std::atomic<unsigned> g_connectionSerial{0};

QString NewConnectionName(const char* role)
{
    return QStringLiteral("nimbra-history-%1-%2").arg(QLatin1String(role)).arg(++g_connectionSerial);
}

SHistoryEntry EntryFrom(const QSqlQuery& q)
{
    SHistoryEntry e;
    e.url = FromQ(q.value(0).toString());
    e.title = FromQ(q.value(1).toString());
    e.host = FromQ(q.value(2).toString());
    e.lastVisit = q.value(3).toLongLong();
    e.lastUpdate = q.value(4).toLongLong();
    e.visitCount = q.value(5).toInt();
    return e;
}

// The condition for `range`, with :p0, :p1..., :from and :to, and their
// binding. An open end is left out: unbounded, a read goes in visit order
// unsorted.
QString RangeWhere(const SHistoryRange& range)
{
    QStringList prefixes;
    for (size_t i = 0; i < range.prefixes.size(); ++i)
        prefixes << QStringLiteral("substr(url, 1, length(:p%1)) = :p%1").arg(i);
    QString where = prefixes.isEmpty() ? QStringLiteral("1")
                                       : QLatin1Char('(') + prefixes.join(QStringLiteral(" OR ")) + QLatin1Char(')');
    if (range.updatedFrom != std::numeric_limits<long long>::min())
        where += QStringLiteral(" AND last_update >= :from");
    if (range.updatedTo != std::numeric_limits<long long>::max())
        where += QStringLiteral(" AND last_update < :to");
    return where;
}

QString RangeOrder(const SHistoryRange& range)
{
    return range.oldestFirst ? QStringLiteral("last_visit") : QStringLiteral("last_visit DESC");
}

void BindRange(QSqlQuery& q, const SHistoryRange& range)
{
    for (size_t i = 0; i < range.prefixes.size(); ++i)
        q.bindValue(QStringLiteral(":p%1").arg(i), ToQ(range.prefixes[i]));
    if (range.updatedFrom != std::numeric_limits<long long>::min())
        q.bindValue(QStringLiteral(":from"), range.updatedFrom);
    if (range.updatedTo != std::numeric_limits<long long>::max())
        q.bindValue(QStringLiteral(":to"), range.updatedTo);
}

QString TitleFold(const QString& title, const QString& url)
{
    return FoldCase(ToQ(HistoryDisplayTitle(FromQ(title), FromQ(url))));
}

// The URL whose "/" form has its copy under `key`, or a null string: the
// search tries that form for URLs without fragment that do not end in "/".
QString SlashOwner(const QString& key)
{
    if (!key.endsWith(QLatin1Char('/')))
        return {};
    const QString owner = key.chopped(1);
    return owner.endsWith(QLatin1Char('/')) ? QString() : owner;
}

// The copy id under the entry's key and under its "/" form's, with :k the
// key and :s the "/" form (null when not tried).
const char* const kCopyIds = "(SELECT id FROM copies WHERE key = :k), (SELECT id FROM copies WHERE key = :s)";

QVariant SlashForm(const QString& url)
{
    if (url.contains(QLatin1Char('#')) || url.endsWith(QLatin1Char('/')))
        return {};
    return QString(url + QLatin1Char('/'));
}

// An FTS5 query for every trigram of `folded`; empty when it has fewer than
// three characters or a NUL.
QString TrigramQuery(const std::string& folded)
{
    const QList<uint> chars = ToQ(folded).toUcs4();
    if (chars.size() < 3 || chars.contains(0u))
        return {};
    QStringList terms;
    for (qsizetype i = 0; i + 3 <= chars.size() && terms.size() < kMaxQueryTrigrams; ++i) {
        QString trigram = QString::fromUcs4(reinterpret_cast<const char32_t*>(chars.constData() + i), 3);
        trigram.replace(QLatin1Char('"'), QStringLiteral("\"\""));
        trigram = QLatin1Char('"') + trigram + QLatin1Char('"');
        if (!terms.contains(trigram))
            terms << trigram;
    }
    return terms.join(QStringLiteral(" AND "));
}

bool Exec(QSqlDatabase& db, const QString& sql)
{
    QSqlQuery q(db);
    return q.exec(sql);
}

QByteArray Inflate(const QByteArray& blob)
{
    // qUncompress warns on bad data; its first four bytes give the size.
    if (blob.size() < 4)
        return {};
    return qUncompress(blob);
}

// The folded text that the index holds for a copy.
QString IndexText(const QByteArray& html)
{
    const std::optional<std::string> text = DecodeCopy(html.toStdString());
    return text ? FoldCase(ToQ(*text)) : QString();
}

// A file of the first layout gets the search columns.
void AddSearchColumns(QSqlDatabase& db)
{
    db.transaction();
    for (const char* column : kSearchColumns)
        Exec(db, QStringLiteral("ALTER TABLE urls ADD COLUMN %1").arg(QLatin1String(column)));
    Exec(db, QStringLiteral("UPDATE urls SET copy_id = (SELECT id FROM copies WHERE key = CASE WHEN instr(url, '#') > 0 "
                            "THEN substr(url, 1, instr(url, '#') - 1) ELSE url END), slash_id = CASE WHEN instr(url, '#') = 0 "
                            "AND substr(url, -1) <> '/' THEN (SELECT id FROM copies WHERE key = url || '/') END"));
    std::vector<std::tuple<long long, QString, QString>> folds;
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (q.exec(QStringLiteral("SELECT id, url, title FROM urls")))
        while (q.next()) {
            const QString url = q.value(1).toString();
            folds.emplace_back(q.value(0).toLongLong(), TitleFold(q.value(2).toString(), url), FoldCase(url));
        }
    q.finish();
    q.prepare(QStringLiteral("UPDATE urls SET title_fold = ?, url_fold = ? WHERE id = ?"));
    for (const auto& [id, title, url] : folds) {
        q.addBindValue(title);
        q.addBindValue(url);
        q.addBindValue(id);
        q.exec();
    }
    db.commit();
}

// SQLite's codes for a file whose pages are not as it wrote them.
bool IsCorruption(const QSqlError& error)
{
    const int code = error.nativeErrorCode().toInt() & 0xFF;
    return error.type() != QSqlError::NoError && (code == 11 || code == 26); // SQLITE_CORRUPT, SQLITE_NOTADB
}

// Whether the open file's pages are damaged: the check finds a fault, or
// reading them fails as a damaged file does. A check that cannot run for
// another reason (a lock, an interrupt) proves nothing.
bool IsDamaged(QSqlDatabase& db)
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("PRAGMA quick_check")) || !q.next())
        return IsCorruption(q.lastError());
    return q.value(0).toString() != QLatin1String("ok");
}

// The connection's SQLite handle, for SQLite's own calls; null when the
// driver is not SQLite's.
void* SqliteHandle(const QSqlDatabase& db)
{
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<void* const*>(handle.constData());
}

// sqlite3_interrupt of the SQLite library that Qt's driver loaded, which
// ends a running statement from another thread; null when that library
// is not loaded by its usual name (a driver with SQLite built in).
using SqliteInterruptFn = void (*)(void*);
SqliteInterruptFn SqliteInterrupt()
{
    static const SqliteInterruptFn interrupt = [] {
        void* library = ::dlopen("libsqlite3.so.0", RTLD_LAZY | RTLD_NOLOAD);
        return library ? reinterpret_cast<SqliteInterruptFn>(::dlsym(library, "sqlite3_interrupt")) : nullptr;
    }();
    return interrupt;
}

// Makes the file private (creating it) before SQLite sees it, with the
// journal files an earlier run left: SQLite gives new journal files the
// file's own mode, and they hold page text too. False when the file cannot
// be written.
bool MakePrivate(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    ::fchmod(fd, 0600);
    ::close(fd);
    for (const char* suffix : {"-wal", "-shm"})
        ::chmod((path + suffix).c_str(), 0600);
    return true;
}

void SetAside(const std::string& path)
{
    const QString base = ToQ(path);
    const QString aside =
        base + QStringLiteral(".bad-") + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    QFile::rename(base, aside);
    for (const char* suffix : {"-wal", "-shm"})
        QFile::rename(base + QLatin1String(suffix), aside + QLatin1String(suffix));
}

} // namespace

std::string HistoryDisplayTitle(const std::string& title, const std::string& url)
{
    if (!title.empty())
        return title;
    size_t cut = url.rfind('/');
    if (cut == std::string::npos)
        cut = url.rfind('\\');
    return cut == std::string::npos ? url : url.substr(cut + 1);
}

std::string CopyKey(const std::string& url)
{
    const size_t hash = url.find('#');
    return hash == std::string::npos ? url : url.substr(0, hash);
}

std::string HistoryHost(const std::string& url)
{
    const QUrl parsed(ToQ(url));
    const QString scheme = parsed.scheme().toLower();
    if (scheme == QLatin1String("file"))
        return {};
    const QString host = parsed.host();
    return FromQ(host.isEmpty() ? scheme + QLatin1Char(':') : host);
}

bool IsHistoryUrl(const std::string& url)
{
    static const char* const skipped[] = {"about:", "data:", "blob:", "javascript:", "view-source:"};
    if (url.empty())
        return false;
    for (const char* scheme : skipped)
        if (StartsWithNoCase(url, scheme))
            return false;
    return true;
}

std::string StoredTitle(const std::string& url, const std::string& shown)
{
    if (shown == url)
        return {};
    const size_t scheme = url.find("://");
    if (scheme != std::string::npos) {
        std::string rest = url.substr(scheme + 3);
        if (shown == rest || (rest.ends_with('/') && shown == rest.substr(0, rest.size() - 1)))
            return {};
    }
    return shown;
}

std::optional<std::string> DecodeCopy(const std::string& bytes)
{
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t n = bytes.size();
    if (n < 2)
        return std::nullopt;
    if (n > 3) {
        // UTF-16: a byte-order mark, or ASCII with its zero high bytes.
        if ((b[0] == 0xFF && b[1] == 0xFE) || (b[0] == 0xFE && b[1] == 0xFF))
            return ConvertToUtf8(bytes, "UTF-16"); // the mark tells the order and goes
        if (b[0] != 0 && b[1] == 0)
            return ConvertToUtf8(bytes, "UTF-16LE");
        if (b[0] == 0 && b[1] != 0)
            return ConvertToUtf8(bytes, "UTF-16BE");
    }
    if (bytes.find('\0') != std::string::npos)
        return std::nullopt;
    const bool utf8 = IsValidUtf8(bytes);
    const char* charset = nullptr;
    for (size_t i = 0; i + 1 < n && !charset; ++i) {
        const unsigned char c = b[i];
        const unsigned char d = b[i + 1];
        if (c == 0x1B && (d == '$' || d == '('))
            charset = "ISO-2022-JP";
        else if (utf8 || c < 128)
            continue;
        else if (((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xEF)) && d >= 0x40 && d <= 0xFC && d != 0x7F)
            charset = "CP932";
        else if (c >= 0xA1 && c <= 0xFE && d >= 0xA1 && d <= 0xFE)
            charset = "EUC-JP";
        else if (c == 0x8E)
            i += 1;
        else if (c == 0x8F)
            i += 2;
    }
    if (charset)
        return ConvertToUtf8(bytes, charset);
    if (!utf8)
        return std::nullopt;
    return bytes;
}

// ---------------------------------------------------------------- reader

CHistoryReader::CHistoryReader(const std::string& path, std::function<void()> onDamage)
    : m_name(NewConnectionName("r")), m_db(QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name)),
      m_onDamage(std::move(onDamage))
{
    m_db.setDatabaseName(ToQ(path));
    m_db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000"));
    if (QFile::exists(ToQ(path)))
        m_db.open();
}

CHistoryReader::~CHistoryReader()
{
    m_copyQuery.reset();
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_name);
}

bool CHistoryReader::IsOpen() const
{
    return m_db.isOpen();
}

void CHistoryReader::ForEach(const SHistoryRange& range, const std::function<bool(SHistoryEntry&&)>& each) const
{
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT %1 FROM urls WHERE %2 ORDER BY %3")
                  .arg(QLatin1String(kEntryColumns), RangeWhere(range), RangeOrder(range)));
    BindRange(q, range);
    if (q.exec())
        while (q.next())
            if (!each(EntryFrom(q)))
                return;
    Check(q);
}

bool CHistoryReader::ForEachMatch(const SHistoryRange& range, const std::string& folded, bool inCopies,
                                  const std::function<bool(SHistoryMatch&&)>& each) const
{
    QSqlQuery q(m_db);
    if (!q.exec(QStringLiteral("SELECT title_fold FROM urls LIMIT 0")))
        return false;
    const QString trigrams = inCopies ? TrigramQuery(folded) : QString();
    if (inCopies && (trigrams.isEmpty() || !q.exec(QStringLiteral("SELECT 1 FROM copy_index LIMIT 0"))))
        return false;
    const QString inText = QStringLiteral("(instr(title_fold, :f) > 0 OR instr(url_fold, :f) > 0)");
    QString where = inText;
    if (inCopies) {
        const QString listed = QStringLiteral(" IN (SELECT rowid FROM copy_index WHERE copy_index MATCH :m)");
        where = QLatin1Char('(') + inText + QStringLiteral(" OR copy_id") + listed + QStringLiteral(" OR slash_id")
                + listed + QLatin1Char(')');
    }
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT %1, %2 FROM urls WHERE %3 AND %4 ORDER BY %5")
                  .arg(QLatin1String(kEntryColumns), inText, RangeWhere(range), where, RangeOrder(range)));
    BindRange(q, range);
    q.bindValue(QStringLiteral(":f"), ToQ(folded));
    if (inCopies)
        q.bindValue(QStringLiteral(":m"), trigrams);
    if (!q.exec()) {
        Check(q);
        return false;
    }
    while (q.next()) {
        SHistoryMatch match{EntryFrom(q), q.value(6).toBool()};
        if (!each(std::move(match)))
            return true;
    }
    Check(q);
    return true;
}

std::optional<std::string> CHistoryReader::Copy(const std::string& key) const
{
    if (!m_copyQuery) {
        m_copyQuery.emplace(m_db);
        m_copyQuery->prepare(QStringLiteral("SELECT html FROM copies WHERE key = ?"));
    }
    QSqlQuery& q = *m_copyQuery;
    q.bindValue(0, ToQ(key));
    if (!q.exec() || !q.next()) {
        Check(q);
        return std::nullopt;
    }
    const QByteArray html = Inflate(q.value(0).toByteArray());
    q.finish();
    if (html.isEmpty())
        return std::nullopt;
    return html.toStdString();
}

std::vector<std::string> CHistoryReader::VisitDates() const
{
    // From the newest visit back, one look-up in the visit index per day
    // that has visits: the cost follows the days, not the visits.
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT last_visit FROM urls WHERE last_visit < ? ORDER BY last_visit DESC LIMIT 1"));
    std::vector<std::string> dates;
    long long before = std::numeric_limits<long long>::max();
    for (;;) {
        q.bindValue(0, before);
        if (!q.exec() || !q.next())
            break;
        const long long last = q.value(0).toLongLong();
        q.finish();
        const QDate date = QDateTime::fromSecsSinceEpoch(last).date();
        dates.push_back(FromQ(date.toString(Qt::ISODate)));
        before = std::min(last, QDateTime(date, QTime(0, 0)).toSecsSinceEpoch());
    }
    Check(q);
    return dates;
}

std::vector<std::string> CHistoryReader::Hosts(long long from, long long to) const
{
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral(
        "SELECT DISTINCT host FROM urls WHERE last_visit >= ? AND last_visit < ? ORDER BY host"));
    q.addBindValue(from);
    q.addBindValue(to);
    std::vector<std::string> hosts;
    if (q.exec())
        while (q.next())
            hosts.push_back(FromQ(q.value(0).toString()));
    Check(q);
    return hosts;
}

std::vector<SHistoryEntry> CHistoryReader::Pages(const std::string& host, long long from, long long to) const
{
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT %1 FROM urls WHERE host = ? AND last_visit >= ? AND last_visit < ? "
                             "ORDER BY last_visit DESC")
                  .arg(QLatin1String(kEntryColumns)));
    q.addBindValue(ToQ(host));
    q.addBindValue(from);
    q.addBindValue(to);
    std::vector<SHistoryEntry> pages;
    if (q.exec())
        while (q.next())
            pages.push_back(EntryFrom(q));
    Check(q);
    return pages;
}

std::optional<SHistoryEntry> CHistoryReader::Entry(const std::string& url) const
{
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("SELECT %1 FROM urls WHERE url = ?").arg(QLatin1String(kEntryColumns)));
    q.addBindValue(ToQ(url));
    if (!q.exec() || !q.next()) {
        Check(q);
        return std::nullopt;
    }
    return EntryFrom(q);
}

void CHistoryReader::Check(const QSqlQuery& q) const
{
    if (m_onDamage && IsCorruption(q.lastError()))
        m_onDamage();
}

// ---------------------------------------------------------------- writer

CHistoryDb::CHistoryDb(const std::string& path, long long copyBudget,
                       std::function<void(const std::string&)> onMessage, bool checkWhenAsked)
    : m_path(path), m_budget(copyBudget), m_onMessage(std::move(onMessage)), m_onDamage([this] { CheckFile(); }),
      m_bCheckHeld(checkWhenAsked)
{
    m_thread = std::thread([this] { Run(); });
}

CHistoryDb::~CHistoryDb()
{
    {
        std::lock_guard lock(m_mutex);
        m_bStop = true;
    }
    {
        // A check of a large file does not hold up the exit.
        std::lock_guard lock(m_checkMutex);
        m_bStopping = true;
        if (m_pChecking)
            if (const auto interrupt = SqliteInterrupt())
                interrupt(m_pChecking);
    }
    m_wake.notify_all();
    m_thread.join();
}

bool CHistoryDb::CheckPages(QSqlDatabase& db)
{
    // The pages are read on a thread of their own at the lowest CPU and a
    // low disk priority, so that the check of a large file leaves the
    // start and the first pages their share; the writer waits for it.
    bool damaged = false;
    std::thread checker([&] {
        LowerThreadPriority();
        const QString name = NewConnectionName("c");
        {
            QSqlDatabase check = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            check.setDatabaseName(db.databaseName());
            check.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000"));
            if (check.open()) {
                bool stopping = false;
                {
                    std::lock_guard lock(m_checkMutex);
                    stopping = m_bStopping;
                    m_pChecking = SqliteHandle(check);
                }
                if (!stopping)
                    damaged = IsDamaged(check);
                std::lock_guard lock(m_checkMutex);
                m_pChecking = nullptr;
            }
            check.close();
        }
        QSqlDatabase::removeDatabase(name);
    });
    checker.join();
    return damaged;
}

void CHistoryDb::StartCheck()
{
    {
        std::lock_guard lock(m_mutex);
        m_bCheckHeld = false;
    }
    m_wake.notify_all();
}

void CHistoryDb::Queue(Job job, bool barrier)
{
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(job));
        ++m_queued;
        m_bCheckHeld = false;
        if (barrier)
            m_barrier = m_queued;
    }
    m_wake.notify_one();
}

void CHistoryDb::Flush()
{
    std::unique_lock lock(m_mutex);
    const unsigned long long target = m_queued;
    m_done.wait(lock, [&] { return m_finished >= target; });
}

CHistoryReader CHistoryDb::Reader() const
{
    // A read never sees rows that a clear queued before it removes.
    std::unique_lock lock(m_mutex);
    m_done.wait(lock, [&] { return m_bOpened && m_committed >= m_barrier; });
    lock.unlock();
    return CHistoryReader(m_path, m_onDamage);
}

std::string CHistoryDb::OpenMessage()
{
    std::unique_lock lock(m_mutex);
    m_done.wait(lock, [&] { return m_bReady; });
    return m_message;
}

bool CHistoryDb::HasIndex()
{
    std::unique_lock lock(m_mutex);
    m_done.wait(lock, [&] { return m_bReady; });
    return m_bIndex;
}

void CHistoryDb::Tell(const std::string& message)
{
    {
        std::lock_guard lock(m_mutex);
        m_message = message;
    }
    if (m_onMessage)
        m_onMessage(message);
}

int CHistoryDb::Open(QSqlDatabase& db, bool damaged)
{
    const QString path = ToQ(m_path);
    bool readOnly = !MakePrivate(m_path);
    auto connect = [&] {
        db.close();
        db.setDatabaseName(path);
        db.setConnectOptions(readOnly ? QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000")
                                      : QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
        if (!db.open())
            return -1;
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")) || !q.next())
            return -1;
        if (!q.exec(QStringLiteral("PRAGMA user_version")) || !q.next())
            return -1;
        return q.value(0).toInt();
    };
    std::string message;
    int version = damaged ? -1 : connect();
    if (version < 0 && !readOnly) {
        // The damaged file is closed before it goes, so that nothing of it
        // lands in the new one's journal.
        db.close();
        SetAside(m_path);
        message = "履歴ファイルが壊れているため別名で残し、新しく作りました: " + m_path;
        MakePrivate(m_path);
        version = connect();
    }
    if (version > kSchemaVersion && !readOnly) {
        readOnly = true;
        version = connect();
        message = "履歴ファイルは新しい版のため、読み取り専用で使います: " + m_path;
    } else if (readOnly) {
        message = "履歴ファイルに書き込めないため、読み取り専用で使います: " + m_path;
    }
    if (version < 0) {
        db.close();
        readOnly = true;
        message = "履歴ファイルを開けません: " + m_path;
    }
    m_bReadOnly = readOnly;
    m_copyBytes = 0;
    if (!message.empty())
        Tell(message);
    return version;
}

void CHistoryDb::Prepare(QSqlDatabase& db, int version)
{
    if (m_bReadOnly) {
        QSqlQuery q(db);
        m_bIndex = db.isOpen() && q.exec(QStringLiteral("SELECT 1 FROM copy_index LIMIT 0"));
        return;
    }
    Exec(db, QStringLiteral("PRAGMA journal_mode=WAL"));
    Exec(db, QStringLiteral("PRAGMA synchronous=NORMAL"));
    Exec(db, QStringLiteral("PRAGMA secure_delete=ON"));
    for (const char* sql : kSchema)
        Exec(db, QLatin1String(sql));
    if (version == 1)
        AddSearchColumns(db);
    m_bIndex = Exec(db, QLatin1String(kIndexSchema));
    if (!m_bIndex)
        std::fprintf(stderr, "nimbrab: SQLite has no FTS5; the history search reads every page copy\n");
    Exec(db, QStringLiteral("PRAGMA user_version=%1").arg(kSchemaVersion));
    QSqlQuery q(db);
    if (q.exec(QStringLiteral("SELECT total(length(html)) FROM copies")) && q.next())
        m_copyBytes = q.value(0).toLongLong();
}

void CHistoryDb::Failed(const QSqlError& error)
{
    // Damage decides what happens to the batch, whatever failed first.
    if (m_failure.type() == QSqlError::NoError || (IsCorruption(error) && !IsCorruption(m_failure)))
        m_failure = error;
}

bool CHistoryDb::Write(QSqlQuery& q)
{
    if (q.exec())
        return true;
    Failed(q.lastError());
    return false;
}

bool CHistoryDb::Write(QSqlDatabase& db, const QString& sql)
{
    QSqlQuery q(db);
    if (q.exec(sql))
        return true;
    Failed(q.lastError());
    return false;
}

bool CHistoryDb::First(QSqlQuery& q, const QString& sql)
{
    if (!(sql.isEmpty() ? q.exec() : q.exec(sql))) {
        Failed(q.lastError());
        return false;
    }
    if (q.next())
        return true;
    if (q.lastError().type() != QSqlError::NoError)
        Failed(q.lastError());
    return false;
}

void CHistoryDb::RunBatch(QSqlDatabase& db, std::deque<Job>& jobs)
{
    if (m_bCheckAsked.load() && !m_bChecked) {
        // A reader met damage: a connection opened afresh reads what is on
        // disk, not what this one keeps in memory.
        m_bChecked = true;
        db.close();
        if (!db.open() || CheckPages(db))
            Recover(db);
    }
    if (m_bReadOnly || !db.isOpen())
        return;
    for (int attempt = 0;; ++attempt) {
        m_failure = QSqlError();
        db.transaction();
        for (Job& job : jobs)
            job(db);
        if (!db.commit())
            Failed(db.lastError());
        if (m_failure.type() == QSqlError::NoError)
            return;
        // A damaged file goes as at the open, and the batch is written
        // again into the new one: no visit after the damage is lost.
        if (!IsCorruption(m_failure) || attempt > 0)
            break;
        Recover(db);
        if (m_bReadOnly || !db.isOpen())
            return;
    }
    if (!m_bWriteFailureTold) {
        m_bWriteFailureTold = true;
        Tell("履歴ファイルに書き込めません: " + m_path + " (" + FromQ(m_failure.text()) + ")");
    }
}

void CHistoryDb::Recover(QSqlDatabase& db)
{
    db.close();
    Prepare(db, Open(db, true));
    m_bChecked = false;
    m_bCheckAsked = false;
}

void CHistoryDb::CheckFile()
{
    if (m_bCheckAsked.exchange(true))
        return;
    // An empty job wakes the writer, which checks before its next batch.
    Queue([](QSqlDatabase&) {});
}

void CHistoryDb::Run()
{
    const QString name = NewConnectionName("w");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        int version = Open(db, false);
        {
            std::lock_guard lock(m_mutex);
            m_bOpened = true;
        }
        m_done.notify_all();
        // A sound header says nothing of the pages behind it. Reads go on
        // meanwhile; writes wait in the queue, for the file they belong in,
        // and nothing is written into a file before its check.
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [&] { return m_bStop || !m_bCheckHeld; });
        }
        if (!m_bReadOnly && db.isOpen() && CheckPages(db)) {
            db.close();
            version = Open(db, true);
        }
        m_bCheckAsked = false; // what a reader met meanwhile, this check saw
        Prepare(db, version);
        {
            std::lock_guard lock(m_mutex);
            m_bReady = true;
        }
        m_done.notify_all();
        for (;;) {
            std::deque<Job> jobs;
            {
                std::unique_lock lock(m_mutex);
                m_wake.wait(lock, [&] { return m_bStop || !m_jobs.empty(); });
                if (m_jobs.empty())
                    break;
                jobs.swap(m_jobs);
            }
            RunBatch(db, jobs);
            {
                std::lock_guard lock(m_mutex);
                m_committed = m_finished + jobs.size();
            }
            m_done.notify_all();
            if (m_bVacuum) {
                m_bVacuum = false;
                // Nothing of the removed pages stays in the file or its log.
                Exec(db, QStringLiteral("VACUUM"));
                Exec(db, QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
            }
            {
                std::lock_guard lock(m_mutex);
                m_finished += jobs.size();
            }
            m_done.notify_all();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

void CHistoryDb::AddVisit(const std::string& url, const std::string& title, long long when)
{
    if (!IsHistoryUrl(url))
        return;
    Queue([this, url = ToQ(url), title = ToQ(title), host = ToQ(HistoryHost(url)), key = ToQ(CopyKey(url)),
           when](QSqlDatabase& db) {
        QSqlQuery q(db);
        q.prepare(QStringLiteral(
            "INSERT INTO urls(url, title, host, last_visit, last_update, visit_count, title_fold, url_fold, "
            "copy_id, slash_id) "
            "VALUES(:u, :t, :h, :w, coalesce((SELECT taken FROM copies WHERE key = :k), :w), 1, :tf, :uf, %1) "
            "ON CONFLICT(url) DO UPDATE SET visit_count = visit_count + 1, last_visit = :w, "
            "title = CASE WHEN :t <> '' THEN :t ELSE title END, "
            "title_fold = CASE WHEN :t <> '' THEN :tf ELSE title_fold END, "
            "last_update = coalesce((SELECT taken FROM copies WHERE key = :k), :w), (copy_id, slash_id) = (%1)")
                      .arg(QLatin1String(kCopyIds)));
        q.bindValue(QStringLiteral(":u"), url);
        q.bindValue(QStringLiteral(":t"), title);
        q.bindValue(QStringLiteral(":h"), host);
        q.bindValue(QStringLiteral(":w"), when);
        q.bindValue(QStringLiteral(":k"), key);
        q.bindValue(QStringLiteral(":s"), SlashForm(url));
        q.bindValue(QStringLiteral(":tf"), TitleFold(title, url));
        q.bindValue(QStringLiteral(":uf"), FoldCase(url));
        Write(q);
    });
}

void CHistoryDb::SetTitle(const std::string& url, const std::string& title)
{
    Queue([this, url = ToQ(url), title = ToQ(title)](QSqlDatabase& db) {
        QSqlQuery q(db);
        q.prepare(QStringLiteral("UPDATE urls SET title = ?, title_fold = ? WHERE url = ?"));
        q.addBindValue(title);
        q.addBindValue(TitleFold(title, url));
        q.addBindValue(url);
        Write(q);
    });
}

void CHistoryDb::DropCopy(QSqlDatabase& db, long long id, const QByteArray& blob)
{
    QSqlQuery q(db);
    if (m_bIndex) {
        q.prepare(QStringLiteral("INSERT INTO copy_index(copy_index, rowid, text) VALUES('delete', ?, ?)"));
        q.addBindValue(id);
        q.addBindValue(IndexText(Inflate(blob)));
        Write(q);
    }
    q.prepare(QStringLiteral("DELETE FROM copies WHERE id = ?"));
    q.addBindValue(id);
    Write(q);
    m_copyBytes -= blob.size();
}

void CHistoryDb::SetCachedCopy(const std::string& url, const std::string& html, long long when)
{
    if (!IsHistoryUrl(url) || StartsWithNoCase(url, "file:"))
        return;
    Queue([this, key = ToQ(CopyKey(url)), html = QByteArray::fromStdString(std::string(CutUtf8(html, kMaxCopyBytes))),
           when](QSqlDatabase& db) {
        QSqlQuery q(db);
        // A page that left the history since its visit (a clear) keeps no copy.
        q.prepare(QStringLiteral("SELECT 1 FROM urls WHERE %1 LIMIT 1").arg(QLatin1String(kKeyEntries)));
        BindKeyEntries(q, key);
        if (!First(q))
            return;
        q.finish();
        q.prepare(QStringLiteral("SELECT id, html FROM copies WHERE key = ?"));
        q.addBindValue(key);
        if (First(q)) {
            const long long id = q.value(0).toLongLong();
            const QByteArray old = q.value(1).toByteArray();
            q.finish();
            DropCopy(db, id, old);
        }
        const QByteArray blob = qCompress(html);
        q.prepare(QStringLiteral("INSERT INTO copies(key, taken, size, html) VALUES(?, ?, ?, ?)"));
        q.addBindValue(key);
        q.addBindValue(when);
        q.addBindValue(html.size());
        q.addBindValue(blob);
        if (!Write(q))
            return;
        m_copyBytes += blob.size();
        const long long id = q.lastInsertId().toLongLong();
        if (m_bIndex) {
            q.prepare(QStringLiteral("INSERT INTO copy_index(rowid, text) VALUES(?, ?)"));
            q.addBindValue(id);
            q.addBindValue(IndexText(html));
            Write(q);
        }
        q.prepare(QStringLiteral("UPDATE urls SET last_update = ?, copy_id = ? WHERE %1").arg(QLatin1String(kKeyEntries)));
        q.addBindValue(when);
        q.addBindValue(id);
        BindKeyEntries(q, key);
        Write(q);
        if (const QString owner = SlashOwner(key); !owner.isNull()) {
            q.prepare(QStringLiteral("UPDATE urls SET slash_id = ? WHERE url = ?"));
            q.addBindValue(id);
            q.addBindValue(owner);
            Write(q);
        }
        EnforceBudget(db);
    });
}

void CHistoryDb::EnforceBudget(QSqlDatabase& db)
{
    while (m_copyBytes > m_budget) {
        QSqlQuery q(db);
        if (!First(q, QStringLiteral("SELECT id, key, html FROM copies ORDER BY taken, id LIMIT 16")))
            return;
        std::vector<std::tuple<long long, QString, QByteArray>> oldest;
        do
            oldest.emplace_back(q.value(0).toLongLong(), q.value(1).toString(), q.value(2).toByteArray());
        while (q.next());
        q.finish();
        for (const auto& [id, key, blob] : oldest) {
            if (m_copyBytes <= m_budget)
                break;
            DropCopy(db, id, blob);
            q.prepare(QStringLiteral("UPDATE urls SET last_update = last_visit, copy_id = NULL WHERE %1")
                          .arg(QLatin1String(kKeyEntries)));
            BindKeyEntries(q, key);
            Write(q);
            if (const QString owner = SlashOwner(key); !owner.isNull()) {
                q.prepare(QStringLiteral("UPDATE urls SET slash_id = NULL WHERE url = ?"));
                q.addBindValue(owner);
                Write(q);
            }
        }
    }
}

void CHistoryDb::Clear()
{
    Queue([this](QSqlDatabase& db) {
        Write(db, QStringLiteral("DELETE FROM urls"));
        Write(db, QStringLiteral("DELETE FROM copies"));
        if (m_bIndex)
            Write(db, QStringLiteral("INSERT INTO copy_index(copy_index) VALUES('delete-all')"));
        m_copyBytes = 0;
        m_bVacuum = true;
    }, true);
}

void CHistoryDb::DropCopies()
{
    Queue([this](QSqlDatabase& db) {
        Write(db, QStringLiteral("DELETE FROM copies"));
        if (m_bIndex)
            Write(db, QStringLiteral("INSERT INTO copy_index(copy_index) VALUES('delete-all')"));
        Write(db, QStringLiteral("UPDATE urls SET last_update = last_visit, copy_id = NULL, slash_id = NULL"));
        m_copyBytes = 0;
        m_bVacuum = true;
    }, true);
}

std::vector<SHistoryEntry> CHistoryDb::Enumerate(const std::string& prefix) const
{
    const CHistoryReader reader = Reader();
    std::vector<SHistoryEntry> entries;
    reader.ForEach({{prefix}}, [&](SHistoryEntry&& e) {
        entries.push_back(std::move(e));
        return true;
    });
    return entries;
}

} // namespace nimbra
