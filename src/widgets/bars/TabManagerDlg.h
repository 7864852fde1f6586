#pragma once

#include <QDialog>
#include <optional>
#include <string>

class QListWidget;
class QPushButton;

namespace nimbra {

// The tabs as the tab manager sees them, in tab order.
class ITabManagerHost {
public:
    virtual ~ITabManagerHost() = default;

    virtual int GetItemCount() const = 0;
    // The active tab, -1 when none.
    virtual int GetCurSel() const = 0;
    // The page title of a tab; nullopt when the tab has no page.
    virtual std::optional<std::string> TabTitle(int nTab) const = 0;
    // Activates the tab.
    virtual void SelectTab(int nTab) = 0;
    // Closes the tab unless it is locked.
    virtual void CloseTab(int nTab) = 0;
    // The tabs were closed: the bar catches up.
    virtual void Refresh() = 0;
};

// "タブ マネージャー": every tab in tab order, to show one or close several.
class CTabManagerDlg : public QDialog {
    Q_OBJECT
public:
    CTabManagerDlg(ITabManagerHost& tabs, QWidget* parent);

    QListWidget* List() const { return m_pList; }
    // Activates the one selected tab and closes the dialog.
    void OnShowTab();
    // Closes the selected tabs from the last to the first; locked tabs stay.
    void OnCloseTabs();

private:
    void Fill();
    void UpdateButtons();

    ITabManagerHost& m_tabs;
    QListWidget* m_pList;
    QPushButton* m_pShow;
    QPushButton* m_pCloseTabs;
};

} // namespace nimbra
