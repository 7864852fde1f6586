#pragma once

#include <QWidget>

class QToolButton;

namespace nimbra {

class CAddressCombo;
class CCommandTable;
class CMainFrame;

// The address bar: the combo fills it, the go button sits at its right edge.
class CAddressBar : public QWidget {
    Q_OBJECT
public:
    static constexpr int kGoButtonId = 20007;
    static constexpr int kGoButtonWidth = 17;

    CAddressBar(CMainFrame* mainFrame, QWidget* parent);

    // The bar of a frame, or nullptr before it is created.
    static CAddressBar* Of(const CMainFrame& frame);

    CAddressCombo* Combo() const { return m_pCombo; }
    QToolButton* GoButton() const { return m_pGoButton; }

    bool IsGoButtonVisible() const { return m_bGoButtonVisible; }
    void SetGoButtonVisible(bool visible);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    CAddressCombo* m_pCombo;
    QToolButton* m_pGoButton;
    bool m_bGoButtonVisible = true;
};

// The commands of the address bar: 32928 shows or hides the go button; 1
// (Enter) opens the field's text when the field has the focus; 32995 (Alt+D,
// and F6 from the page) puts the focus in the field with its text selected.
void RegisterAddressCommands(CMainFrame& frame, CCommandTable& table);

} // namespace nimbra
