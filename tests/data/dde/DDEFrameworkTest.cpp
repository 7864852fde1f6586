#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>

#include "FakeBrowserHost.h"
#include "data/dde/DDEServer.h"
#include "data/dde/NimbraDDEClient.h"

using namespace nimbra;
using namespace nimbra::ddeml;
using ddetest::CFakeHost;
using ddetest::CRecording;

namespace {

constexpr char kService[] = "NBFRAME";

// Transactions handed straight to the dispatcher, as the library would.
std::optional<std::string> Request(CDDEServer& server, const std::string& topic, const std::string& item,
                                   UINT format = CF_TEXT)
{
    const CHSZ hszTopic(server.Instance(), topic);
    const CHSZ hszItem(server.Instance(), item);
    const HDDEDATA reply = server.Dispatch(XTYP_REQUEST, format, nullptr, hszTopic, hszItem, nullptr, 0, 0);
    DWORD size = 0;
    const BYTE* bytes = DdeAccessData(reply, &size);
    if (!bytes)
        return std::nullopt;
    std::string data(reinterpret_cast<const char*>(bytes), size);
    DdeFreeDataHandle(reply);
    return data;
}

ULONG_PTR Poke(CDDEServer& server, const std::string& topic, const std::string& item, const std::string& data,
               UINT format = CF_TEXT)
{
    const CHSZ hszTopic(server.Instance(), topic);
    const CHSZ hszItem(server.Instance(), item);
    const HDDEDATA handle = DdeCreateDataHandle(server.Instance(), data.data(), DWORD(data.size()));
    const HDDEDATA result = server.Dispatch(XTYP_POKE, format, nullptr, hszTopic, hszItem, handle, 0, 0);
    DdeFreeDataHandle(handle);
    return DdeResultValue(result);
}

ULONG_PTR Execute(CDDEServer& server, const std::string& topic, const std::string& data)
{
    const CHSZ hszTopic(server.Instance(), topic);
    const HDDEDATA handle = DdeCreateDataHandle(server.Instance(), data.data(), DWORD(data.size()));
    const HDDEDATA result = server.Dispatch(XTYP_EXECUTE, 0, nullptr, hszTopic, nullptr, handle, 0, 0);
    DdeFreeDataHandle(handle);
    return DdeResultValue(result);
}

bool Connect(CDDEServer& server, const std::string& topic)
{
    const CHSZ hszTopic(server.Instance(), topic);
    const CHSZ hszService(server.Instance(), server.Service());
    return DdeResultValue(server.Dispatch(XTYP_CONNECT, 0, nullptr, hszTopic, hszService, nullptr, 0, 0)) != 0;
}

// The (service, topic) names of a wild connect's answer; nullopt when refused.
std::optional<std::vector<std::pair<std::string, std::string>>> WildConnect(CDDEServer& server, const char* service,
                                                                            const char* topic)
{
    CHSZ hszService;
    CHSZ hszTopic;
    if (service)
        hszService.Assign(server.Instance(), service);
    if (topic)
        hszTopic.Assign(server.Instance(), topic);
    const HDDEDATA reply = server.Dispatch(XTYP_WILDCONNECT, 0, nullptr, hszTopic, hszService, nullptr, 0, 0);
    DWORD size = 0;
    const BYTE* bytes = DdeAccessData(reply, &size);
    if (!bytes)
        return std::nullopt;
    std::vector<std::pair<std::string, std::string>> pairs;
    bool closed = false;
    for (DWORD at = 0; at + sizeof(HSZPAIR) <= size; at += sizeof(HSZPAIR)) {
        HSZPAIR pair;
        std::memcpy(&pair, bytes + at, sizeof pair);
        if (!pair.hszSvc && !pair.hszTopic) {
            closed = at + sizeof(HSZPAIR) == size;
            break;
        }
        pairs.emplace_back(DdeQueryString(server.Instance(), pair.hszSvc).value_or("?"),
                           DdeQueryString(server.Instance(), pair.hszTopic).value_or("?"));
    }
    DdeFreeDataHandle(reply);
    EXPECT_TRUE(closed) << "the pairs end with one null pair";
    return pairs;
}

std::string Le32(std::initializer_list<std::uint32_t> values)
{
    std::string bytes;
    for (std::uint32_t v : values)
        for (int b = 0; b < 4; ++b)
            bytes += char((v >> (8 * b)) & 0xFF);
    return bytes;
}

class CClockTopic : public CDDETopic {
public:
    CClockTopic() : CDDETopic("Clock") { AddItem(&time); }
    CDDEStringItem time{"Time"};
};

class FrameworkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.Create(kService));
        server.AddTopic(&clock);
    }
    CRecording<CDDEServer> server;
    CClockTopic clock;
};

class BrowserTopicsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.Start(kService)); }
    CFakeHost host;
    CRecording<CNimbraDDEClient> server{host};
};

} // namespace

TEST_F(FrameworkTest, ConnectsOnlyToRegisteredTopicsIgnoringCase)
{
    EXPECT_TRUE(Connect(server, "system"));
    EXPECT_TRUE(Connect(server, "CLOCK"));
    EXPECT_FALSE(Connect(server, "Nope"));
    EXPECT_TRUE(server.Reported("Callback 1062H"));
}

TEST_F(FrameworkTest, SecondServerFailsWithoutStartingAnInstance)
{
    CDDEServer second;
    DWORD inst = 0;
    EXPECT_FALSE(second.Create("OTHER", 0, &inst));
    EXPECT_EQ(inst, 0u);
    EXPECT_EQ(second.Instance(), 0u);
    EXPECT_FALSE(second.IsInitialised());
    EXPECT_TRUE(Connect(server, "System")); // the first one still answers
}

TEST_F(FrameworkTest, WildConnectListsTopicsInOrderOrRefuses)
{
    using Pairs = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(WildConnect(server, nullptr, nullptr), (Pairs{{kService, "System"}, {kService, "Clock"}}));
    EXPECT_EQ(WildConnect(server, "nbframe", "clock"), (Pairs{{kService, "clock"}}));

    server.reports.clear();
    EXPECT_FALSE(WildConnect(server, "SOMEONE_ELSE", nullptr));
    EXPECT_FALSE(server.Reported("Wild connect to <null>")); // another service: no report

    EXPECT_FALSE(WildConnect(server, nullptr, "Nope"));
    EXPECT_TRUE(server.Reported("Wild connect to Nope"));
    EXPECT_TRUE(server.Reported("Wild connect to Nope refused"));
}

TEST_F(FrameworkTest, SystemItemsAnswerForTheTopicAsked)
{
    EXPECT_EQ(Request(server, "System", "Topics"), std::string("System\tClock") + '\0');
    EXPECT_EQ(Request(server, "System", "SysItems"), std::string("TopicItemList\tFormats\tTopics\tSysItems") + '\0');
    EXPECT_EQ(Request(server, "System", "Formats"), std::string("TEXT") + '\0');
    EXPECT_TRUE(server.Reported("System topic request: Formats"));
    // The item list is shared by every topic; each gets its own items.
    EXPECT_EQ(Request(server, "Clock", "topicitemlist"), std::string("Time\tTopicItemList\tFormats") + '\0');
    EXPECT_EQ(Request(server, "System", "TopicItemList"), std::string("TopicItemList\tFormats\tTopics\tSysItems") + '\0');
    // Unknown items, formats and topics.
    EXPECT_FALSE(Request(server, "System", "Nope"));
    EXPECT_FALSE(Request(server, "System", "Topics", 2));
    EXPECT_FALSE(Request(server, "Nope", "Topics"));
    EXPECT_TRUE(server.Reported("Request Nope|Topics failed"));
}

TEST_F(FrameworkTest, StringItemPokeIsBoundedAndStopsAtZero)
{
    EXPECT_EQ(Poke(server, "Clock", "Time", std::string("12:00\0junk", 10)), DDE_FACK);
    EXPECT_EQ(clock.time.GetValue(), "12:00");
    EXPECT_EQ(Request(server, "Clock", "Time"), std::string("12:00") + '\0');

    const std::string big(1 << 20, 'x'); // no terminating zero at all
    EXPECT_EQ(Poke(server, "Clock", "Time", big), DDE_FACK);
    EXPECT_EQ(clock.time.GetValue(), big);
    EXPECT_EQ(Poke(server, "Clock", "Time", ""), DDE_FACK);
    EXPECT_EQ(clock.time.GetValue(), "");
    EXPECT_EQ(Poke(server, "Clock", "Time", "\xff\xfe\x80"), DDE_FACK);
    EXPECT_EQ(clock.time.GetValue(), "\xff\xfe\x80");

    EXPECT_EQ(Poke(server, "Clock", "Time", "x", 2), DDE_FNOTPROCESSED); // not text
    EXPECT_EQ(Poke(server, "Clock", "Nope", "x"), DDE_FNOTPROCESSED);
    EXPECT_TRUE(server.Reported("Poke Clock|Nope failed"));
    EXPECT_EQ(Poke(server, "Nope", "Time", "x"), DDE_FNOTPROCESSED);
}

