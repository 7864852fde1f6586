#pragma once

#include "data/tools/UrlExtractModel.h"
#include "platform/WebBrowser.h"

#include <QDialog>
#include <functional>
#include <string>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeView;

namespace nimbra {

class CCommandRouter;
class CSettings;

// Commands of the extraction dialog's menu.
enum EUrlExtractCommand : int {
    ID_DL_SAVE_LIST = 32852,
    ID_DL_SAVE_REGET = 32853,
    ID_DL_SAVE_IRIA = 32854,
    ID_DL_CLIPBOARD = 32855,
    ID_DL_NAVI_SELECTED = 32870,
    ID_DL_NAVI_TICKED = 32871,
    ID_DL_SAVE_CLOSE = 32902,
    ID_DL_STARTUP_FILTER = 32903,
    ID_DL_NAVI_CLOSE = 32904,
    ID_DL_IMAGE_TAG = 32913,
};

// More ticked rows than this are opened only after asking.
inline constexpr size_t kNavigateWithoutAsking = 20;

// "URL抽出": the links (and images) of a page and its frames in a list with
// check boxes, ticked by wildcard filters, then opened in tabs or saved as
// a URL list, a ReGet or Iria download list, or to the clipboard. It works
// on a copy of the page handed over once, so the tab may change or close
// meanwhile.
class CUrlExtractDialog : public QDialog {
    Q_OBJECT
public:
    using OpenUrlFunc = std::function<void(const std::string& url)>;

    // Reads the filters from `filterPath` and the options from the settings.
    CUrlExtractDialog(CSettings& settings, std::string filterPath, OpenUrlFunc openUrl, QWidget* parent = nullptr);
    ~CUrlExtractDialog() override;

    // The page's documents, read once; `leftOut` URLs did not fit the read.
    void SetPage(SPageDocument page, size_t leftOut);
    // The tab went before its page could be read.
    void PageUnavailable();

    // Runs a menu command as its item would.
    bool ExecuteCommand(int id);
    CCommandRouter& Router() { return *m_pRouter; }

    CExtractListModel& Model() { return m_model; }
    QComboBox* FrameCombo() const { return m_pFrames; }
    QComboBox* FilterCombo() const { return m_pFilters; }
    QTreeView* List() const { return m_pList; }
    QLineEdit* RefererEdit() const { return m_pReferer; }
    QLineEdit* FolderEdit() const { return m_pFolder; }
    QLabel* NoteLabel() const { return m_pNote; }
    QPushButton* FilterButton() const { return m_pFilterButton; }
    QPushButton* AddButton() const { return m_pAddButton; }
    QPushButton* ResetButton() const { return m_pResetButton; }
    QPushButton* BrowseButton() const { return m_pBrowseButton; }

    // Ticks the rows by the selected filter.
    void ApplyFilter();
    // The folder browser of "..."; opened without blocking.
    QDialog* BrowseFolder();

    void done(int result) override;

private:
    void CreateControls();
    void RegisterCommands();
    void FillFilters(const std::vector<std::string>& filters, int select);
    void OnFilterEdited(const QString& text);
    void ExtractFrame(int index);
    void ShowNote();
    void SaveUrlList();
    void SaveDownloadList(bool reget);
    void CopyToClipboard();
    void NavigateSelected();
    void NavigateTicked();
    void AfterSave();
    // Writes the options and the filters once; false when the filters could
    // not be written.
    bool SaveState();

    CSettings& m_settings;
    std::string m_strFilterPath;
    OpenUrlFunc m_openUrl;
    CCommandRouter* m_pRouter;
    CExtractListModel m_model;

    SPageDocument m_page;
    std::vector<SExtractFrame> m_frames;
    size_t m_nLeftOut = 0;
    bool m_bPageRead = false;
    bool m_bPageMissing = false;
    bool m_bStateSaved = false;

    bool m_bImageTag = false;
    bool m_bNaviClose = false;
    bool m_bSaveClose = false;
    bool m_bStartupFilter = false;

    QComboBox* m_pFrames;
    QTreeView* m_pList;
    QComboBox* m_pFilters;
    QPushButton* m_pFilterButton;
    QPushButton* m_pAddButton;
    QPushButton* m_pResetButton;
    QLineEdit* m_pReferer;
    QLineEdit* m_pFolder;
    QPushButton* m_pBrowseButton;
    QLabel* m_pNote;
};

} // namespace nimbra
