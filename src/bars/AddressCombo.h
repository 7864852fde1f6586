#pragma once

#include <QComboBox>
#include <string>

namespace nimbra {

class CMainFrame;

// The address bar's combo box: an editable URL field over the history of
// typed addresses, and the one path by which typed or handed-over text opens.
class CAddressCombo : public QComboBox {
    Q_OBJECT
public:
    CAddressCombo(CMainFrame* mainFrame, QWidget* parent);

    // Shows `url` in the field; an empty text clears the selection too.
    void SetUrl(const std::string& url);

    // Opens `text` in the active tab, or in a new tab with newTab 1, and
    // records it in the history as the flags say.
    void Go(const std::string& text, int addToHistory, int newTab, int touchHistory, int notifyFrame);

    // History, newest first.
    std::vector<std::string> History() const;

private:
    void OnEnter();
    int FindHistory(const std::string& text) const;
    void MoveToTop(int index);

    CMainFrame* m_pMainFrame;
};

} // namespace nimbra
