#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;

namespace nimbra {

class IWebBrowser;

// The find bar under a tab's page: searches as the text changes, Enter or
// "次へ" finds the next match, Shift+Enter or "前へ" the previous one, and
// Esc closes the bar and clears the highlight.
class CFindBar : public QWidget {
    Q_OBJECT
public:
    CFindBar(IWebBrowser* browser, QWidget* parent);

    // Shows the bar with the focus in its field, its text selected.
    void Open();
    void Close();
    void FindNext(bool backward);

    QLineEdit* Field() const { return m_pField; }
    QCheckBox* MatchCase() const { return m_pCase; }
    QLabel* Result() const { return m_pResult; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void ShowResult(int active, int count);

    IWebBrowser* m_pBrowser;
    QLineEdit* m_pField;
    QCheckBox* m_pCase;
    QLabel* m_pResult;
};

} // namespace nimbra
