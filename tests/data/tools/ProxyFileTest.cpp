#include "data/tools/ProxyFile.h"

#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

using namespace nimbra;
using testenv::ReadFile;
using testenv::ScopedHome;
using testenv::WriteFile;

namespace {

CProxyRecord Record(std::string_view server, std::string_view override = {}, std::string name = {})
{
    CProxyRecord record;
    record.name = std::move(name);
    record.SetServerText(server);
    record.SetOverrideText(override);
    return record;
}

// "http=h:1 secure=... | same" for comparisons.
std::string Describe(const CProxyRecord& record)
{
    static const char* const kNames[] = {"http", "secure", "ftp", "gopher", "socks"};
    std::string text;
    for (size_t i = 0; i < record.hosts.size(); ++i) {
        if (!record.hosts[i].host.empty() || record.hosts[i].port != -1)
            text += std::string(kNames[i]) + "=" + record.hosts[i].host + ":" + std::to_string(record.hosts[i].port) + " ";
    }
    return text + (record.sameForAll ? "same" : "");
}

} // namespace

TEST(ProxyRecord, BuildsServerAndOverrideTexts)
{
    struct Case {
        std::function<void(CProxyRecord&)> fill;
        const char* server;
        const char* override;
    } cases[] = {
        {[](CProxyRecord& r) {
             r.sameForAll = true;
             r[EProxyProtocol::Http] = {"h", 8080};
             r[EProxyProtocol::Socks] = {"s", 1080};
         },
         "h:8080", ""},
        {[](CProxyRecord& r) {
             r[EProxyProtocol::Secure] = {"s", 443};
             r[EProxyProtocol::Ftp] = {"f", 21};
         },
         "ftp=f:21;https=s:443", ""},
        {[](CProxyRecord& r) {
             for (size_t i = 0; i < r.hosts.size(); ++i)
                 r.hosts[i] = {"h" + std::to_string(i), int(i) + 1};
         },
         "ftp=h2:3;gopher=h3:4;http=h0:1;https=h1:2;socks=h4:5", ""},
        // An unset port writes the host alone.
        {[](CProxyRecord& r) { r[EProxyProtocol::Http] = {"h", -1}; }, "http=h", ""},
        {[](CProxyRecord& r) {
             r.sameForAll = true;
             r[EProxyProtocol::Http] = {"h", -1};
         },
         "h", ""},
        {[](CProxyRecord& r) { r.sameForAll = true; }, "", ""},
        {[](CProxyRecord& r) {
             r.exceptions = ";a;b;";
             r.bypassLocal = true;
         },
         "", "a;b;<local>"},
        {[](CProxyRecord& r) {
             r.exceptions = "a;b";
             r.bypassLocal = true;
         },
         "", "a;b;<local>"},
        {[](CProxyRecord& r) { r.bypassLocal = true; }, "", "<local>"},
        {[](CProxyRecord& r) { r.exceptions = ";a;b"; }, "", ";a;b"},
    };
    for (const Case& c : cases) {
        CProxyRecord record;
        c.fill(record);
        EXPECT_EQ(record.ServerText(), c.server);
        EXPECT_EQ(record.OverrideText(), c.override);
    }
}

TEST(ProxyRecord, ParsesServerAndOverrideTexts)
{
    const std::pair<const char*, const char*> servers[] = {
        {"h:8080", "http=h:8080 secure=h:8080 ftp=h:8080 gopher=h:8080 same"},
        {"[::1]:3128", "http=[::1]:3128 secure=[::1]:3128 ftp=[::1]:3128 gopher=[::1]:3128 same"},
        {"ftp=f:21;;https=s:443;", "secure=s:443 ftp=f:21 "},
        // Parsing stops at the first part that names no protocol.
        {"http=h:1;junk;socks=s:2", "http=h:1 "},
        {"http=:;;=;socks=h:99999", ""},
        {"socks=s:0;gopher=g", "gopher=g:-1 socks=s:-1 "},
        {"", ""},
    };
    for (const auto& [text, expected] : servers)
        EXPECT_EQ(Describe(Record(text)), expected) << text;

    const CProxyRecord local = Record("", "a;b;<local>");
    EXPECT_TRUE(local.bypassLocal);
    EXPECT_EQ(local.exceptions, "a;b;");
    const CProxyRecord plain = Record("", "a;b");
    EXPECT_FALSE(plain.bypassLocal);
    EXPECT_EQ(plain.exceptions, "a;b");
}

