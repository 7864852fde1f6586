#include "platform/DeleteInTurns.h"
#include "platform/HeapTrim.h"

#include <QTest>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <vector>

namespace nimbra {
namespace {

// An object as slow to delete as a tab's engine page.
class CSlow : public QObject {
public:
    CSlow(int id, std::vector<int>& deleted) : m_id(id), m_deleted(deleted) {}
    ~CSlow() override
    {
        QThread::msleep(CDeleteInTurns::kBudgetMs + 4);
        m_deleted.push_back(m_id);
        if (m_onDelete)
            m_onDelete();
    }
    std::function<void()> m_onDelete;

private:
    int m_id;
    std::vector<int>& m_deleted;
};

// Slow deletions are spread over turns of the loop, in order, with other
// events between them; an object deleted elsewhere meanwhile is skipped.
TEST(DeleteInTurnsTest, SpreadsSlowDeletionsOverTurnsInOrder)
{
    std::vector<int> deleted;
    CDeleteInTurns turns;
    std::vector<CSlow*> objects;
    for (int i = 0; i < 5; ++i) {
        objects.push_back(new CSlow(i, deleted));
        turns.Add(objects.back());
    }
    delete objects[2];
    // An event that comes in during the first deletion is handled before
    // the last one.
    size_t deletedBeforeOtherEvent = 99;
    objects[0]->m_onDelete = [&] { QTimer::singleShot(0, [&] { deletedBeforeOtherEvent = deleted.size(); }); };
    QTRY_COMPARE_WITH_TIMEOUT(turns.Pending(), size_t(0), 60000);
    EXPECT_EQ(deleted, (std::vector<int>{2, 0, 1, 3, 4}));
    EXPECT_LT(deletedBeforeOtherEvent, deleted.size());
}

// A run of requests gives one trim, after the delay, off the UI thread.
TEST(HeapTrimTest, RunOfRequestsTrimsOnceOnAPoolThread)
{
    std::atomic<int> trims = 0;
    std::atomic<bool> onUiThread = false;
    QThread* ui = QThread::currentThread();
    CHeapTrim trim(nullptr, [&] { onUiThread = QThread::currentThread() == ui; ++trims; }, 100);
    for (int i = 0; i < 3; ++i)
        trim.Request();
    EXPECT_TRUE(trim.IsPending());
    QTRY_COMPARE_WITH_TIMEOUT(trims.load(), 1, 60000);
    QTest::qWait(150);
    EXPECT_EQ(trims, 1);
    EXPECT_FALSE(onUiThread);
}

} // namespace
} // namespace nimbra
