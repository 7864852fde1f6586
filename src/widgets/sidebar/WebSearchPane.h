#pragma once

#include "widgets/sidebar/NimbraBarPane.h"
#include "data/sidebar/SearchEngineList.h"

#include <QDialog>
#include <QTimer>
#include <QTreeWidget>
#include <functional>
#include <string>

class QComboBox;
class QLineEdit;
class QMenu;
class QPushButton;

namespace nimbra {

// What the web search pane needs from the browser around it.
class IWebSearchHost {
public:
    virtual ~IWebSearchHost() = default;
    // Opens `url` in a new tab through the address bar.
    virtual void Go(const std::string& url) = 0;
    // Moves the keyboard focus to the active page.
    virtual void FocusView() = 0;
};

// Runs the pane's dialogs (exec, or the test's driver).
std::function<int(QDialog&)> SetWebSearchDialogDriver(std::function<int(QDialog&)> driver);

// "サーチエンジンの設定": title, front URL and back URL of one engine.
class CSearchEngineDlg : public QDialog {
    Q_OBJECT
public:
    CSearchEngineDlg(const SSearchEngine& engine, QWidget* parent);
    QLineEdit* TitleEdit() const { return m_pTitle; }
    QLineEdit* FrontEdit() const { return m_pFront; }
    QLineEdit* BackEdit() const { return m_pBack; }

private:
    QLineEdit* m_pTitle;
    QLineEdit* m_pFront;
    QLineEdit* m_pBack;
};

// "Web検索ワード": the quick search text, offering the pane's texts.
class CFindWebDlg : public QDialog {
    Q_OBJECT
public:
    CFindWebDlg(const QStringList& texts, const QString& text, QWidget* parent);
    QComboBox* TextCombo() const { return m_pText; }
    std::string Text() const;

private:
    QComboBox* m_pText;
};

class CWebSearchPane;

// The search form above the engine list: the text with this run's earlier
// texts, 設定 and 検索 (enabled only with text).
class CWebSearchForm : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMaxTexts = 100;

    CWebSearchForm(CWebSearchPane& pane, QWidget* parent);

    QComboBox* TextCombo() const { return m_pText; }
    QPushButton* SettingsButton() const { return m_pSettings; }
    QPushButton* SearchButton() const { return m_pSearch; }
    QStringList Texts() const;
    // 検索: the text goes to the top of the list unless it is first there,
    // then the pane searches for it.
    void Search();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    CWebSearchPane& m_pane;
    QComboBox* m_pText;
    QPushButton* m_pSettings;
    QPushButton* m_pSearch;
};

// The engine list: one row per engine with its check box.
class CSearchEngineListCtrl : public QTreeWidget {
    Q_OBJECT
public:
    CSearchEngineListCtrl(CWebSearchPane& pane, QWidget* parent);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    CWebSearchPane& m_pane;
};

// Pane 3 of the side bar: sends one text to the checked engines, each in a
// new tab. The list lives in search.ini; it is saved by 3009, at exit and
// kSaveDelayMs after the last change.
class CWebSearchPane : public QWidget, public INimbraBarPane {
    Q_OBJECT
public:
    enum ECommand : int {
        ID_ENGINE_EDIT = 3006,
        ID_ENGINE_ADD = 3007,
        ID_ENGINE_DELETE = 3008,
        ID_ENGINE_SAVE = 3009,
        ID_ENGINE_UP = 3011,
        ID_ENGINE_DOWN = 3012,
        ID_ENGINE_INVERT = 3013,
        ID_ENGINE_CHECK_ONLY = 3014,
        ID_ENGINE_CHECK_ALL = 3015,
    };
    static constexpr int kSaveDelayMs = 2000;
    // Titles are shown, and tips show texts, at most this wide.
    static constexpr int kMaxShownWidth = 1024;

    CWebSearchPane(IWebSearchHost& host, std::string path, QWidget* parent = nullptr);
    ~CWebSearchPane() override;

    // INimbraBarPane.
    QWidget* Widget() override { return this; }
    QWidget* FocusTarget() override;
    QWidget* CommandTarget() override;

    CWebSearchForm* Form() const { return m_pForm; }
    CSearchEngineListCtrl* List() const { return m_pList; }
    const CSearchEngineList& Engines() const { return m_engines; }
    const std::string& Path() const { return m_path; }

    // Opens every checked engine's URL for `text` in list order.
    void Search(const std::string& text);
    // 32972: the clipboard text, searched at once when findWebDlg is 0 and
    // it is not empty, else offered in the quick search dialog.
    void QuickSearch(std::string_view clipboard, int findWebDlg);
    // A selection of a page, cut and on one line as a pasted text is.
    void SearchSelection(std::string_view selection);
    bool HasCheckedEngine() const;

    void RunCommand(int id);
    // The engine menu; the row commands only with `onRow`. The caller shows
    // or deletes it.
    QMenu* CreateMenu(bool onRow);
    int SelectedRow() const;
    void SelectRow(int row);
    // A header click: sorts by title, the other way when clicked again.
    void SortClicked();
    // Enter on the list.
    void ToggleSelected();
    // Shift+click on a row.
    void CheckOnly(int row);
    // Save at exit: skipped for a file that could not be read.
    void SaveAtExit();
    bool SavePending() const { return m_saveTimer.isActive(); }

private:
    void Refill();
    void FillItem(QTreeWidgetItem* item, const SSearchEngine& engine);
    void Changed();
    void Edit(int row);
    void AddEngine();
    void Save(CSearchEngineList::ESave how);
    void OnItemChanged(QTreeWidgetItem* item);
    void ShowMenu(QMenu* menu, const QPoint& globalPos);
    void ClearSortMark();

    IWebSearchHost& m_host;
    std::string m_path;
    CSearchEngineList m_engines;
    CWebSearchForm* m_pForm;
    CSearchEngineListCtrl* m_pList;
    QTimer m_saveTimer;
    // 1 ascending, -1 descending, 0 no sort mark.
    int m_nSortOrder = 0;
    bool m_bFilling = false;

    friend class CSearchEngineListCtrl;
    friend class CWebSearchForm;
};

} // namespace nimbra
