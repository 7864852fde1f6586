#pragma once

#include "frames/browser/OptionPage.h"
#include "data/session/ListFile.h"

#include <QColor>
#include <array>
#include <optional>

class QCheckBox;
class QComboBox;
class QKeySequenceEdit;
class QLabel;
class QPushButton;

namespace nimbra {

class CEditableList;

// The pages, in their order in the dialog (the filter lists' last, in
// FilterListPage.h).
class CPropPageGeneral : public COptionPage {
    Q_OBJECT
public:
    explicit CPropPageGeneral(CMainFrame* frame);
    QCheckBox* DefaultBrowserBox() const { return m_pDefaultBrowser; }
    QPushButton* CurrentPageButton() const { return m_pCurrent; }
    QPushButton* BlankButton() const { return m_pBlank; }

private:
    QCheckBox* m_pDefaultBrowser;
    QPushButton* m_pCurrent;
    QPushButton* m_pBlank;
};

class CPropPageStartup : public COptionPage {
    Q_OBJECT
public:
    explicit CPropPageStartup(CMainFrame* frame);
    QString Refusal() const override;

private:
    QLineEdit* m_pDDEName;
};

class CPropPageTab1 : public COptionPage {
    Q_OBJECT
public:
    explicit CPropPageTab1(CMainFrame* frame);

protected:
    void OnLoad(const CSettings& settings) override;

private:
    QCheckBox* m_pNewBlank;
    QCheckBox* m_pBlankPageActive;
};

class CPropPageTab2 : public COptionPage {
    Q_OBJECT
public:
    explicit CPropPageTab2(CMainFrame* frame);
    // A docking mode differs from its value at opening.
    bool DockingChanged() const;
    // The colour of one of the four keys, as if picked in the colour dialog.
    void SetColor(EKey key, const QColor& color);
    // 標準に戻す: the four colours follow the desktop again.
    void ResetColors();
    QPushButton* ColorButton(EKey key) const;

protected:
    void OnLoad(const CSettings& settings) override;
    void OnSave(std::vector<SIniEdit>& edits) const override;

private:
    struct SColor {
        EKey key;
        QPushButton* button;
        QColor shown;
        std::optional<QColor> value; // nullopt after a reset
        bool changed = false;
    };
    void ShowColor(const SColor& color);
    void OnDockingToggled();

    std::vector<SColor> m_colors;
    QCheckBox* m_pTabBarDocking;
    QCheckBox* m_pToolBarDocking;
    bool m_bTabBarDocking = false;
    bool m_bToolBarDocking = false;
};

// A page with one of the list files, edited in place.
class CListPage : public COptionPage {
    Q_OBJECT
public:
    CListPage(CMainFrame* frame, const char* title, std::string path, const char* heading);
    CEditableList* List() const { return m_pList; }
    // The file exists but could not be read: it is shown as such and kept.
    bool Unreadable() const { return m_bUnreadable; }
    QString WriteFiles() override;

protected:
    void OnLoad(const CSettings& settings) override;
    void AddList();

private:
    std::string m_path;
    const char* m_heading;
    CEditableList* m_pList;
    QLabel* m_pNote;
    UrlList m_loaded;
    bool m_bUnreadable = false;
};

class CPropPageCloseUrl : public CListPage {
    Q_OBJECT
public:
    explicit CPropPageCloseUrl(CMainFrame* frame);
};

class CPropPageCloseTitle : public CListPage {
    Q_OBJECT
public:
    explicit CPropPageCloseTitle(CMainFrame* frame);
};

class CPropPageStartupUrl : public CListPage {
    Q_OBJECT
public:
    explicit CPropPageStartupUrl(CMainFrame* frame);
};

class CPropPageMail : public COptionPage {
    Q_OBJECT
public:
    explicit CPropPageMail(CMainFrame* frame);
};

class CPropPageTaskTray : public COptionPage {
    Q_OBJECT
public:
    explicit CPropPageTaskTray(CMainFrame* frame);
    QKeySequenceEdit* HotKeyEdit() const { return m_pHotKey; }

private:
    QKeySequenceEdit* m_pHotKey;
};

class CPropPageAddressBar : public COptionPage {
    Q_OBJECT
public:
    explicit CPropPageAddressBar(CMainFrame* frame);
    QPushButton* ClearButton() const { return m_pClear; }

private:
    QPushButton* m_pClear;
};

class CPropPageBookmark : public COptionPage {
    Q_OBJECT
public:
    explicit CPropPageBookmark(CMainFrame* frame);
};

class CPropPageLinkBar : public COptionPage {
    Q_OBJECT
public:
    explicit CPropPageLinkBar(CMainFrame* frame);
};

class CPropPageNimbraBar : public COptionPage {
    Q_OBJECT
public:
    explicit CPropPageNimbraBar(CMainFrame* frame);
};

// The download-control flags of the five sets: the frame's own
// (DownloadCtrl, the first level) and the levels DownloadCtrl1..4.
class CPropPageSecure : public COptionPage {
    Q_OBJECT
public:
    explicit CPropPageSecure(CMainFrame* frame);
    QComboBox* SetChooser() const { return m_pSet; }
    // The box of one flag bit.
    QCheckBox* FlagBox(unsigned bit) const;

private:
    void ShowSet();
    void OnBoxToggled();

    QComboBox* m_pSet;
    std::vector<std::pair<unsigned, QCheckBox*>> m_boxes;
    std::array<int, 5> m_sets{};
    bool m_bShowing = false;
};

} // namespace nimbra
