#pragma once

#include "data/sidebar/HistorySearch.h"
#include "widgets/sidebar/HistoryTree.h"

#include <QAbstractTableModel>
#include <QTreeView>
#include <QWidget>
#include <atomic>
#include <memory>
#include <thread>

class QComboBox;
class QMenu;
class QPushButton;

namespace nimbra {

// The rows of the result list, kept sorted; batches are merged in at their
// sorted places.
class CHistoryResultModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void Clear();
    void Merge(std::vector<SHistoryRow>&& batch);
    void SetSort(const SHistorySort& sort);
    const SHistorySort& Sort() const { return m_sort; }
    const std::vector<SHistoryRow>& Rows() const { return m_rows; }

private:
    std::vector<SHistoryRow> m_rows;
    SHistorySort m_sort;
};

class CHistorySearchPane;

// The result list (59405): one click opens, keys as the pane says.
class CHistoryResultList : public QTreeView {
    Q_OBJECT
public:
    explicit CHistoryResultList(CHistorySearchPane& pane);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    CHistorySearchPane& m_pane;
    int m_nPressedRow = -1;
};

// Pane 2 of the side bar: the search form over the result list. Listing
// and the full search run on a worker of their own; the list is changed
// only on the user-interface thread.
class CHistorySearchPane : public QWidget, public INimbraBarPane {
    Q_OBJECT
public:
    enum ECommand : int {
        ID_FLC_TODAY = 3000,
        ID_FLC_RELOAD = 3001,
        ID_FLC_SAVE_HTML = 3002,
        ID_FLC_FILTER = 3003,
        ID_FLC_CHANGE_FILTER = 3004,
        ID_FLC_FIND_CACHE = 3005,
        ID_FLC_STANDARD_ACTION = 32948,
        ID_FLC_OPEN = 32950,
        ID_FLC_OPEN_NEW = 32951,
        ID_FLC_COPY_URL = 32952,
        ID_FLC_COPY_TITLE = 32953,
    };
    // Longest URL prefix used from FLCFilter, in characters.
    static constexpr int kMaxFilterLength = 100;

    explicit CHistorySearchPane(IHistoryHost& host, QWidget* parent = nullptr);
    ~CHistorySearchPane() override;

    // INimbraBarPane.
    QWidget* Widget() override { return this; }
    QWidget* FocusTarget() override;
    QWidget* CommandTarget() override;
    void OnActivate() override;

    CHistoryResultList* List() const { return m_pList; }
    CHistoryResultModel* Model() const { return m_pModel; }
    QComboBox* TextBox() const { return m_pText; }
    QPushButton* Button(int id) const;
    bool IsSearching() const { return m_bSearching; }

    // The form's messages, each a queued call.
    void PostStart();   // 0x40
    void PostStop();    // 0x41
    void PostReload();  // 0x45
    // Stops a search and empties the list at once (history cleared).
    void ClearAll();

    void RunCommand(int id);
    QMenu* CreateMenu(bool forRow);
    void OpenRow(int row, bool newTab, bool viewSource);
    void ClickRow(int row, Qt::KeyboardModifiers modifiers);
    void OnHeaderClicked(int column);
    void SetStatusUrl(int row);
    void FocusForm();
    void FocusViewNow();

Q_SIGNALS:
    // 0x42: the search or listing ended.
    void Finished();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Start();
    void Stop();
    void Reload();
    void FindNext(const std::string& text);
    void RunWorker(SHistoryQuery query);
    void OnFinished(unsigned generation);
    // `listing`: the whole list is read, not a search.
    void SetSearching(bool on, bool listing = false);
    void ReadSettings();
    void WriteSettings() const;
    void ExportHtml();
    void ChangeFilter();
    void ShowOptionsMenu();
    SHistoryQuery BaseQuery() const;

    IHistoryHost& m_host;
    QComboBox* m_pText;
    QPushButton* m_pSettings;
    QPushButton* m_pReload;
    QPushButton* m_pFind;
    QPushButton* m_pStop;
    CHistoryResultModel* m_pModel;
    CHistoryResultList* m_pList;

    std::thread m_worker;
    std::shared_ptr<std::atomic<bool>> m_pStopFlag;
    unsigned m_nGeneration = 0;
    bool m_bSearching = false;
    bool m_bListing = false;
    bool m_bListed = false;

    int m_nFilterToday = 1;
    int m_nFilterEnable = 1;
    int m_nFindCache = 1;
    std::string m_strFilter;
};

} // namespace nimbra
