#include "data/settings/Settings.h"

#include <QGuiApplication>
#include <QtGlobal>
#include <algorithm>
#include <climits>

#include "platform/Text.h"

namespace nimbra {

namespace {

constexpr std::string_view kOptions = "Options";
constexpr std::string_view kSettings = "Settings";
constexpr std::string_view kToolBar = "ToolBar";
constexpr std::string_view kDLOption = "DLOption";
constexpr std::string_view kBar = "%s-NimbraBar%d";

constexpr SLimit Clamp(int min, int max) { return {ELimit::Clamp, min, max}; }
constexpr SLimit ClampUnsigned(int min, int max) { return {ELimit::ClampUnsigned, min, max}; }
constexpr SLimit DefaultOutside(int min, int max) { return {ELimit::DefaultOutside, min, max}; }
// Strings: an empty text reads as the default.
constexpr SLimit NotEmpty() { return DefaultOutside(1, INT_MAX); }

constexpr SSettingKey Int(EKey id, std::string_view section, std::string_view key, int def,
                          unsigned flags = 0, SLimit limit = {})
{
    return {id, section, key, ESettingType::Int, def, {}, QPalette::NoRole, limit, flags};
}

constexpr SSettingKey Str(EKey id, std::string_view section, std::string_view key,
                          std::string_view def, unsigned flags = 0, SLimit limit = {})
{
    return {id, section, key, ESettingType::String, 0, def, QPalette::NoRole, limit, flags};
}

constexpr SSettingKey Color(EKey id, std::string_view key, QPalette::ColorRole def)
{
    return {id, kOptions, key, ESettingType::Color, 0, {}, def, {}, kFrame};
}

using K = EKey;

constexpr SSettingKey kKeys[] = {
    Int(K::ExitSaveLog, kOptions, "ExitSaveLog", 1, kFrame),
    Int(K::MyHome, kOptions, "MyHome", 0, kFrame | kOneIsOn),
    Str(K::MyHomeUrl, kOptions, "MyHomeUrl", "about:blank", kFrame, NotEmpty()),
    Int(K::OldInet, kOptions, "OldInet", 0, kFrame),
    Int(K::IEVersion, kOptions, "IEVersion", 5, kFrame),
    Int(K::RegisterAsBrowser, kOptions, "RegisterAsBrowser", 0, kFrame),
    Int(K::SetFocus, kOptions, "SetFocus", 0, kFrame),
    Int(K::PropChangeRefresh, kOptions, "PropChangeRefresh", 0, kFrame),
    Str(K::UserAgent, kOptions, "UserAgent", "", kRestart),
    Str(K::AddressAddF, kOptions, "AddressAddF", "http://www."),
    Str(K::AddressAddB, kOptions, "AddressAddB", ".co.jp"),
    Int(K::AddressLogMax, kOptions, "AddressLogMax", 64, 0, Clamp(1, 256)),
    Int(K::AutoComplete, kOptions, "AutoComplete", 0, kRestart),
    Int(K::OpDlgAutoComplete, kOptions, "OpDlgAutoComplete", 0, kRestart),
    Int(K::BlankPageActive, kOptions, "BlankPageActive", 0, kFrame),
    // The options page shows a missing NewBlank as on; the frame reads it as off.
    Int(K::NewBlank, kOptions, "NewBlank", 0, kFrame),
    Int(K::ActiveNewTab, kOptions, "ActiveNewTab", 0, kFrame | kOneIsOn),
    Int(K::TabMax, kOptions, "TabMax", 0, kFrame | kOneIsOn),
    Int(K::TabMaxCount, kOptions, "TabMaxCount", 20, kFrame, Clamp(1, 256)),
    Int(K::NewTabPosition, kOptions, "NewTabPosition", 0, kFrame, DefaultOutside(0, 3)),
    Int(K::CloseUrl, kOptions, "CloseUrl", 0, kFrame | kOneIsOn),
    Int(K::NewWindowClose, kOptions, "NewWindowClose", 0, kFrame),
    Int(K::RLCCloseTab, kOptions, "RLCCloseTab", 1, kFrame),
    Int(K::NaviNewTabLock, kOptions, "NaviNewTabLock", 0, kFrame),
    Color(K::SelTabClr, "SelTabClr", QPalette::ButtonText),
    Color(K::UnSelTabClr, "UnSelTabClr", QPalette::ButtonText),
    Color(K::SelTabBkgClr, "SelTabBkgClr", QPalette::Button),
    Color(K::UnSelTabBkgClr, "UnSelTabBkgClr", QPalette::Button),
    Int(K::SetTabWidth, kOptions, "SetTabWidth", 0, kFrame),
    Int(K::TabWidth, kOptions, "TabWidth", 80, kFrame, Clamp(20, 256)),
    Int(K::SetTabCharMax, kOptions, "SetTabCharMax", 0, kFrame),
    Int(K::TabCharMax, kOptions, "TabCharMax", 35, kFrame, Clamp(1, 100)),
    Int(K::BookmarkNewTab, kOptions, "BookmarkNewTab", 1, kFrame | kOneIsOn),
    Int(K::BKSetFocusView, kOptions, "BKSetFocusView", 1, kFrame),
    Int(K::BookmarkAddRoot, kOptions, "BookmarkAddRoot", 0, kFrame),
    Int(K::MainExitEditClose, kOptions, "MainExitEditClose", 1, kFrame),
    Str(K::BookmarkPath, kOptions, "BookmarkPath", ""),
    Int(K::MenuTitle, kOptions, "MenuTitle", 0, kFrame),
    Int(K::MenuTitleLength, kOptions, "MenuTitleLength", 20, kFrame, ClampUnsigned(5, 255)),
    Int(K::NBTabStyleTop, kOptions, "NBTabStyleTop", 0, kFrame),
    Int(K::NBLClickOpenNew, kOptions, "NBLClickOpenNew", 0, kFrame),
    Int(K::NBLClickHistOpenNew, kOptions, "NBLClickHistOpenNew", 0, kFrame),
    Int(K::NBLClickFHistOpenNew, kOptions, "NBLClickFHistOpenNew", 0, kFrame),
    Int(K::NBSetFocusView, kOptions, "NBSetFocusView", 1, kFrame),
    Int(K::NBTabText, kOptions, "NBTabText", 1, kFrame),
    Int(K::InfoTip, kOptions, "InfoTip", 1, kFrame),
    Int(K::FindWebDlg, kOptions, "FindWebDlg", 0, kFrame),
    Int(K::NimbraBarSelTab, kOptions, "NimbraBarSelTab", 0),
    Int(K::SelTabWeight, kOptions, "SelTabWeight", 0, kFrame | kOneIsOn),
    Int(K::SelTabItalic, kOptions, "SelTabItalic", 0, kFrame),
    Int(K::SelTabUnderline, kOptions, "SelTabUnderline", 0, kFrame),
    Int(K::UnSelTabWeight, kOptions, "UnSelTabWeight", 0, kFrame | kOneIsOn),
    Int(K::UnSelTabItalic, kOptions, "UnSelTabItalic", 0, kFrame),
    Int(K::UnSelTabUnderline, kOptions, "UnSelTabUnderline", 0, kFrame),
    Int(K::TabMultiLine, kOptions, "TabMultiLine", 0, kFrame),
    Int(K::TabMode, kOptions, "TabMode", 1, kFrame),
    Int(K::TabWheelClick, kOptions, "TabWheelClick", 0, kFrame, DefaultOutside(0, 4)),
    Int(K::TabRightClick, kOptions, "TabRightClick", 0, kFrame, DefaultOutside(0, 5)),
    Int(K::TabLeftDblClick, kOptions, "TabLeftDblClick", 0, kFrame, DefaultOutside(0, 5)),
    Int(K::TabPosToCls, kOptions, "TabPosToCls", 0, kFrame, DefaultOutside(0, 4)),
    Int(K::TabBarDockingMode, kOptions, "TabBarDockingMode", 0, kRestart),
    Int(K::ToolBarDockingMode, kOptions, "ToolBarDockingMode", 0, kRestart),
    Int(K::ToolBarBigButton, kOptions, "ToolBarBigButton", 0, kRestart),
    Int(K::LinkBarOpenNew, kOptions, "LinkBarOpenNew", 0, kFrame),
    Int(K::LinkBarDrawImg, kOptions, "LinkBarDrawImg", 1, kFrame),
    Int(K::LinkBarSetBtnWidth, kOptions, "LinkBarSetBtnWidth", 0, kFrame),
    Int(K::LinkBarBtnWidth, kOptions, "LinkBarBtnWidth", 30, kFrame),
    Int(K::NoEmail, kOptions, "NoEmail", 0, kFrame),
    Int(K::UseMailer, kOptions, "UseMailer", 0, kFrame),
    Str(K::MailerPath, kOptions, "MailerPath", ""),
    Int(K::TaskIcon, kOptions, "TaskIcon", 0, kFrame),
    Str(K::TaskIconPath, kOptions, "TaskIconPath", "", kFrame),
    Int(K::TaskIconIndex, kOptions, "TaskIconIndex", 0, kFrame),
    Str(K::TaskToolTip, kOptions, "TaskToolTip", "good bye :)", kFrame, DefaultOutside(1, 40)),
    Int(K::TaskMinimizeIn, kOptions, "TaskMinimizeIn", 0, kFrame),
    Int(K::HotKey, kOptions, "HotKey", 0, kFrame),
    Int(K::CloseTitle, kOptions, "CloseTitle", 0, kFrame),
    Int(K::KillDlg, kOptions, "KillDlg", 0, kFrame),
    Int(K::EraseBkgnd, kOptions, "EraseBkgnd", 1, kFrame),
    Int(K::SilentBrowser, kOptions, "SilentBrowser", 0, kFrame),
    Int(K::DownloadCtrl, kOptions, "DownloadCtrl", 112, kFrame),
    Int(K::DownloadCtrlN, kOptions, "DownloadCtrl%d", 112),
    Int(K::HostUI, kOptions, "HostUI", 1, kFrame),
    Int(K::HostUIFlags, kOptions, "HostUIFlags", 0x14000, kFrame),
    Int(K::HostUIDblClk, kOptions, "HostUIDblClk", 0, kFrame),
    Int(K::StartOpenUrl, kOptions, "StartOpenUrl", 0, kRestart | kOneIsOn),
    Int(K::SURepeatCheck, kOptions, "SURepeatCheck", 1),
    Int(K::StartupLogRestor, kOptions, "StartupLogRestor", 0),
    Int(K::StartupParamCheck, kOptions, "StartupParamCheck", 0),
    Int(K::LogRepeatCheck, kOptions, "LogRepeatCheck", 1),
    Str(K::DDEServerName, kOptions, "DDEServerName", "NBROWSER", kRestart, NotEmpty()),
    Int(K::CWC, kOptions, "CWC", 0),
    Int(K::RectUrlEnable, kOptions, "RectUrlEnable", 1),
    Int(K::RectUrlMenuCharLength, kOptions, "RectUrlMenuCharLength", 50, 0, DefaultOutside(5, INT_MAX)),
    Str(K::LastSavePath, kOptions, "LastSavePath", ""),
    Str(K::LastOpenPath, kOptions, "LastOpenPath", ""),
    Int(K::OpDlgState, kOptions, "OpDlgState", 0),
    Int(K::AddUrlOpenNew, kOptions, "AddUrlOpenNew", 0),
    Str(K::FLCColumnSize, kOptions, "FLCColumnSize", "200,300,140"),
    Int(K::FLCSort, kOptions, "FLCSort", 0x10002),
    Int(K::FLCFilterEnable, kOptions, "FLCFilterEnable", 1),
    Int(K::FLCFilterToday, kOptions, "FLCFilterToday", 1),
    Str(K::FLCFilter, kOptions, "FLCFilter", "http://"),
    Int(K::FLCFindCache, kOptions, "FLCFindCache", 1),

    Str(K::WindowPos, kSettings, "WindowPos", ""),
    Int(K::FullScreenMode, kSettings, "FullScreenMode", 0),
    Str(K::ListDlgPos, kSettings, "ListDlgPos", ""),

    Int(K::ButtonCount, kToolBar, "Button.Count", -1),
    Int(K::ToolButtonN, kToolBar, "Tool.Button%d", -2),

    Int(K::DLFilterIndex, kDLOption, "DLFilterIndex", 0),
    Str(K::DLFolder, kDLOption, "DLFolder", ""),
    Int(K::DLSaveClose, kDLOption, "DLSaveClose", 0),
    Int(K::DLNaviClose, kDLOption, "DLNaviClose", 0),
    Int(K::DLStartupFilter, kDLOption, "DLStartupFilter", 0),
    Int(K::DLImageTag, kDLOption, "DLImageTag", 0),

    Int(K::szHorzCX, kBar, "szHorzCX", 0, kCallerDefault),
    Int(K::szHorzCY, kBar, "szHorzCY", 0, kCallerDefault),
    Int(K::szVertCX, kBar, "szVertCX", 0, kCallerDefault),
    Int(K::szVertCY, kBar, "szVertCY", 0, kCallerDefault),
    Int(K::szFloatCX, kBar, "szFloatCX", 0, kCallerDefault),
    Int(K::szFloatCY, kBar, "szFloatCY", 0, kCallerDefault),
};

constexpr bool RowsInEnumOrder()
{
    for (std::size_t i = 0; i < std::size(kKeys); ++i) {
        if (static_cast<std::size_t>(kKeys[i].id) != i)
            return false;
    }
    return static_cast<std::size_t>(EKey::szFloatCY) + 1 == std::size(kKeys);
}
static_assert(RowsInEnumOrder(), "the key table must follow the order of EKey");

bool IsTemplate(const SSettingKey& info)
{
    return info.section.find('%') != std::string_view::npos
        || info.key.find('%') != std::string_view::npos;
}

// Fills the one "%s" and the one "%d" of a template.
std::string Expand(std::string_view pattern, std::string_view text, int number)
{
    std::string out(pattern);
    if (auto at = out.find("%s"); at != std::string::npos)
        out.replace(at, 2, text);
    if (auto at = out.find("%d"); at != std::string::npos)
        out.replace(at, 2, std::to_string(number));
    return out;
}

bool InRange(const SLimit& limit, int value)
{
    return value >= limit.min && value <= limit.max;
}

int Limited(const SLimit& limit, int value, int def)
{
    switch (limit.rule) {
    case ELimit::None:
        return value;
    case ELimit::Clamp:
        return std::clamp(value, limit.min, limit.max);
    case ELimit::ClampUnsigned: {
        const auto v = static_cast<unsigned>(value);
        if (v < static_cast<unsigned>(limit.min))
            return limit.min;
        if (v > static_cast<unsigned>(limit.max))
            return limit.max;
        return value;
    }
    case ELimit::DefaultOutside:
        return InRange(limit, value) ? value : def;
    }
    return value;
}

QColor PaletteDefault(const SSettingKey& info)
{
    return QGuiApplication::palette().color(QPalette::Active, info.colorDefault);
}

} // namespace

const SSettingKey& KeyInfo(EKey key)
{
    return kKeys[static_cast<std::size_t>(key)];
}

std::span<const SSettingKey> AllKeys()
{
    return kKeys;
}

SKeyRef KeyRef(EKey key)
{
    const SSettingKey& info = KeyInfo(key);
    Q_ASSERT(!IsTemplate(info));
    return {info, std::string(info.section), std::string(info.key)};
}

SKeyRef DownloadCtrlKey(int n)
{
    const SSettingKey& info = KeyInfo(EKey::DownloadCtrlN);
    return {info, std::string(info.section), Expand(info.key, {}, n)};
}

SKeyRef ToolButtonKey(int index)
{
    const SSettingKey& info = KeyInfo(EKey::ToolButtonN);
    return {info, std::string(info.section), Expand(info.key, {}, index)};
}

SKeyRef BarSizeKey(EKey size, std::string_view profile, int barId)
{
    const SSettingKey& info = KeyInfo(size);
    Q_ASSERT(info.section == kBar);
    return {info, Expand(info.section, profile, barId), std::string(info.key)};
}

int ApplyLimit(const SSettingKey& info, int value)
{
    return Limited(info.limit, value, info.intDefault);
}

std::string ApplyLimit(const SSettingKey& info, std::string value)
{
    if (info.limit.rule == ELimit::None)
        return value;
    Q_ASSERT(info.limit.rule == ELimit::DefaultOutside);
    return InRange(info.limit, TextWidth(value)) ? value : std::string(info.stringDefault);
}

bool IsOn(EKey key, int value)
{
    return KeyInfo(key).oneIsOn() ? value == 1 : value != 0;
}

int TabFontWeight(int value)
{
    return value == 1 ? 700 : 400;
}

int ToColorRef(const QColor& color)
{
    return color.red() | (color.green() << 8) | (color.blue() << 16);
}

QColor FromColorRef(int colorRef)
{
    return QColor(colorRef & 0xFF, (colorRef >> 8) & 0xFF, (colorRef >> 16) & 0xFF);
}

CSettings::CSettings(std::string path)
    : m_ini(std::move(path))
{
}

int CSettings::GetInt(std::string_view section, std::string_view key, int def) const
{
    return m_ini.GetInt(section, key, def);
}

std::string CSettings::GetString(std::string_view section, std::string_view key, std::string_view def) const
{
    return m_ini.GetString(section, key, def);
}

bool CSettings::WriteInt(std::string_view section, std::string_view key, int value)
{
    return m_ini.WriteInt(section, key, value);
}

bool CSettings::WriteString(std::string_view section, std::string_view key, std::string_view value)
{
    return m_ini.WriteString(section, key, value);
}

int CSettings::GetInt(EKey key) const
{
    return GetInt(KeyRef(key));
}

int CSettings::GetInt(const SKeyRef& ref) const
{
    Q_ASSERT(ref.info.type == ESettingType::Int && !(ref.info.flags & kCallerDefault));
    return ApplyLimit(ref.info, GetInt(ref.section, ref.key, ref.info.intDefault));
}

std::string CSettings::GetString(EKey key) const
{
    const SSettingKey& info = KeyInfo(key);
    Q_ASSERT(info.type == ESettingType::String && !IsTemplate(info));
    return ApplyLimit(info, GetString(info.section, info.key, info.stringDefault));
}

QColor CSettings::GetColor(EKey key) const
{
    const SSettingKey& info = KeyInfo(key);
    Q_ASSERT(info.type == ESettingType::Color);
    return FromColorRef(GetInt(info.section, info.key, ToColorRef(PaletteDefault(info))));
}

bool CSettings::WriteInt(EKey key, int value)
{
    return WriteInt(KeyRef(key), value);
}

bool CSettings::WriteInt(const SKeyRef& ref, int value)
{
    Q_ASSERT(ref.info.type == ESettingType::Int);
    return WriteInt(ref.section, ref.key, value);
}

bool CSettings::WriteString(EKey key, std::string_view value)
{
    const SSettingKey& info = KeyInfo(key);
    Q_ASSERT(info.type == ESettingType::String && !IsTemplate(info));
    return WriteString(info.section, info.key, value);
}

bool CSettings::WriteColor(EKey key, const QColor& color)
{
    const SSettingKey& info = KeyInfo(key);
    Q_ASSERT(info.type == ESettingType::Color);
    return WriteInt(info.section, info.key, ToColorRef(color));
}

void CFrameSettings::LoadConstructorGroup(const CSettings& s)
{
    KillDlg = s.GetInt(EKey::KillDlg);
    EraseBkgnd = s.GetInt(EKey::EraseBkgnd);
    SilentBrowser = s.GetInt(EKey::SilentBrowser);
    DownloadCtrl = s.GetInt(EKey::DownloadCtrl);
    HostUI = s.GetInt(EKey::HostUI);
    HostUIFlags = s.GetInt(EKey::HostUIFlags);
    HostUIDblClk = s.GetInt(EKey::HostUIDblClk);
    IEVersion = s.GetInt(EKey::IEVersion);
}

void CFrameSettings::LoadCreationGroup(const CSettings& s)
{
    ToolBarBigButton = s.GetInt(EKey::ToolBarBigButton);
    ToolBarDockingMode = s.GetInt(EKey::ToolBarDockingMode);
    TabBarDockingMode = s.GetInt(EKey::TabBarDockingMode);
    CWC = s.GetInt(EKey::CWC);
    DDEServerName = s.GetString(EKey::DDEServerName);
}

void CFrameSettings::Reload(const CSettings& s)
{
    ExitSaveLog = s.GetInt(EKey::ExitSaveLog);
    MyHome = s.GetInt(EKey::MyHome);
    MyHomeUrl = s.GetString(EKey::MyHomeUrl);
    OldInet = s.GetInt(EKey::OldInet);
    IEVersion = s.GetInt(EKey::IEVersion);
    RegisterAsBrowser = s.GetInt(EKey::RegisterAsBrowser);
    SetFocus = s.GetInt(EKey::SetFocus);
    PropChangeRefresh = s.GetInt(EKey::PropChangeRefresh);
    BlankPageActive = s.GetInt(EKey::BlankPageActive);
    NewBlank = s.GetInt(EKey::NewBlank);
    ActiveNewTab = s.GetInt(EKey::ActiveNewTab);
    TabMax = s.GetInt(EKey::TabMax);
    TabMaxCount = s.GetInt(EKey::TabMaxCount);
    NewTabPosition = s.GetInt(EKey::NewTabPosition);
    CloseUrl = s.GetInt(EKey::CloseUrl);
    NewWindowClose = s.GetInt(EKey::NewWindowClose);
    RLCCloseTab = s.GetInt(EKey::RLCCloseTab);
    NaviNewTabLock = s.GetInt(EKey::NaviNewTabLock);
    SelTabClr = s.GetColor(EKey::SelTabClr);
    UnSelTabClr = s.GetColor(EKey::UnSelTabClr);
    SelTabBkgClr = s.GetColor(EKey::SelTabBkgClr);
    UnSelTabBkgClr = s.GetColor(EKey::UnSelTabBkgClr);
    SetTabWidth = s.GetInt(EKey::SetTabWidth);
    TabWidth = s.GetInt(EKey::TabWidth);
    SetTabCharMax = s.GetInt(EKey::SetTabCharMax);
    TabCharMax = s.GetInt(EKey::TabCharMax);
    BookmarkNewTab = s.GetInt(EKey::BookmarkNewTab);
    BKSetFocusView = s.GetInt(EKey::BKSetFocusView);
    BookmarkAddRoot = s.GetInt(EKey::BookmarkAddRoot);
    MainExitEditClose = s.GetInt(EKey::MainExitEditClose);
    MenuTitle = s.GetInt(EKey::MenuTitle);
    MenuTitleLength = s.GetInt(EKey::MenuTitleLength);
    NBTabStyleTop = s.GetInt(EKey::NBTabStyleTop);
    NBLClickOpenNew = s.GetInt(EKey::NBLClickOpenNew);
    NBLClickHistOpenNew = s.GetInt(EKey::NBLClickHistOpenNew);
    NBLClickFHistOpenNew = s.GetInt(EKey::NBLClickFHistOpenNew);
    NBSetFocusView = s.GetInt(EKey::NBSetFocusView);
    NBTabText = s.GetInt(EKey::NBTabText);
    InfoTip = s.GetInt(EKey::InfoTip);
    FindWebDlg = s.GetInt(EKey::FindWebDlg);
    SelTabWeight = s.GetInt(EKey::SelTabWeight);
    SelTabItalic = s.GetInt(EKey::SelTabItalic);
    SelTabUnderline = s.GetInt(EKey::SelTabUnderline);
    UnSelTabWeight = s.GetInt(EKey::UnSelTabWeight);
    UnSelTabItalic = s.GetInt(EKey::UnSelTabItalic);
    UnSelTabUnderline = s.GetInt(EKey::UnSelTabUnderline);
    TabMultiLine = s.GetInt(EKey::TabMultiLine);
    TabMode = s.GetInt(EKey::TabMode);
    TabWheelClick = s.GetInt(EKey::TabWheelClick);
    TabRightClick = s.GetInt(EKey::TabRightClick);
    TabLeftDblClick = s.GetInt(EKey::TabLeftDblClick);
    TabPosToCls = s.GetInt(EKey::TabPosToCls);
    LinkBarOpenNew = s.GetInt(EKey::LinkBarOpenNew);
    LinkBarDrawImg = s.GetInt(EKey::LinkBarDrawImg);
    LinkBarSetBtnWidth = s.GetInt(EKey::LinkBarSetBtnWidth);
    LinkBarBtnWidth = s.GetInt(EKey::LinkBarBtnWidth);
    NoEmail = s.GetInt(EKey::NoEmail);
    UseMailer = s.GetInt(EKey::UseMailer);
    TaskIcon = s.GetInt(EKey::TaskIcon);
    TaskIconPath = s.GetString(EKey::TaskIconPath);
    TaskIconIndex = s.GetInt(EKey::TaskIconIndex);
    TaskToolTip = s.GetString(EKey::TaskToolTip);
    TaskMinimizeIn = s.GetInt(EKey::TaskMinimizeIn);
    HotKey = s.GetInt(EKey::HotKey);
    CloseTitle = s.GetInt(EKey::CloseTitle);

    // Multi-row tabs that are not buttons need a fixed width.
    if (TabMode == 0 && TabMultiLine != 0)
        SetTabWidth = 1;
    if (LinkBarSetBtnWidth == 0)
        LinkBarBtnWidth = -1;
}

} // namespace nimbra