TEST_F(FrameworkTest, ExecuteAdviseAndUnknownHandles)
{
    EXPECT_EQ(Execute(server, "Clock", "[go]"), DDE_FNOTPROCESSED);
    EXPECT_TRUE(server.Reported("Exec"));
    EXPECT_TRUE(server.Reported("Exec failed"));

    const CHSZ topic(server.Instance(), "Clock");
    const CHSZ item(server.Instance(), "Time");
    const CHSZ other(server.Instance(), "Nope");
    EXPECT_EQ(DdeResultValue(server.Dispatch(XTYP_ADVSTART, CF_TEXT, nullptr, topic, item, nullptr, 0, 0)), 1u);
    EXPECT_EQ(DdeResultValue(server.Dispatch(XTYP_ADVSTART, CF_TEXT, nullptr, topic, other, nullptr, 0, 0)), 0u);
    EXPECT_TRUE(server.Reported("Can't advise on Clock|Nope"));

    // Advise data for a conversation the server does not have.
    EXPECT_EQ(DdeResultValue(server.Dispatch(XTYP_ADVDATA, CF_TEXT, reinterpret_cast<HCONV>(0x7777), topic, item,
                                             nullptr, 0, 0)),
              DDE_FNOTPROCESSED);
    EXPECT_TRUE(server.Reported("AdviseData Clock|Time failed"));

    // A handle that is not a string handle of the instance reads "<error>".
    EXPECT_EQ(server.Dispatch(XTYP_REQUEST, CF_TEXT, nullptr, reinterpret_cast<HSZ>(0x7FFFFFF0), nullptr, nullptr, 0, 0),
              nullptr);
    EXPECT_TRUE(server.Reported("Request <error>|<null> failed"));
    EXPECT_TRUE(server.Reported("Callback 20B0H"));
}

TEST_F(FrameworkTest, ConversationsLiveFromConfirmToDisconnect)
{
    const CHSZ topic(server.Instance(), "Clock");
    const CHSZ service(server.Instance(), kService);
    const HCONV conv = reinterpret_cast<HCONV>(0x4242);
    server.Dispatch(XTYP_CONNECT_CONFIRM, 0, conv, topic, service, nullptr, 0, 0);
    ASSERT_EQ(server.Conversations().size(), 1u);
    EXPECT_EQ(server.Conversations()[0]->Handle(), conv);
    EXPECT_EQ(DdeQueryString(server.Instance(), server.Conversations()[0]->TopicHandle()), "Clock");
    EXPECT_TRUE(server.Reported("Connect to Clock"));

    server.Dispatch(XTYP_DISCONNECT, 0, reinterpret_cast<HCONV>(0x9999), nullptr, nullptr, nullptr, 0, 0);
    EXPECT_EQ(server.Conversations().size(), 1u); // an unknown conversation changes nothing
    server.Dispatch(XTYP_DISCONNECT, 0, conv, nullptr, nullptr, nullptr, 0, 0);
    EXPECT_TRUE(server.Conversations().empty());
    EXPECT_TRUE(server.Reported("Disconnect"));

    // Unhandled transactions reach the custom callback, which answers 0.
    EXPECT_EQ(server.Dispatch(XTYP_REGISTER, 0, nullptr, nullptr, nullptr, nullptr, 0, 0), nullptr);
}

TEST(DDEArguments, FirstArgumentDropsQuotesAndLaterArguments)
{
    EXPECT_EQ(FirstDDEArgument("\"about:blank\",,0xFFFFFFFF,0x0"), "about:blank");
    EXPECT_EQ(FirstDDEArgument("a\"b\"c"), "abc");
    EXPECT_EQ(FirstDDEArgument(",x"), "");
    EXPECT_EQ(FirstDDEArgument("\"\""), "");
    EXPECT_FALSE(FirstDDEArgument(""));
    EXPECT_FALSE(FirstDDEArgument(std::string("\0abc", 4)));
    EXPECT_EQ(FirstDDEArgument(std::string("ab\0,cd", 6)), "ab");
}

TEST_F(BrowserTopicsTest, TopicsAreRegisteredAfterSystemInOrder)
{
    EXPECT_EQ(Request(server, "System", "Topics"),
              std::string("System\tWWW_OpenURL\tWWW_GetWindowInfo\tWWW_Activate\tWWW_ListWindows\tWWW_Exit\tWWW_ShowFile")
                  + '\0');
}

