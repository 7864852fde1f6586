#pragma once

#include "data/filters/FilterLists.h"
#include "frames/browser/OptionPage.h"

#include <string>
#include <vector>

class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace nimbra {

// The filter lists the person named: each with its check box (in use or
// not), the rules it holds and the lines skipped as not understood, which
// are counted off the user-interface thread. "追加(&A)..." asks for a file,
// "削除(&R)" takes the selected list off. OK rewrites "filters.ini" when
// anything changed; the frame's reload then reads the lists in use.
class CPropPageFilterLists : public COptionPage {
    Q_OBJECT
public:
    explicit CPropPageFilterLists(CMainFrame* frame);

    QTreeWidget* Lists() const { return m_pLists; }
    QPushButton* AddButton() const { return m_pAdd; }
    QPushButton* RemoveButton() const { return m_pRemove; }
    // The lists as the page shows them now.
    std::vector<SFilterList> Rows() const;
    QString WriteFiles() override;

protected:
    void OnLoad(const CSettings& settings) override;

private:
    void AddRow(const SFilterList& list);
    // Counts the list of `item` in the background; its columns follow.
    void Count(QTreeWidgetItem* item);
    void OnAdd();

    std::string m_path;
    QTreeWidget* m_pLists;
    QPushButton* m_pAdd;
    QPushButton* m_pRemove;
    std::vector<SFilterList> m_loaded;
};

} // namespace nimbra
