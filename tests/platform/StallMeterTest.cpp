#include "platform/StallMeter.h"

#include <QCoreApplication>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace nimbra {
namespace {

// A busy spell on the UI thread shows as a stall of at least its length and
// is reported; a reset forgets it. (A loaded machine may add stalls of its
// own, so only lower bounds are checked.)
TEST(StallMeterTest, NotesTheLongestBusySpellAndForgetsItOnReset)
{
    CStallMeter meter;
    std::vector<double> reported;
    meter.OnStall(50, [&](double ms) { reported.push_back(ms); });
    meter.Start();
    QTest::qWait(30);
    QThread::msleep(120);
    QTest::qWait(30);
    EXPECT_GE(meter.LongestMs(), 100);
    ASSERT_FALSE(reported.empty());
    EXPECT_GE(*std::max_element(reported.begin(), reported.end()), 100);

    meter.Reset();
    EXPECT_EQ(meter.LongestMs(), 0);
}

TEST(StallMeterTest, EnvironmentLogGetsOneLinePerStall)
{
    const std::string path = testing::TempDir() + "stall-log.txt";
    std::remove(path.c_str());
    setenv("NIMBRA_STALL_LOG", path.c_str(), 1);
    {
        QObject owner;
        StartStallLogFromEnvironment(&owner);
        QTest::qWait(20);
        QThread::msleep(80);
        QTest::qWait(20);
    }
    unsetenv("NIMBRA_STALL_LOG");
    std::ifstream in(path);
    long long when = 0;
    double ms = 0;
    ASSERT_TRUE(in >> when >> ms);
    EXPECT_GT(when, 0);
    EXPECT_GE(ms, 60);
    std::remove(path.c_str());
}

} // namespace
} // namespace nimbra