TEST_F(BrowserTopicsTest, OpenUrlAndShowFileGoInTheCurrentTab)
{
    EXPECT_EQ(Request(server, "WWW_OpenURL", "\"about:blank\",,0xFFFFFFFF,0x0"), ""); // empty data item
    EXPECT_EQ(Request(server, "www_showfile", "/tmp/a b.html", 7), "");
    ASSERT_EQ(host.goCalls.size(), 2u);
    EXPECT_EQ(host.goCalls[0].text, "about:blank");
    EXPECT_EQ((std::vector<int>{host.goCalls[0].addToHistory, host.goCalls[0].newTab, host.goCalls[0].touchHistory,
                                host.goCalls[0].notifyFrame}),
              (std::vector<int>{0, 0, 1, 1}));
    EXPECT_EQ(host.goCalls[1].text, "/tmp/a b.html");

    EXPECT_FALSE(Request(server, "WWW_OpenURL", ""));
    EXPECT_EQ(Request(server, "WWW_OpenURL", ","), ""); // an empty first argument is used all the same
    const std::string huge(1 << 20, 'u');
    EXPECT_EQ(Request(server, "WWW_OpenURL", huge + ",x"), "");
    ASSERT_EQ(host.goCalls.size(), 4u);
    EXPECT_EQ(host.goCalls[2].text, "");
    EXPECT_EQ(host.goCalls[3].text, huge);
}

TEST_F(BrowserTopicsTest, ActivateRestoresOnlyForTheCurrentWindow)
{
    EXPECT_EQ(Request(server, "WWW_Activate", "0XFFFFFFFF,0x0"), "");
    EXPECT_EQ(host.restores, 1);
    host.hidden = true;
    EXPECT_EQ(Request(server, "WWW_Activate", "\"0xffffffff\""), "");
    EXPECT_EQ(host.trayRestores, 1);
    EXPECT_EQ(Request(server, "WWW_Activate", "1"), "");
    EXPECT_EQ(host.restores + host.trayRestores, 2);
    EXPECT_FALSE(Request(server, "WWW_Activate", ""));
}

TEST_F(BrowserTopicsTest, GetWindowInfoByIdentifier)
{
    host.SetTabs(2);
    host.active = 1;
    const std::string first = std::string("\"http://site1/\",\"Page 1\",\"\"") + '\0';
    const std::string second = std::string("\"http://site2/\",\"Page 2\",\"\"") + '\0';
    EXPECT_EQ(Request(server, "WWW_GetWindowInfo", "1"), first);
    EXPECT_EQ(Request(server, "WWW_GetWindowInfo", "2,x"), second);
    EXPECT_EQ(Request(server, "WWW_GetWindowInfo", "0"), second);
    EXPECT_EQ(Request(server, "WWW_GetWindowInfo", "abc"), second);
    EXPECT_EQ(Request(server, "WWW_GetWindowInfo", "0xFFFFFFFF"), second);
    EXPECT_FALSE(Request(server, "WWW_GetWindowInfo", "3"));
    EXPECT_FALSE(Request(server, "WWW_GetWindowInfo", "-5"));
    EXPECT_FALSE(Request(server, "WWW_GetWindowInfo", "-2147483648"));
    EXPECT_FALSE(Request(server, "WWW_GetWindowInfo", "1", 2));
    host.active = -1;
    EXPECT_FALSE(Request(server, "WWW_GetWindowInfo", "0xffffffff"));
}

TEST_F(BrowserTopicsTest, ListWindowsSends499BytesOfTheTable)
{
    EXPECT_FALSE(Request(server, "WWW_ListWindows", "0"));
    host.SetTabs(3);
    const std::optional<std::string> three = Request(server, "WWW_ListWindows", "0", 2);
    ASSERT_TRUE(three);
    ASSERT_EQ(three->size(), 499u);
    EXPECT_EQ(three->substr(0, 12), Le32({1, 2, 3}));
    EXPECT_EQ(three->find_first_not_of('\0', 12), std::string::npos);

    host.SetTabs(700); // more than the table holds
    const std::optional<std::string> many = Request(server, "WWW_ListWindows", "");
    ASSERT_TRUE(many);
    ASSERT_EQ(many->size(), 499u);
    EXPECT_EQ(many->substr(123 * 4, 4), Le32({124}));
    EXPECT_EQ(many->substr(124 * 4), std::string("\x7d\x00\x00", 3)); // 125, cut after 3 bytes
    host.SetTabs(2);
    const std::optional<std::string> fewer = Request(server, "WWW_ListWindows", "");
    EXPECT_EQ(fewer->substr(0, 12), Le32({1, 2, 0})); // the old entries are cleared
}

TEST_F(BrowserTopicsTest, ExitClosesOnPokeOnly)
{
    EXPECT_EQ(Poke(server, "WWW_Exit", "anything", "", 9), DDE_FACK);
    EXPECT_EQ(host.closes, 1);
    EXPECT_FALSE(Request(server, "WWW_Exit", "x"));
    EXPECT_EQ(Poke(server, "WWW_OpenURL", "x", "y"), DDE_FNOTPROCESSED);
    for (const char* topic : {"WWW_OpenURL", "WWW_Exit", "WWW_ListWindows", "System"})
        EXPECT_EQ(Execute(server, topic, std::string("\0\xff", 2)), DDE_FNOTPROCESSED) << topic;
    EXPECT_EQ(host.closes, 1);
}
