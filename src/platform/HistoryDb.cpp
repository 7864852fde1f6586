#include "platform/HistoryDb.h"

#include "platform/Text.h"

#include <QDateTime>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QVariant>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nimbra {

namespace {

constexpr int kSchemaVersion = 1;
constexpr int kMaxQueryTrigrams = 32;

const char* const kSchema[] = {
    "CREATE TABLE IF NOT EXISTS urls(id INTEGER PRIMARY KEY, url TEXT NOT NULL UNIQUE, "
    "title TEXT NOT NULL DEFAULT '', host TEXT NOT NULL DEFAULT '', last_visit INTEGER NOT NULL, "
    "last_update INTEGER NOT NULL, visit_count INTEGER NOT NULL DEFAULT 0)",
    "CREATE INDEX IF NOT EXISTS urls_visit ON urls(last_visit)",
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

CHistoryReader::CHistoryReader(const std::string& path) : m_name(NewConnectionName("r"))
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
    db.setDatabaseName(ToQ(path));
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000"));
    if (QFile::exists(ToQ(path)))
        db.open();
}

CHistoryReader::~CHistoryReader()
{
    {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_name);
}

bool CHistoryReader::IsOpen() const
{
    return QSqlDatabase::database(m_name, false).isOpen();
}

void CHistoryReader::ForEach(const std::string& prefix, long long updatedSince,
                             const std::function<bool(SHistoryEntry&&)>& each) const
{
    QSqlQuery q(QSqlDatabase::database(m_name, false));
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT %1 FROM urls WHERE substr(url, 1, length(:p)) = :p AND last_update >= :s "
                             "ORDER BY last_visit DESC")
                  .arg(QLatin1String(kEntryColumns)));
    q.bindValue(QStringLiteral(":p"), ToQ(prefix));
    q.bindValue(QStringLiteral(":s"), updatedSince);
    if (!q.exec())
        return;
    while (q.next())
        if (!each(EntryFrom(q)))
            return;
}

std::optional<std::string> CHistoryReader::Copy(const std::string& key) const
{
    QSqlQuery q(QSqlDatabase::database(m_name, false));
    q.prepare(QStringLiteral("SELECT html FROM copies WHERE key = ?"));
    q.addBindValue(ToQ(key));
    if (!q.exec() || !q.next())
        return std::nullopt;
    const QByteArray html = Inflate(q.value(0).toByteArray());
    if (html.isEmpty())
        return std::nullopt;
    return html.toStdString();
}

std::optional<std::unordered_set<std::string>> CHistoryReader::Candidates(const std::string& folded) const
{
    const QList<uint> chars = ToQ(folded).toUcs4();
    if (chars.size() < 3 || chars.contains(0u))
        return std::nullopt;
    QStringList terms;
    for (qsizetype i = 0; i + 3 <= chars.size() && terms.size() < kMaxQueryTrigrams; ++i) {
        QString trigram = QString::fromUcs4(reinterpret_cast<const char32_t*>(chars.constData() + i), 3);
        trigram.replace(QLatin1Char('"'), QStringLiteral("\"\""));
        trigram = QLatin1Char('"') + trigram + QLatin1Char('"');
        if (!terms.contains(trigram))
            terms << trigram;
    }
    QSqlQuery q(QSqlDatabase::database(m_name, false));
    q.setForwardOnly(true);
    q.prepare(QStringLiteral(
        "SELECT key FROM copies WHERE id IN (SELECT rowid FROM copy_index WHERE copy_index MATCH ?)"));
    q.addBindValue(terms.join(QStringLiteral(" AND ")));
    if (!q.exec())
        return std::nullopt;
    std::unordered_set<std::string> keys;
    while (q.next())
        keys.insert(FromQ(q.value(0).toString()));
    return keys;
}

std::vector<std::string> CHistoryReader::VisitDates() const
{
    QSqlQuery q(QSqlDatabase::database(m_name, false));
    q.setForwardOnly(true);
    std::vector<std::string> dates;
    if (q.exec(QStringLiteral("SELECT DISTINCT date(last_visit, 'unixepoch', 'localtime') FROM urls")))
        while (q.next())
            dates.push_back(FromQ(q.value(0).toString()));
    return dates;
}

std::vector<std::string> CHistoryReader::Hosts(long long from, long long to) const
{
    QSqlQuery q(QSqlDatabase::database(m_name, false));
    q.setForwardOnly(true);
    q.prepare(QStringLiteral(
        "SELECT DISTINCT host FROM urls WHERE last_visit >= ? AND last_visit < ? ORDER BY host"));
    q.addBindValue(from);
    q.addBindValue(to);
    std::vector<std::string> hosts;
    if (q.exec())
        while (q.next())
            hosts.push_back(FromQ(q.value(0).toString()));
    return hosts;
}

