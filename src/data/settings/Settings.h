#pragma once

#include <QColor>
#include <QPalette>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/Ini.h"

namespace nimbra {

// Every key of the settings file, in table order. The names are the key
// names, except where a key name is not an identifier (Button.Count) or is
// formed from a template: DownloadCtrlN is "DownloadCtrl%d" (from 1),
// ToolButtonN is "Tool.Button%d" (from 0), and the sz* keys live in the
// per-bar sections "%s-NimbraBar%d" of barstate.ini.
enum class EKey : std::uint8_t {
    // Options
    ExitSaveLog, MyHome, MyHomeUrl, OldInet, IEVersion, RegisterAsBrowser, SetFocus,
    PropChangeRefresh, UserAgent, AddressAddF, AddressAddB, AddressLogMax, AutoComplete,
    OpDlgAutoComplete, BlankPageActive, NewBlank, ActiveNewTab, TabMax, TabMaxCount,
    NewTabPosition, CloseUrl, NewWindowClose, RLCCloseTab, NaviNewTabLock, SelTabClr,
    UnSelTabClr, SelTabBkgClr, UnSelTabBkgClr, SetTabWidth, TabWidth, SetTabCharMax,
    TabCharMax, BookmarkNewTab, BKSetFocusView, BookmarkAddRoot, MainExitEditClose,
    BookmarkPath, MenuTitle, MenuTitleLength, NBTabStyleTop, NBLClickOpenNew,
    NBLClickHistOpenNew, NBLClickFHistOpenNew, NBSetFocusView, NBTabText, InfoTip,
    FindWebDlg, NimbraBarSelTab, SelTabWeight, SelTabItalic, SelTabUnderline,
    UnSelTabWeight, UnSelTabItalic, UnSelTabUnderline, TabMultiLine, TabMode,
    TabWheelClick, TabRightClick, TabLeftDblClick, TabPosToCls, TabBarDockingMode,
    ToolBarDockingMode, ToolBarBigButton, LinkBarOpenNew, LinkBarDrawImg,
    LinkBarSetBtnWidth, LinkBarBtnWidth, NoEmail, UseMailer, MailerPath, TaskIcon,
    TaskIconPath, TaskIconIndex, TaskToolTip, TaskMinimizeIn, HotKey, CloseTitle,
    KillDlg, EraseBkgnd, SilentBrowser, DownloadCtrl, DownloadCtrlN, HostUI, HostUIFlags,
    HostUIDblClk, StartOpenUrl, SURepeatCheck, StartupLogRestor, StartupParamCheck,
    LogRepeatCheck, DDEServerName, CWC, RectUrlEnable, RectUrlMenuCharLength,
    LastSavePath, LastOpenPath, OpDlgState, AddUrlOpenNew, FLCColumnSize, FLCSort,
    FLCFilterEnable, FLCFilterToday, FLCFilter, FLCFindCache,
    // Settings
    WindowPos, FullScreenMode, ListDlgPos,
    // ToolBar
    ButtonCount, ToolButtonN,
    // DLOption
    DLFilterIndex, DLFolder, DLSaveClose, DLNaviClose, DLStartupFilter, DLImageTag,
    // "%s-NimbraBar%d"
    szHorzCX, szHorzCY, szVertCX, szVertCY, szFloatCX, szFloatCY,
};

enum class ESettingType : std::uint8_t { Int, String, Color };

// What happens to a value that is read outside [min, max]. For strings the
// range applies to the text's width (TextWidth).
enum class ELimit : std::uint8_t {
    None,
    Clamp,          // below min -> min, above max -> max
    ClampUnsigned,  // the same, compared unsigned (a negative value -> max)
    DefaultOutside, // outside -> the default
};

struct SLimit {
    ELimit rule = ELimit::None;
    int min = 0;
    int max = 0;
};

enum EKeyFlag : unsigned {
    kFrame = 1,         // kept in the main frame, re-read on reload
    kRestart = 2,       // acts only at the next start
    kOneIsOn = 4,       // boolean where only the value 1 counts as on
    kCallerDefault = 8, // the default is the caller's current value (bar sizes)
};

struct SSettingKey {
    EKey id;
    std::string_view section; // "%s-NimbraBar%d" for the bar sizes
    std::string_view key;     // "DownloadCtrl%d", "Tool.Button%d" for the indexed keys
    ESettingType type;
    int intDefault;
    std::string_view stringDefault;
    QPalette::ColorRole colorDefault; // colours: taken from the palette when read
    SLimit limit;
    unsigned flags;

