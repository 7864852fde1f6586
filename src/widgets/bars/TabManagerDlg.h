#pragma once

#include <QDialog>

class QListWidget;
class QPushButton;

namespace nimbra {

class CMainFrame;

// "タブ マネージャー": every tab in tab order, to show one or close several.
class CTabManagerDlg : public QDialog {
    Q_OBJECT
public:
    explicit CTabManagerDlg(CMainFrame* mainFrame);

    QListWidget* List() const { return m_pList; }
    // Activates the one selected tab and closes the dialog.
    void OnShowTab();
    // Closes the selected tabs from the last to the first; locked tabs stay.
    void OnCloseTabs();

private:
    void Fill();
    void UpdateButtons();

    CMainFrame* m_pMainFrame;
    QListWidget* m_pList;
    QPushButton* m_pShow;
    QPushButton* m_pCloseTabs;
};

} // namespace nimbra
