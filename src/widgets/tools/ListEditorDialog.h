#pragma once

#include "data/settings/Settings.h"
#include "ui/ModelessDialog.h"

#include <QPointer>
#include <functional>
#include <string>
#include <vector>

class QProgressBar;
class QPushButton;

namespace nimbra {

class CEditableList;

// Commands of the list editor's menu.
enum EListEditorCommand : int {
    ID_LE_OPEN = 32929,
    ID_LE_SAVE_AS = 32930,
    ID_LE_DELETE = 32932,
    ID_LE_SAVE = 32934,
    ID_LE_INSERT = 32937,
    ID_LE_ADD_FROM_LIST = 32956,
};

// "Nimbra Browser [ List Editor ]": a URL list file (".nbl") opened,
// edited and saved in a window of its own beside the main frame. Only one
// exists at a time. Files are read and written off the user-interface
// thread.
class CListEditorDialog : public CModelessMain {
    Q_OBJECT
public:
    // Opens the editor, or raises the one that is open. `homeText` gives
    // what the list's Home appends (the active tab's URL).
    static CListEditorDialog* Open(const CSettings& settings, std::function<std::string()> homeText);
    // The open editor, nullptr when none.
    static CListEditorDialog* Instance();

    CEditableList* List() const { return m_pList; }
    const std::string& CurrentFile() const { return m_strCurrentFile; }
    // A file is being read or written.
    bool IsBusy() const { return m_bBusy; }
    QPushButton* OkButton() const { return m_pOk; }
    QPushButton* CancelButton() const { return m_pCancel; }

protected:
    void OnClose() override;

private:
    CListEditorDialog(const CSettings& settings, std::function<std::string()> homeText);

    void RegisterCommands();
    void AskAndLoad(bool replace);
    void Load(const std::string& path, bool replace);
    void Save(const std::string& path, bool makeCurrent);
    void SaveAs();
    void SetBusy(bool busy, const QString& text = {});

    static QPointer<CListEditorDialog> s_pOpen;

    CSettings m_settings;
    CEditableList* m_pList;
    QPushButton* m_pOk;
    QPushButton* m_pCancel;
    QProgressBar* m_pProgress;
    std::string m_strCurrentFile;
    bool m_bBusy = false;
};

} // namespace nimbra