TEST(ProxyRecord, SameForAllLeavesSocksAlone)
{
    CProxyRecord record = Record("ftp=f:21;http=h:8080;socks=s:1080");
    record.CopyHttpToAll();
    EXPECT_EQ(Describe(record), "http=h:8080 secure=h:8080 ftp=h:8080 gopher=h:8080 socks=s:1080 ");
    record[EProxyProtocol::Http] = {"n", -1};
    record.CopyHttpToAll();
    EXPECT_EQ(Describe(record), "http=n:-1 secure=n:8080 ftp=n:8080 gopher=n:8080 socks=s:1080 ")
        << "an unset HTTP port leaves the other ports";
}

TEST(ProxyFile, WritesTheLayoutAndReadsItBack)
{
    ScopedHome home;
    const std::string path = home.file("proxy.ini");
    std::vector<CProxyRecord> records = {
        Record("h:8080", "<local>", "one\r\ntwo"),
        Record("ftp=f:21;gopher=g:70;http=h:80;https=s:443;socks=k:1080", "a;b", "全部"),
        Record("", "", ""),
    };
    ASSERT_TRUE(CProxyFile::Write(path, 1, 4, records));
    EXPECT_EQ(ReadFile(path), "[ProxyOptions]\r\nProxyIndex=1\r\nProxyEnable=4\r\n\r\n"
                              "[Proxy_0]\r\nProxyName=one  two\r\nProxyServer=h:8080\r\nProxyOverride=<local>\r\n"
                              "[Proxy_1]\r\nProxyName=全部\r\n"
                              "ProxyServer=ftp=f:21;gopher=g:70;http=h:80;https=s:443;socks=k:1080\r\n"
                              "ProxyOverride=a;b\r\n"
                              "[Proxy_2]\r\nProxyName=\r\nProxyServer=\r\nProxyOverride=\r\n");
    records[0].name = "one  two";
    EXPECT_EQ(CProxyFile(path).Records(), records);

    // The exit write changes the options and keeps the entries.
    ASSERT_TRUE(CProxyFile::WriteOptions(path, -1, 2));
    const CProxyFile again(path);
    EXPECT_EQ(again.Index(), -1);
    EXPECT_EQ(again.Mode(), 2);
    EXPECT_EQ(again.Records(), records);
}

TEST(ProxyFile, ReadsByExactSectionAndKey)
{
    ScopedHome home;
    const std::string path = home.file("proxy.ini");
    WriteFile(path, "[Proxy_10]\nProxyName=ten\n"
                    "[proxy_0]\nProxyServer=a:1\nProxyName=holds [Proxy_1] in its name\n"
                    "[Proxy_0]\nProxyName=second copy\n"
                    "[Proxy_2]\nProxyName=\x83\x76\x83\x8D\x83\x4C\x83\x56\n"
                    "[ProxyOptions]\nProxyIndex=2\n");
    const CProxyFile file(path);
    EXPECT_EQ(file.Count(256), 1) << "Proxy_10 and a name holding Proxy_1 are not Proxy_1";
    EXPECT_EQ(file.Name(0), "holds [Proxy_1] in its name");
    EXPECT_EQ(file.Server(0), "a:1");
    EXPECT_EQ(file.Name(2), "プロキシ");
    EXPECT_EQ(file.Index(), 2);
    EXPECT_EQ(file.Mode(), 1);

    for (const auto& [enable, mode] : std::vector<std::pair<std::string, int>>{
             {"1", 1}, {"2", 2}, {"4", 4}, {"7", 1}, {"0", 1}, {"x", 1}}) {
        WriteFile(path, "[ProxyOptions]\r\nProxyEnable=" + enable + "\r\n");
        EXPECT_EQ(CProxyFile(path).Mode(), mode) << enable;
    }
}