std::vector<SHistoryEntry> CHistoryReader::Pages(const std::string& host, long long from, long long to) const
{
    QSqlQuery q(QSqlDatabase::database(m_name, false));
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
    return pages;
}

std::optional<SHistoryEntry> CHistoryReader::Entry(const std::string& url) const
{
    QSqlQuery q(QSqlDatabase::database(m_name, false));
    q.prepare(QStringLiteral("SELECT %1 FROM urls WHERE url = ?").arg(QLatin1String(kEntryColumns)));
    q.addBindValue(ToQ(url));
    if (!q.exec() || !q.next())
        return std::nullopt;
    return EntryFrom(q);
}

// ---------------------------------------------------------------- writer

CHistoryDb::CHistoryDb(const std::string& path, long long copyBudget,
                       std::function<void(const std::string&)> onMessage)
    : m_path(path), m_budget(copyBudget)
{
    m_thread = std::thread([this, onMessage = std::move(onMessage)] { Run(onMessage); });
}

CHistoryDb::~CHistoryDb()
{
    {
        std::lock_guard lock(m_mutex);
        m_bStop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void CHistoryDb::Queue(Job job, bool barrier)
{
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(job));
        ++m_queued;
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
    return CHistoryReader(m_path);
}

void CHistoryDb::WaitOpen() const
{
    std::unique_lock lock(m_mutex);
    m_done.wait(lock, [&] { return m_bOpened; });
}

std::string CHistoryDb::OpenMessage()
{
    WaitOpen();
    std::lock_guard lock(m_mutex);
    return m_message;
}

bool CHistoryDb::HasIndex()
{
    WaitOpen();
    std::lock_guard lock(m_mutex);
    return m_bIndex;
}

void CHistoryDb::Open(QSqlDatabase& db)
{
    const QString path = ToQ(m_path);
    // The file is made private before SQLite sees it; its journal files
    // take the same mode.
    const int fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    bool readOnly = fd < 0;
    if (fd >= 0)
        ::close(fd);
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
    int version = connect();
    if (version < 0 && !readOnly) {
        SetAside(m_path);
        m_message = "履歴ファイルが壊れているため別名で残し、新しく作りました: " + m_path;
        const int again = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (again >= 0)
            ::close(again);
        version = connect();
    }
    if (version > kSchemaVersion && !readOnly) {
        readOnly = true;
        version = connect();
        m_message = "履歴ファイルは新しい版のため、読み取り専用で使います: " + m_path;
    } else if (readOnly) {
        m_message = "履歴ファイルに書き込めないため、読み取り専用で使います: " + m_path;
    }
    if (version < 0) {
        db.close();
        readOnly = true;
        m_message = "履歴ファイルを開けません: " + m_path;
    }
    m_bReadOnly = readOnly;
    if (readOnly) {
        QSqlQuery q(db);
        m_bIndex = db.isOpen() && q.exec(QStringLiteral("SELECT 1 FROM copy_index LIMIT 0"));
        return;
    }
    Exec(db, QStringLiteral("PRAGMA journal_mode=WAL"));
    Exec(db, QStringLiteral("PRAGMA synchronous=NORMAL"));
    Exec(db, QStringLiteral("PRAGMA secure_delete=ON"));
    for (const char* sql : kSchema)
        Exec(db, QLatin1String(sql));
    m_bIndex = Exec(db, QLatin1String(kIndexSchema));
    if (!m_bIndex)
        std::fprintf(stderr, "nimbrab: SQLite has no FTS5; the history search reads every page copy\n");
    Exec(db, QStringLiteral("PRAGMA user_version=%1").arg(kSchemaVersion));
    QSqlQuery q(db);
    if (q.exec(QStringLiteral("SELECT total(length(html)) FROM copies")) && q.next())
        m_copyBytes = q.value(0).toLongLong();
    ::chmod(m_path.c_str(), 0600);
}

void CHistoryDb::Run(const std::function<void(const std::string&)>& onMessage)
{
    const QString name = NewConnectionName("w");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        Open(db);
        {
            std::lock_guard lock(m_mutex);
            m_bOpened = true;
        }
        m_done.notify_all();
        if (onMessage && !m_message.empty())
            onMessage(m_message);
        for (;;) {
            std::deque<Job> jobs;
            {
                std::unique_lock lock(m_mutex);
                m_wake.wait(lock, [&] { return m_bStop || !m_jobs.empty(); });
                if (m_jobs.empty())
                    break;
                jobs.swap(m_jobs);
            }
            if (!m_bReadOnly && db.isOpen()) {
                db.transaction();
                for (Job& job : jobs)
                    job(db);
                db.commit();
            }
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
    Queue([url = ToQ(url), title = ToQ(title), host = ToQ(HistoryHost(url)), key = ToQ(CopyKey(url)),
           when](QSqlDatabase& db) {
        QSqlQuery q(db);
        q.prepare(QStringLiteral(
            "INSERT INTO urls(url, title, host, last_visit, last_update, visit_count) "
            "VALUES(:u, :t, :h, :w, coalesce((SELECT taken FROM copies WHERE key = :k), :w), 1) "
            "ON CONFLICT(url) DO UPDATE SET visit_count = visit_count + 1, last_visit = :w, "
            "title = CASE WHEN :t <> '' THEN :t ELSE title END, "
            "last_update = coalesce((SELECT taken FROM copies WHERE key = :k), :w)"));
        q.bindValue(QStringLiteral(":u"), url);
        q.bindValue(QStringLiteral(":t"), title);
        q.bindValue(QStringLiteral(":h"), host);
        q.bindValue(QStringLiteral(":w"), when);
        q.bindValue(QStringLiteral(":k"), key);
        q.exec();
    });
}

void CHistoryDb::SetTitle(const std::string& url, const std::string& title)
{
    Queue([url = ToQ(url), title = ToQ(title)](QSqlDatabase& db) {
        QSqlQuery q(db);
        q.prepare(QStringLiteral("UPDATE urls SET title = ? WHERE url = ?"));
        q.addBindValue(title);
        q.addBindValue(url);
        q.exec();
    });
}

void CHistoryDb::DropCopy(QSqlDatabase& db, long long id, const QByteArray& blob)
{
    QSqlQuery q(db);
    if (m_bIndex) {
        q.prepare(QStringLiteral("INSERT INTO copy_index(copy_index, rowid, text) VALUES('delete', ?, ?)"));
        q.addBindValue(id);
        q.addBindValue(IndexText(Inflate(blob)));
        q.exec();
    }
    q.prepare(QStringLiteral("DELETE FROM copies WHERE id = ?"));
    q.addBindValue(id);
    q.exec();
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
        if (!q.exec() || !q.next())
            return;
        q.finish();
        q.prepare(QStringLiteral("SELECT id, html FROM copies WHERE key = ?"));
        q.addBindValue(key);
        if (q.exec() && q.next()) {
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
        if (!q.exec())
            return;
        m_copyBytes += blob.size();
        const long long id = q.lastInsertId().toLongLong();
        if (m_bIndex) {
            q.prepare(QStringLiteral("INSERT INTO copy_index(rowid, text) VALUES(?, ?)"));
            q.addBindValue(id);
            q.addBindValue(IndexText(html));
            q.exec();
        }
        q.prepare(QStringLiteral("UPDATE urls SET last_update = ? WHERE %1").arg(QLatin1String(kKeyEntries)));
        q.addBindValue(when);
        BindKeyEntries(q, key);
        q.exec();
        EnforceBudget(db);
    });
}

void CHistoryDb::EnforceBudget(QSqlDatabase& db)
{
    while (m_copyBytes > m_budget) {
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("SELECT id, key, html FROM copies ORDER BY taken, id LIMIT 16")) || !q.next())
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
            q.prepare(QStringLiteral("UPDATE urls SET last_update = last_visit WHERE %1").arg(QLatin1String(kKeyEntries)));
            BindKeyEntries(q, key);
            q.exec();
        }
    }
}

