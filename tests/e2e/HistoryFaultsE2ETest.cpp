// The real browser on an X server of the test's own, driven by key presses:
// an exit while a history search runs, a history file damaged behind a sound
// header, and the web search pane's keys.
#include "data/dde/DDECommandClient.h"
#include "platform/HistoryDb.h"
#include "platform/Ini.h"

#include "BrowserProcess.h"
#include "HttpServer.h"
#include "SqliteDamage.h"
#include "TestEnv.h"
#include "XServer.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace nimbra;
using testenv::SpinUntil;

namespace {

constexpr int kLoadMs = 60000;

class HistoryFaultsE2E : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(m_x.Display().isEmpty());
        m_server.AddHtml("/page", "Fault page");
        m_service = "NBHIST" + std::to_string(QCoreApplication::applicationPid());
        CIniFile(Path("nimbrab.ini")).WriteString("Options", "DDEServerName", m_service);
    }

    std::string Path(const char* name) const { return m_home.path().toStdString() + "/" + name; }

    // Starts the browser on the page and gives its window the focus.
    void Start(testenv::Browser& browser)
    {
        browser.SetEnv("QT_QPA_PLATFORM", "xcb");
        browser.SetEnv("DISPLAY", m_x.Display());
        browser.Start({m_server.Url("/page")});
        unsigned window = 0;
        ASSERT_TRUE(SpinUntil([&] { return (window = m_x.FindWindow("Fault page")) != 0 && m_x.IsViewable(window); },
                              kLoadMs));
        Xdo({"windowfocus", "--sync", QString::number(window)});
    }

    int Xdo(const QStringList& args, QString* out = nullptr) { return m_x.Xdo(args, out); }
    // The browser's windows on the screen (its menus included).
    int Windows()
    {
        QString ids;
        Xdo({"search", "--onlyvisible", "--classname", "nimbrab"}, &ids);
        return int(ids.split('\n', Qt::SkipEmptyParts).size());
    }
    void Keys(const QString& keys) { EXPECT_EQ(Xdo({"key", "--delay", "80", keys}), 0) << keys.toStdString(); }
    void Type(const QString& text) { EXPECT_EQ(Xdo({"type", "--delay", "80", text}), 0) << text.toStdString(); }

    // The URLs a file of the history holds, read as another program would.
    static std::vector<std::string> StoredUrls(const std::string& path)
    {
        std::vector<std::string> urls;
        {
            QSqlDatabase sql = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("peek"));
            sql.setDatabaseName(QString::fromStdString(path));
            sql.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000"));
            if (sql.open()) {
                QSqlQuery q(sql);
                if (q.exec(QStringLiteral("SELECT url FROM urls")))
                    while (q.next())
                        urls.push_back(q.value(0).toString().toStdString());
            }
        }
        QSqlDatabase::removeDatabase(QStringLiteral("peek"));
        return urls;
    }

    testenv::XServer m_x;
    testenv::HttpServer m_server;
    QTemporaryDir m_home;
    std::string m_service;
};

} // namespace

