#pragma once

#include "data/filters/FilterLists.h"

#include <QObject>
#include <memory>
#include <string>
#include <vector>

namespace nimbra {

class CMainFrame;

// The frame's filter lists: named in "filters.ini", read off the
// user-interface thread when the frame takes its settings; when a read is
// done its rules replace those in use, in every tab. Reads started while
// one runs leave only the newest to apply.
class CFilterCommands : public QObject {
    Q_OBJECT
public:
    CFilterCommands(std::string listsPath, QObject* parent);
    ~CFilterCommands() override;

    const std::string& ListsPath() const { return m_listsPath; }
    // Reads the lists named in the file again.
    void Reload();
    bool Loading() const { return m_nRunning > 0; }
    // The lists of the last read done and what each gave.
    const std::vector<SFilterList>& Lists() const { return m_lists; }
    const std::vector<SFilterListCount>& Counts() const { return m_counts; }
    std::shared_ptr<const CFilterEngine> Engine() const { return m_engine; }

Q_SIGNALS:
    // A read is done and its rules are in use.
    void Loaded();

private:
    std::string m_listsPath;
    std::vector<SFilterList> m_lists;
    std::vector<SFilterListCount> m_counts;
    std::shared_ptr<const CFilterEngine> m_engine;
    int m_nGeneration = 0;
    int m_nRunning = 0;
};

// Makes the frame's filter lists ("filters.ini" in the data directory);
// the frame's settings reload reads them.
void RegisterFilterCommands(CMainFrame& frame);
CFilterCommands* FilterCommandsOf(const CMainFrame& frame);

} // namespace nimbra
