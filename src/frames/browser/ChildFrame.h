#pragma once

#include <QMdiSubWindow>
#include <memory>
#include <string>

namespace nimbra {

class CMainFrame;
class CNimbraDoc;
class CNimbraView;

// One tab: a frameless, maximised MDI child holding the tab's document and
// view. Closing the child destroys all three.
class CChildFrame : public QMdiSubWindow {
    Q_OBJECT
public:
    explicit CChildFrame(CMainFrame* mainFrame);
    ~CChildFrame() override;

    // The tab `view` is in.
    static CChildFrame* Of(const CNimbraView* view);

    CNimbraView* View() const { return m_pView; }
    CNimbraDoc* Doc() const { return m_pDoc.get(); }

    // The document title, which the caption shows.
    void SetDocumentTitle(const std::string& title);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;

private:
    CMainFrame* m_pMainFrame;
    std::unique_ptr<CNimbraDoc> m_pDoc;
    CNimbraView* m_pView;
};

} // namespace nimbra
