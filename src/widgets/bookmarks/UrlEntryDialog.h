#pragma once

#include <QDialog>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QFileDialog;
class QLabel;
class QPushButton;

namespace nimbra {

class CSettings;
class CUrlCombo;

// Entry of a URL or file path, with the choice of opening it in a new tab.
// The caller sets what it needs before showing the dialog and reads Text()
// and OpenInNewTab() after OK. `history` is what the completion offers (the
// address bar's list).
class CUrlEntryDialog : public QDialog {
    Q_OBJECT
public:
    CUrlEntryDialog(CSettings& settings, std::vector<std::string> history, QWidget* parent = nullptr);
    ~CUrlEntryDialog() override;

    void SetTitle(const std::string& title) { m_strTitle = title; }
    void SetLabel(const std::string& label) { m_strLabel = label; }
    void SetInitialText(const std::string& text) { m_strInitial = text; }
    void ShowNewTabCheck(bool show) { m_bShowCheck = show; }
    void AllowAutoComplete(bool allow) { m_bAllowAutoComplete = allow; }

    std::string Text() const { return m_strResult; }
    bool OpenInNewTab() const { return m_bNewTab; }

    // The file chooser of "参照(&R)...", opened without blocking.
    QFileDialog* Browse();
    // A file chosen with it: the path becomes the text, its folder is kept
    // in LastOpenPath.
    void OnFileChosen(const QString& path);

    QComboBox* Combo() const;
    QPushButton* OkButton() const { return m_pOk; }
    QCheckBox* NewTabCheck() const { return m_pNewTab; }
    QLabel* Label() const { return m_pLabel; }
    bool AutoCompleteActive() const { return m_bAutoComplete; }

    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void InitDialog();
    void UpdateOk();
    void SelectAllText();

    CSettings& m_settings;
    const std::vector<std::string> m_history;
    std::string m_strTitle;
    std::string m_strLabel;
    std::string m_strInitial;
    bool m_bShowCheck = true;
    bool m_bAllowAutoComplete = true;
    bool m_bInitialized = false;
    bool m_bAutoComplete = false;

    std::string m_strResult;
    bool m_bNewTab = false;

    QLabel* m_pLabel;
    CUrlCombo* m_pCombo;
    QCheckBox* m_pNewTab;
    QPushButton* m_pOk;
    QPushButton* m_pBrowse;
};

} // namespace nimbra
