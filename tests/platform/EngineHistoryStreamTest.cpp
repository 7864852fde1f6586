#include "platform/EngineHistoryStream.h"

#include <QDataStream>
#include <QIODevice>
#include <gtest/gtest.h>

using namespace nimbra;

TEST(EngineHistoryStream, ReadsWhatItWritesAndNothingItDoesNotKnow)
{
    const STabHistory history{{{"http://a/", "a", "state"}, {"http://b/ü", "び", ""}}, 1};
    const QByteArray stream = WriteEngineHistory(history);
    EXPECT_EQ(EngineHistoryLayout(stream), 4);
    EXPECT_EQ(ReadEngineHistory(stream), history);
    EXPECT_TRUE(WriteEngineHistory({}).isEmpty());

    QByteArray otherLayout = stream;
    otherLayout[3] = 5;
    QByteArray badCurrent = stream;
    badCurrent[11] = 2;
    const QByteArray trailing = stream + QByteArray(1, '\0');
    for (const QByteArray& bad : {otherLayout, badCurrent, stream.left(stream.size() - 1), trailing, QByteArray()})
        EXPECT_EQ(ReadEngineHistory(bad), std::nullopt) << bad.toHex().toStdString();
}
