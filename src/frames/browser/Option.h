#pragma once

#include <QDialog>
#include <functional>
#include <vector>

class QDialogButtonBox;
class QLabel;
class QListWidget;
class QStackedWidget;

namespace nimbra {

class CMainFrame;
class COptionPage;
class IBrowserHost;

// The options dialog: fifteen pages listed beside the page shown. Each
// page reads its keys when first shown; OK writes what the shown pages
// changed in one rewrite of the settings file, then the frame takes the
// new values. The page last shown is kept in OpDlgState.
class COption : public QDialog {
    Q_OBJECT
public:
    enum EPage {
        General, Startup, Tab1, Tab2, CloseUrl, CloseTitle, StartupUrl, Mail, TaskTray, AddressBar,
        Bookmark, LinkBar, NimbraBar, Security, FilterLists, PageCount
    };

    // `frame` is the main frame, the dialog's parent; its host holds the settings.
    explicit COption(CMainFrame* frame);
    ~COption() override;

    int CurrentPage() const;
    void SetCurrentPage(int index);
    COptionPage* Page(int index) const { return m_pages[size_t(index)]; }
    template <class T>
    T* PageOf(int index) const { return static_cast<T*>(Page(index)); }
    QListWidget* PageList() const { return m_pList; }

    // The default-browser state is known (the box is usable).
    bool DefaultBrowserKnown() const { return m_bDefaultBrowserKnown; }

    void accept() override;
    void done(int result) override;

protected:
    // Ctrl+Tab, Ctrl+PageDown and the reverse keys change pages, as in a
    // tabbed sheet.
    void keyPressEvent(QKeyEvent* event) override;
    // The page list would take Ctrl+PageDown and Ctrl+PageUp as its own.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnPageChanged(int index);
    void QueryDefaultBrowser();
    void ChangeDefaultBrowser(bool on);
    void SetBusy(bool busy);
    // Writes the changes and hands them to the frame; false when nothing
    // could be stored (the dialog then stays open).
    bool Commit();

    CMainFrame* m_pFrame;
    IBrowserHost& m_host;
    QListWidget* m_pList;
    QStackedWidget* m_pStack;
    QDialogButtonBox* m_pButtons;
    QLabel* m_pStatus;
    std::vector<COptionPage*> m_pages;
    bool m_bDefaultBrowserKnown = false;
    bool m_bDefaultBrowserShown = false; // the box's state when known
    bool m_bBusy = false;
};

// Command 61227 (F12).
void RegisterOptionCommands(CMainFrame& frame);
// Tests drive the dialog instead of its modal loop; the driver returns the
// dialog's result. Returns the driver it replaced.
std::function<int(COption&)> SetOptionDialogDriver(std::function<int(COption&)> driver);

} // namespace nimbra
