#pragma once

#include "data/tools/ProxyFile.h"

#include <QDialog>
#include <array>
#include <string>

class QCheckBox;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

namespace nimbra {

// "プロキシ サーバーの設定": edits the list of "proxy.ini". Every edit goes
// into the selected record at once; OK writes the whole file with the
// frame's mode and the index of its current entry.
class CProxyDlg : public QDialog {
    Q_OBJECT
public:
    CProxyDlg(QWidget* parent, std::string path, CProxyList list, int mode);

    const CProxyList& List() const { return m_list; }
    QListWidget* ListBox() const { return m_pList; }

    // The buttons, as a click runs them.
    void OnAdd();
    void OnRemove();
    void OnMove(int step);
    void OnOk();

private:
    struct SHostFields {
        QLineEdit* host;
        QLineEdit* port;
    };

    CProxyRecord* Selected();
    void FillList();
    void Select(int row);
    void ShowRecord();
    void ShowHosts();
    void UpdateEnabled();
    void OnHostEdited(EProxyProtocol protocol);
    void OnSameForAll(bool on);

    std::string m_strPath;
    CProxyList m_list;
    int m_nMode;
    QListWidget* m_pList;
    QPushButton* m_pRemove;
    QPushButton* m_pUp;
    QPushButton* m_pDown;
    QLineEdit* m_pTitle;
    std::array<SHostFields, 5> m_hosts{};
    QCheckBox* m_pSameForAll;
    QCheckBox* m_pBypassLocal;
    QPlainTextEdit* m_pExceptions;
    bool m_bShowing = false;
};

} // namespace nimbra
