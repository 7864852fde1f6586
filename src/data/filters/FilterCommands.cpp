#include "data/filters/FilterCommands.h"

#include "frames/browser/MainFrame.h"
#include "platform/WebEngineBrowser.h"

#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

namespace nimbra {

namespace {

struct SRead {
    std::vector<SFilterList> lists;
    SFilterLoad load;
};

} // namespace

CFilterCommands::CFilterCommands(std::string listsPath, QObject* parent)
    : QObject(parent), m_listsPath(std::move(listsPath))
{
}

CFilterCommands::~CFilterCommands()
{
    if (m_engine)
        CWebEngineBrowser::SetRequestFilter(nullptr);
}

void CFilterCommands::Reload()
{
    const int generation = ++m_nGeneration;
    ++m_nRunning;
    auto* watcher = new QFutureWatcher<SRead>(this);
    connect(watcher, &QFutureWatcher<SRead>::finished, this, [this, watcher, generation] {
        watcher->deleteLater();
        --m_nRunning;
        if (generation != m_nGeneration)
            return; // a newer read follows
        SRead read = watcher->result();
        m_lists = std::move(read.lists);
        m_counts = std::move(read.load.counts);
        std::shared_ptr<const CFilterEngine> old = std::exchange(m_engine, std::move(read.load.engine));
        CWebEngineBrowser::SetRequestFilter(m_engine);
        // Freeing a long list takes long too: not on this thread.
        if (old)
            (void)QtConcurrent::run([old = std::move(old)]() mutable { old.reset(); });
        Q_EMIT Loaded();
    });
    watcher->setFuture(QtConcurrent::run([path = m_listsPath] {
        SRead read;
        read.lists = ReadFilterListsFile(path);
        read.load = LoadFilterLists(read.lists);
        return read;
    }));
}

void RegisterFilterCommands(CMainFrame& frame)
{
    new CFilterCommands(frame.Host().ProgramDir() + "/filters.ini", &frame);
}

CFilterCommands* FilterCommandsOf(const CMainFrame& frame)
{
    return frame.findChild<CFilterCommands*>(QString(), Qt::FindDirectChildrenOnly);
}

} // namespace nimbra