TEST(ProxyFile, BadFilesReadInBoundedTime)
{
    ScopedHome home;
    const std::string path = home.file("proxy.ini");
    std::mt19937 rng(7);
    std::string binary(256 * 1024, '\0');
    for (char& c : binary)
        c = char(rng());
    std::string many;
    for (int i = 100000; i-- > 0;)
        many += "[Proxy_" + std::to_string(i) + "]\r\nProxyServer=h:" + std::to_string(i % 60000 + 1) + "\r\n";
    const std::string huge = "[Proxy_0]\nProxyServer=http=" + std::string(1024 * 1024, 'h') + ":80\n";
    const struct {
        const std::string* bytes;
        int count;
    } cases[] = {{&binary, -1}, {&many, 100000}, {&huge, 1}};
    for (const auto& c : cases) {
        WriteFile(path, *c.bytes);
        testenv::CpuTimer timer;
        timer.start();
        const CProxyFile file(path);
        const std::vector<CProxyRecord> records = file.Records();
        EXPECT_LT(timer.elapsed(), 5000);
        if (c.count >= 0) {
            EXPECT_EQ(int(records.size()), c.count);
        }
        EXPECT_LE(file.Count(256), 256);
    }
    EXPECT_EQ(CProxyFile(path).Records()[0][EProxyProtocol::Http].host.size(), 1024u * 1024u);
}

TEST(ProxyList, CurrentEntryFollowsAddRemoveAndMoves)
{
    // On "A,B,C" with the current entry at `before`.
    struct Case {
        int before;
        std::function<int(CProxyList&)> op;
        int selection;
        const char* names;
        int current;
    } cases[] = {
        {1, [](CProxyList& l) { return l.Add(-1); }, 0, "新しいプロキシ,A,B,C", 2},
        {1, [](CProxyList& l) { return l.Add(7); }, 0, "新しいプロキシ,A,B,C", 2},
        {1, [](CProxyList& l) { return l.Add(0); }, 0, "A,A,B,C", 2},
        {1, [](CProxyList& l) { return l.Add(1); }, 1, "A,B,B,C", 2}, // the copy goes before its original
        {1, [](CProxyList& l) { return l.Add(2); }, 2, "A,B,C,C", 1},
        {1, [](CProxyList& l) { return l.Remove(1); }, 1, "A,C", -1},
        {1, [](CProxyList& l) { return l.Remove(0); }, 0, "B,C", 0},
        {1, [](CProxyList& l) { return l.Remove(2); }, 1, "A,B", 1},
        {2, [](CProxyList& l) { return l.Remove(2); }, 1, "A,B", -1}, // the last one
        {1, [](CProxyList& l) { return l.Remove(3); }, 3, "A,B,C", 1},
        {1, [](CProxyList& l) { return l.Remove(-1); }, -1, "A,B,C", 1},
        {1, [](CProxyList& l) { return l.Move(0, -1); }, 0, "A,B,C", 1},
        {1, [](CProxyList& l) { return l.Move(2, 1); }, 2, "A,B,C", 1},
        {1, [](CProxyList& l) { return l.Move(-1, 1); }, -1, "A,B,C", 1},
        {1, [](CProxyList& l) { return l.Move(1, -1); }, 0, "B,A,C", 0},
        {1, [](CProxyList& l) { return l.Move(0, 1); }, 1, "B,A,C", 0},
        {1, [](CProxyList& l) { return l.Move(1, 1); }, 2, "A,C,B", 2},
        {0, [](CProxyList& l) { return l.Move(1, 1); }, 2, "A,C,B", 0}, // not involved
        // No current entry, or one beyond the list, stays as it is.
        {-1, [](CProxyList& l) { return l.Add(0); }, 0, "A,A,B,C", -1},
        {-1, [](CProxyList& l) { return l.Remove(0); }, 0, "B,C", -1},
        {-1, [](CProxyList& l) { return l.Move(0, 1); }, 1, "B,A,C", -1},
        {5, [](CProxyList& l) { return l.Add(0); }, 0, "A,A,B,C", 5},
        {5, [](CProxyList& l) { return l.Remove(0); }, 0, "B,C", 5},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        CProxyList list;
        for (const char* name : {"A", "B", "C"})
            list.m_records.push_back(Record("", "", name));
        list.m_nCurrent = cases[i].before;
        EXPECT_EQ(cases[i].op(list), cases[i].selection) << i;
        std::string names;
        for (const CProxyRecord& record : list.m_records)
            names += (names.empty() ? "" : ",") + record.name;
        EXPECT_EQ(names, cases[i].names) << i;
        EXPECT_EQ(list.m_nCurrent, cases[i].current) << i;
    }

    ScopedHome home;
    CProxyList empty;
    empty.Load(CProxyFile(home.file("missing.ini")), -1);
    ASSERT_EQ(empty.m_records.size(), 1u);
    EXPECT_EQ(empty.m_records[0].name, "新しいプロキシ");
}
