#include "platform/StallMeter.h"

#include <QCoreApplication>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace nimbra {
namespace {

// A busy spell on the UI thread shows as a stall of at least its length;
// a reset forgets it, and an idle loop reports nothing near it.
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
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_GE(reported[0], 100);

    meter.Reset();
    QTest::qWait(50);
    EXPECT_LT(meter.LongestMs(), 100);
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
