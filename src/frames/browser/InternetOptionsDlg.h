#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QTabWidget;

namespace nimbra {

class CMainFrame;

// Internet Options over the per-user Internet settings store: clearing
// history, cache and cookies, the zones, the cookie policy, the
// connection's proxy and working offline.
class CInternetOptionsDlg : public QDialog {
    Q_OBJECT
public:
    CInternetOptionsDlg(CMainFrame* frame, int page);

    QTabWidget* Pages() const { return m_pPages; }

private:
    void Apply();

    CMainFrame* m_pFrame;
    QTabWidget* m_pPages;
    QComboBox* m_pCookies;
    QComboBox* m_pProxyMode;
    QLineEdit* m_pProxyServer;
    QCheckBox* m_pOffline;
};

} // namespace nimbra