    bool frame() const { return flags & kFrame; }
    bool restart() const { return flags & kRestart; }
    bool oneIsOn() const { return flags & kOneIsOn; }
};

const SSettingKey& KeyInfo(EKey key);
std::span<const SSettingKey> AllKeys();

// A key with its section and name written out.
struct SKeyRef {
    const SSettingKey& info;
    std::string section;
    std::string key;
};

SKeyRef KeyRef(EKey key); // a key without template
SKeyRef DownloadCtrlKey(int n); // n from 1
SKeyRef ToolButtonKey(int index); // index from 0
// One of szHorzCX .. szFloatCY of the bar `barId` of profile `profile`.
SKeyRef BarSizeKey(EKey size, std::string_view profile, int barId);

// The read limit of the key applied to a raw value.
int ApplyLimit(const SSettingKey& info, int value);
std::string ApplyLimit(const SSettingKey& info, std::string value);

// Boolean reading of an int key: only 1 is on for the "1 = on" keys, any
// non-zero value for the others.
bool IsOn(EKey key, int value);

// SelTabWeight, UnSelTabWeight: 1 -> bold (700), anything else -> normal (400).
int TabFontWeight(int value);

// COLORREF (0x00BBGGRR) as stored in the file.
int ToColorRef(const QColor& color);
QColor FromColorRef(int colorRef);

// The settings file. Nothing is cached: each read sees the file's current
// content and each write lands at once. Write failures may be ignored.
class CSettings {
public:
    explicit CSettings(std::string path);

    const std::string& path() const { return m_ini.path(); }

    int GetInt(std::string_view section, std::string_view key, int def) const;
    std::string GetString(std::string_view section, std::string_view key, std::string_view def) const;
    bool WriteInt(std::string_view section, std::string_view key, int value);
    bool WriteString(std::string_view section, std::string_view key, std::string_view value);

    // Table default and read limit applied.
    int GetInt(EKey key) const;
    int GetInt(const SKeyRef& ref) const;
    std::string GetString(EKey key) const;
    QColor GetColor(EKey key) const;
    bool GetBool(EKey key) const { return IsOn(key, GetInt(key)); }

    bool WriteInt(EKey key, int value);
    bool WriteInt(const SKeyRef& ref, int value);
    bool WriteString(EKey key, std::string_view value);
    bool WriteColor(EKey key, const QColor& color);

private:
    CIniFile m_ini;
};

// The main frame's group of settings, one member per key.
struct CFrameSettings {
    // Constructor group.
    int KillDlg = 0;
    int EraseBkgnd = 0;
    int SilentBrowser = 0;
    int DownloadCtrl = 0;
    int HostUI = 0;
    int HostUIFlags = 0;
    int HostUIDblClk = 0;
    int IEVersion = 0;

    // Window creation group.
    int ToolBarBigButton = 0;
    int ToolBarDockingMode = 0;
    int TabBarDockingMode = 0;
    int CWC = 0;
    std::string DDEServerName;

    // Reload group.
    int ExitSaveLog = 0;
    int MyHome = 0;
    std::string MyHomeUrl;
    int OldInet = 0;
    int RegisterAsBrowser = 0;
    int SetFocus = 0;
    int PropChangeRefresh = 0;
    int BlankPageActive = 0;
    int NewBlank = 0;
    int ActiveNewTab = 0;
    int TabMax = 0;
    int TabMaxCount = 0;
    int NewTabPosition = 0;
    int CloseUrl = 0;
    int NewWindowClose = 0;
    int RLCCloseTab = 0;
    int NaviNewTabLock = 0;
    QColor SelTabClr;
    QColor UnSelTabClr;
    QColor SelTabBkgClr;
    QColor UnSelTabBkgClr;
    int SetTabWidth = 0;
    int TabWidth = 0;
    int SetTabCharMax = 0;
    int TabCharMax = 0;
    int BookmarkNewTab = 0;
    int BKSetFocusView = 0;
    int BookmarkAddRoot = 0;
    int MainExitEditClose = 0;
    int MenuTitle = 0;
    int MenuTitleLength = 0;
    int NBTabStyleTop = 0;
    int NBLClickOpenNew = 0;
    int NBLClickHistOpenNew = 0;
    int NBLClickFHistOpenNew = 0;
    int NBSetFocusView = 0;
    int NBTabText = 0;
    int InfoTip = 0;
    int FindWebDlg = 0;
    int SelTabWeight = 0;
    int SelTabItalic = 0;
    int SelTabUnderline = 0;
    int UnSelTabWeight = 0;
    int UnSelTabItalic = 0;
    int UnSelTabUnderline = 0;
    int TabMultiLine = 0;
    int TabMode = 0;
    int TabWheelClick = 0;
    int TabRightClick = 0;
    int TabLeftDblClick = 0;
    int TabPosToCls = 0;
    int LinkBarOpenNew = 0;
    int LinkBarDrawImg = 0;
    int LinkBarSetBtnWidth = 0;
    int LinkBarBtnWidth = 0; // -1 (automatic) unless LinkBarSetBtnWidth is on
    int NoEmail = 0;
    int UseMailer = 0;
    int TaskIcon = 0;
    std::string TaskIconPath;
    int TaskIconIndex = 0;
    std::string TaskToolTip;
    int TaskMinimizeIn = 0;
    int HotKey = 0;
    int CloseTitle = 0;

    void LoadConstructorGroup(const CSettings& settings);
    void LoadCreationGroup(const CSettings& settings);
    // ExitSaveLog .. CloseTitle with their limits.
    void Reload(const CSettings& settings);
};

} // namespace nimbra
