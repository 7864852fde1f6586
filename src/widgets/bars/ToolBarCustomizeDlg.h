#pragma once

#include <QDialog>
#include <vector>

class QListWidget;
class QPushButton;

namespace nimbra {

class CFlatToolBar;

// Edits the toolbar's buttons: the available buttons (a separator always
// among them) beside the current ones, with add, remove, up, down and reset
// to the last saved layout. Every change shows on the toolbar at once.
class CToolBarCustomizeDlg : public QDialog {
    Q_OBJECT
public:
    CToolBarCustomizeDlg(CFlatToolBar& toolBar, QWidget* parent);

    QListWidget* Available() const { return m_pAvailable; }
    QListWidget* Current() const { return m_pCurrent; }

    // Adds the selected available button after the selected current one
    // (at the end when none is selected).
    void Add();
    void Remove();
    void MoveUp();
    void MoveDown();
    // The layout last saved in the settings file.
    void Reset();

private:
    void Apply(const std::vector<int>& layout, int select);
    void Fill(int select);
    void UpdateButtons();

    CFlatToolBar& m_toolBar;
    QListWidget* m_pAvailable;
    QListWidget* m_pCurrent;
    QPushButton* m_pAdd;
    QPushButton* m_pRemove;
    QPushButton* m_pUp;
    QPushButton* m_pDown;
};

} // namespace nimbra
