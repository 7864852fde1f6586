#pragma once

#include <QWidget>
#include <memory>

class QToolButton;

namespace nimbra {

class CAddressCombo;
class CCommandTable;
class CMainFrame;
class IAddressHost;

// The address bar: the combo fills it, the go button sits at its right edge.
class CAddressBar : public QWidget {
    Q_OBJECT
public:
    static constexpr int kGoButtonId = 20007;
    static constexpr int kGoButtonWidth = 17;

    CAddressBar(std::unique_ptr<IAddressHost> host, QWidget* parent);

    // The bar of a frame, or nullptr before it is created (with the
    // commands, where the bar meets the frame).
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

// Creates the frame's address bar, the frame and the application its host.
CAddressBar* CreateFrameAddressBar(CMainFrame& frame);

// The commands of the address bar: 32928 shows or hides the go button; 1
// (Enter) opens the field's text when the field has the focus; 32995 (Alt+D,
// and F6 from the page) puts the focus in the field with its text selected.
void RegisterAddressCommands(CMainFrame& frame, CCommandTable& table);

} // namespace nimbra