void CHistoryDb::Clear()
{
    Queue([this](QSqlDatabase& db) {
        Exec(db, QStringLiteral("DELETE FROM urls"));
        Exec(db, QStringLiteral("DELETE FROM copies"));
        if (m_bIndex)
            Exec(db, QStringLiteral("INSERT INTO copy_index(copy_index) VALUES('delete-all')"));
        m_copyBytes = 0;
        m_bVacuum = true;
    }, true);
}

void CHistoryDb::DropCopies()
{
    Queue([this](QSqlDatabase& db) {
        Exec(db, QStringLiteral("DELETE FROM copies"));
        if (m_bIndex)
            Exec(db, QStringLiteral("INSERT INTO copy_index(copy_index) VALUES('delete-all')"));
        Exec(db, QStringLiteral("UPDATE urls SET last_update = last_visit"));
        m_copyBytes = 0;
        m_bVacuum = true;
    }, true);
}

std::vector<SHistoryEntry> CHistoryDb::Enumerate(const std::string& prefix) const
{
    const CHistoryReader reader = Reader();
    std::vector<SHistoryEntry> entries;
    reader.ForEach(prefix, 0, [&](SHistoryEntry&& e) {
        entries.push_back(std::move(e));
        return true;
    });
    return entries;
}

} // namespace nimbra