TEST_F(HistoryFaultsE2E, AnExitStopsARunningHistorySearchWithoutAsking)
{
    // A history whose search for two letters reads a gigabyte of page
    // copies: seconds of work, still running when the exit comes.
    {
        const long long now = QDateTime::currentSecsSinceEpoch();
        CHistoryDb db(Path("history.db"));
        for (int i = 0; i < 1000; ++i)
            db.AddVisit("http://big.example/" + std::to_string(i), "", now);
        db.Flush();
    }
    {
        QSqlDatabase sql = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fill"));
        sql.setDatabaseName(QString::fromStdString(Path("history.db")));
        ASSERT_TRUE(sql.open());
        const QByteArray page = QByteArray("<p>a page of words</p>\n").repeated(1 << 16);
        const QByteArray blob = qCompress(page);
        QSqlQuery q(sql);
        sql.transaction();
        for (int i = 0; i < 1000; ++i) {
            q.prepare(QStringLiteral("INSERT INTO copies(key, taken, size, html) VALUES(?, ?, ?, ?)"));
            q.addBindValue(QStringLiteral("http://big.example/%1").arg(i));
            q.addBindValue(QDateTime::currentSecsSinceEpoch());
            q.addBindValue(page.size());
            q.addBindValue(blob);
            ASSERT_TRUE(q.exec());
        }
        sql.commit();
        sql.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("fill"));

    enum EExit { kMenu, kDde, kSignal };
    for (const EExit exit : {kMenu, kDde, kSignal}) {
        // Each start on the files as the first found them.
        testenv::TempDir home;
        for (const char* name : {"history.db", "nimbrab.ini"})
            ASSERT_TRUE(QFile::copy(m_home.filePath(name), home.path() + "/" + name));
        testenv::Browser browser(home.path());
        Start(browser);
        Keys("ctrl+e");
        Type("zq");
        Keys("Return");
        // The menu opens once the keys before it are handled: the search runs.
        Keys("alt+f");
        ASSERT_TRUE(SpinUntil([&] { return Windows() == 2; }, kLoadMs));
        if (exit == kMenu) {
            Keys("x");
        } else {
            Keys("Escape");
            ASSERT_TRUE(SpinUntil([&] { return Windows() == 1; }, kLoadMs));
        }
        if (exit == kDde) {
            EXPECT_EQ(CDDECommandClient(m_service).Poke("WWW_Exit", "0", "x"), CDDECommandClient::kOk);
        }
        // The window goes, and the program ends by itself, asking nothing.
        EXPECT_TRUE(exit == kSignal ? browser.Terminate() : browser.WaitForExit(kLoadMs)) << exit;
    }
}

TEST_F(HistoryFaultsE2E, AHistoryDamagedBehindASoundHeaderIsSetAsideVisitsGoOnAndTheNoticeStays)
{
    const std::string path = Path("history.db");
    {
        CHistoryDb db(path);
        for (int i = 0; i < 300; ++i)
            db.AddVisit("http://old.example/" + std::to_string(i), "Old", 1000 + i);
    }
    testenv::DamageSqlitePages(path);
    const std::string damaged = testenv::ReadFile(path);

    testenv::Browser browser(m_home.path());
    Start(browser);
    const std::string page = m_server.Url("/page").toStdString();
    EXPECT_TRUE(SpinUntil([&] { return StoredUrls(path) == std::vector<std::string>{page}; }, kLoadMs));
    const QStringList aside = QDir(m_home.path()).entryList({QStringLiteral("history.db.bad-*")}, QDir::Files);
    ASSERT_FALSE(aside.isEmpty());
    EXPECT_EQ(testenv::ReadFile(m_home.filePath(aside[0]).toStdString()), damaged);
    // The file is checked once the first page is in; the notice, in a window
    // of its own, comes then and stays beside the page.
    EXPECT_TRUE(SpinUntil([&] {
        QString notices;
        return Xdo({"search", "--onlyvisible", "--name", "^Nimbra Browser$"}, &notices) == 0
               && !notices.trimmed().isEmpty();
    }, kLoadMs));
    EXPECT_TRUE(browser.Terminate());
}

TEST_F(HistoryFaultsE2E, WebSearchKeysSearchTheTypedText)
{
    testenv::WriteFile(Path("search.ini"), "[Options]\r\nItemCount=1\r\n[SearchItem0]\r\nEnable=1\r\nTitle=S\r\nUrlF=" +
                                                m_server.Url("/s").toStdString() + "?q=\r\nUrlB=&e=1\r\n");
    testenv::Browser browser(m_home.path());
    Start(browser);
    // Ctrl+4: the text box takes the typing.
    Keys("ctrl+4");
    Type("wombat hat");
    Keys("Return");
    ASSERT_TRUE(m_server.WaitForRequest("/s?q=wombat%20hat&e=1", kLoadMs)) << m_server.Requests().join(' ').toStdString();
    // An earlier text is not filled in for a shorter one.
    Keys("alt+m");
    Keys("shift+Tab");
    Keys("ctrl+a");
    Type("wombat");
    Keys("Return");
    EXPECT_TRUE(m_server.WaitForRequest("/s?q=wombat&e=1", kLoadMs)) << m_server.Requests().join(' ').toStdString();
    EXPECT_EQ(m_server.Requests().count("/s?q=wombat%20hat&e=1"), 1);
    EXPECT_TRUE(browser.Terminate());
}
