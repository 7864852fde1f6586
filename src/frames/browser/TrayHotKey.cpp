#include "frames/browser/TrayHotKey.h"

#include "platform/Text.h"

#include <QGuiApplication>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace nimbra {

namespace {

struct SKeyEntry {
    int code;
    unsigned keysym;
    const char* name; // as the system names the key
    int qtKey;        // with Qt::KeypadModifier for the number pad
};

constexpr int kPad = Qt::KeypadModifier;

// Virtual-key codes, their keysyms, names and Qt keys. Codes 0x30-0x39 and
// 0x41-0x5A (digits and letters) and F1-F24 are formed below.
constexpr SKeyEntry kKeys[] = {
    {0x08, 0xff08, "Backspace", Qt::Key_Backspace}, {0x09, 0xff09, "Tab", Qt::Key_Tab},
    {0x0D, 0xff0d, "Enter", Qt::Key_Return},        {0x13, 0xff13, "Pause", Qt::Key_Pause},
    {0x1B, 0xff1b, "Esc", Qt::Key_Escape},          {0x20, 0x0020, "Space", Qt::Key_Space},
    {0x21, 0xff55, "Page Up", Qt::Key_PageUp},      {0x22, 0xff56, "Page Down", Qt::Key_PageDown},
    {0x23, 0xff57, "End", Qt::Key_End},             {0x24, 0xff50, "Home", Qt::Key_Home},
    {0x25, 0xff51, "Left", Qt::Key_Left},           {0x26, 0xff52, "Up", Qt::Key_Up},
    {0x27, 0xff53, "Right", Qt::Key_Right},         {0x28, 0xff54, "Down", Qt::Key_Down},
    {0x2D, 0xff63, "Insert", Qt::Key_Insert},       {0x2E, 0xffff, "Delete", Qt::Key_Delete},
    {0x60, 0xffb0, "Num 0", kPad | Qt::Key_0},      {0x61, 0xffb1, "Num 1", kPad | Qt::Key_1},
    {0x62, 0xffb2, "Num 2", kPad | Qt::Key_2},      {0x63, 0xffb3, "Num 3", kPad | Qt::Key_3},
    {0x64, 0xffb4, "Num 4", kPad | Qt::Key_4},      {0x65, 0xffb5, "Num 5", kPad | Qt::Key_5},
    {0x66, 0xffb6, "Num 6", kPad | Qt::Key_6},      {0x67, 0xffb7, "Num 7", kPad | Qt::Key_7},
    {0x68, 0xffb8, "Num 8", kPad | Qt::Key_8},      {0x69, 0xffb9, "Num 9", kPad | Qt::Key_9},
    {0x6A, 0xffaa, "Num *", kPad | Qt::Key_Asterisk}, {0x6B, 0xffab, "Num +", kPad | Qt::Key_Plus},
    {0x6D, 0xffad, "Num -", kPad | Qt::Key_Minus},  {0x6E, 0xffae, "Num Del", kPad | Qt::Key_Period},
    {0x6F, 0xffaf, "Num /", kPad | Qt::Key_Slash},  {0x91, 0xff14, "Scroll Lock", Qt::Key_ScrollLock},
    {0xBA, 0x003b, ";", Qt::Key_Semicolon},         {0xBB, 0x003d, "=", Qt::Key_Equal},
    {0xBC, 0x002c, ",", Qt::Key_Comma},             {0xBD, 0x002d, "-", Qt::Key_Minus},
    {0xBE, 0x002e, ".", Qt::Key_Period},            {0xBF, 0x002f, "/", Qt::Key_Slash},
    {0xC0, 0x0060, "`", Qt::Key_QuoteLeft},         {0xDB, 0x005b, "[", Qt::Key_BracketLeft},
    {0xDC, 0x005c, "\\", Qt::Key_Backslash},        {0xDD, 0x005d, "]", Qt::Key_BracketRight},
    {0xDE, 0x0027, "'", Qt::Key_Apostrophe},
};

constexpr int kVkF1 = 0x70;
constexpr int kVkF24 = 0x87;
constexpr unsigned kXkF1 = 0xffbe;
constexpr unsigned kXkAltL = 0xffe9;
constexpr unsigned kXkNumLock = 0xff7f;

// The key's name and keysym; an empty name for a code without a key.
std::pair<std::string, unsigned> KeyOf(int code)
{
    if ((code >= '0' && code <= '9') || (code >= 'A' && code <= 'Z'))
        return {std::string(1, char(code)), unsigned(code >= 'A' ? code - 'A' + 'a' : code)};
    if (code >= kVkF1 && code <= kVkF24)
        return {"F" + std::to_string(code - kVkF1 + 1), kXkF1 + unsigned(code - kVkF1)};
    for (const SKeyEntry& key : kKeys)
        if (key.code == code)
            return {key.name, key.keysym};
    return {};
}

// The X modifier bits that a key with this keysym sets; 0 when none.
uint16_t ModifierMaskOf(xcb_connection_t* connection, xcb_key_symbols_t* symbols, unsigned keysym)
{
    xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, keysym);
    if (!codes)
        return 0;
    uint16_t mask = 0;
    if (auto* reply = xcb_get_modifier_mapping_reply(connection, xcb_get_modifier_mapping(connection), nullptr)) {
        const xcb_keycode_t* map = xcb_get_modifier_mapping_keycodes(reply);
        const int perModifier = reply->keycodes_per_modifier;
        for (int modifier = 0; modifier < 8; ++modifier)
            for (int k = 0; k < perModifier; ++k)
                for (const xcb_keycode_t* code = codes; *code != XCB_NO_SYMBOL; ++code)
                    if (map[modifier * perModifier + k] == *code)
                        mask |= uint16_t(1u << modifier);
        std::free(reply);
    }
    std::free(codes);
    return mask;
}

} // namespace

std::string HotKeyLabel(const SHotKey& key)
{
    std::string label;
    if (key.modifiers & kHotKeyCtrl)
        label += "Ctrl+";
    if (key.modifiers & kHotKeyShift)
        label += "Shift+";
    if (key.modifiers & kHotKeyAlt)
        label += "Alt+";
    std::string name = ToLowerAscii(KeyOf(key.code & 0xFF).first);
    for (char& c : name) {
        if (c >= 'a' && c <= 'z') {
            c = char(c - 'a' + 'A');
            break;
        }
    }
    return label + (name.empty() ? "unknown" : name);
}

unsigned KeysymOfVirtualKey(int code)
{
    return KeyOf(code).second;
}

SHotKey HotKeyOf(QKeyCombination combination)
{
    const Qt::KeyboardModifiers qtModifiers = combination.keyboardModifiers();
    const int key = int(combination.key());
    const int pad = qtModifiers.testFlag(Qt::KeypadModifier) ? kPad : 0;
    int code = 0;
    if ((key >= Qt::Key_0 && key <= Qt::Key_9 && !pad) || (key >= Qt::Key_A && key <= Qt::Key_Z))
        code = key;
    else if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        code = kVkF1 + key - Qt::Key_F1;
    else if (key == Qt::Key_Enter)
        code = 0x0D;
    for (const SKeyEntry& entry : kKeys)
        if (!code && (entry.qtKey == (pad | key) || (pad && entry.qtKey == key)))
            code = entry.code;
    if (!code)
        return {};
    int modifiers = 0;
    if (qtModifiers.testFlag(Qt::AltModifier))
        modifiers |= kHotKeyAlt;
    if (qtModifiers.testFlag(Qt::ControlModifier))
        modifiers |= kHotKeyCtrl;
    if (qtModifiers.testFlag(Qt::ShiftModifier))
        modifiers |= kHotKeyShift;
    return {code, modifiers};
}

QKeyCombination KeyCombinationOf(const SHotKey& key)
{
    int qtKey = 0;
    if ((key.code >= '0' && key.code <= '9') || (key.code >= 'A' && key.code <= 'Z'))
        qtKey = key.code;
    else if (key.code >= kVkF1 && key.code <= kVkF24)
        qtKey = Qt::Key_F1 + key.code - kVkF1;
    for (const SKeyEntry& entry : kKeys)
        if (!qtKey && entry.code == key.code)
            qtKey = entry.qtKey;
    if (!qtKey || key.code > 0xFF)
        return {};
    Qt::KeyboardModifiers modifiers = Qt::KeyboardModifiers::fromInt(qtKey & Qt::KeyboardModifierMask);
    if (key.modifiers & kHotKeyAlt)
        modifiers |= Qt::AltModifier;
    if (key.modifiers & kHotKeyCtrl)
        modifiers |= Qt::ControlModifier;
    if (key.modifiers & kHotKeyShift)
        modifiers |= Qt::ShiftModifier;
    return QKeyCombination(modifiers, Qt::Key(qtKey & ~Qt::KeyboardModifierMask));
}

CTrayHotKey::CTrayHotKey(std::function<void()> pressed) : m_pressed(std::move(pressed)) {}

CTrayHotKey::~CTrayHotKey()
{
    Unregister();
    if (m_bFilterInstalled && QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

void CTrayHotKey::SetConnection(xcb_connection_t* connection)
{
    Unregister();
    m_connection = connection;
}

xcb_connection_t* CTrayHotKey::Connection() const
{
    if (m_connection)
        return m_connection;
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    auto* x11 = app ? app->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

bool CTrayHotKey::Register(const SHotKey& key)
{
    Unregister();
    xcb_connection_t* connection = Connection();
    const unsigned keysym = KeysymOfVirtualKey(key.code & 0xFF);
    if (!connection || keysym == 0)
        return false;

    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(connection);
    if (!symbols)
        return false;
    xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, keysym);
    const xcb_keycode_t keycode = codes ? codes[0] : XCB_NO_SYMBOL;
    std::free(codes);
    uint16_t altMask = ModifierMaskOf(connection, symbols, kXkAltL);
    const uint16_t numLockMask = ModifierMaskOf(connection, symbols, kXkNumLock);
    xcb_key_symbols_free(symbols);
    if (keycode == XCB_NO_SYMBOL)
        return false;
    if (altMask == 0)
        altMask = XCB_MOD_MASK_1;

    uint16_t modifiers = 0;
    if (key.modifiers & kHotKeyAlt)
        modifiers |= altMask;
    if (key.modifiers & kHotKeyCtrl)
        modifiers |= XCB_MOD_MASK_CONTROL;
    if (key.modifiers & kHotKeyShift)
        modifiers |= XCB_MOD_MASK_SHIFT;

    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const uint16_t locks[] = {0, XCB_MOD_MASK_LOCK, numLockMask, uint16_t(XCB_MOD_MASK_LOCK | numLockMask)};
    std::vector<uint16_t> grabbed;
    for (const uint16_t lock : locks) {
        const uint16_t mask = modifiers | lock;
        if (std::find(grabbed.begin(), grabbed.end(), mask) != grabbed.end())
            continue;
        const xcb_void_cookie_t cookie = xcb_grab_key_checked(connection, 1, root, mask, keycode,
                                                              XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
        if (xcb_generic_error_t* error = xcb_request_check(connection, cookie)) {
            // Another client holds the key.
            std::free(error);
            for (const uint16_t done : grabbed)
                xcb_ungrab_key(connection, keycode, root, done);
            xcb_flush(connection);
            return false;
        }
        grabbed.push_back(mask);
    }
    m_grabbedOn = connection;
    m_root = root;
    m_keycode = keycode;
    m_modifiers = modifiers;
    m_lockMasks = uint16_t(XCB_MOD_MASK_LOCK | numLockMask);
    if (!m_connection && !m_bFilterInstalled) {
        QCoreApplication::instance()->installNativeEventFilter(this);
        m_bFilterInstalled = true;
    }
    return true;
}

void CTrayHotKey::Unregister()
{
    if (!m_keycode)
        return;
    const uint16_t locks[] = {0, XCB_MOD_MASK_LOCK, uint16_t(m_lockMasks & ~XCB_MOD_MASK_LOCK), m_lockMasks};
    for (const uint16_t lock : locks)
        xcb_ungrab_key(m_grabbedOn, m_keycode, m_root, uint16_t(m_modifiers | lock));
    xcb_flush(m_grabbedOn);
    m_keycode = 0;
    m_grabbedOn = nullptr;
}

bool CTrayHotKey::HandleEvent(const void* xcbEvent)
{
    const auto* event = static_cast<const xcb_generic_event_t*>(xcbEvent);
    if (!m_keycode || (event->response_type & 0x7F) != XCB_KEY_PRESS)
        return false;
    const auto* press = static_cast<const xcb_key_press_event_t*>(xcbEvent);
    const uint16_t modifiers = uint16_t(press->state & 0xFF & ~m_lockMasks);
    if (press->detail != m_keycode || modifiers != m_modifiers)
        return false;
    if (m_pressed)
        m_pressed();
    return true;
}

bool CTrayHotKey::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    return eventType == "xcb_generic_event_t" && HandleEvent(message);
}

} // namespace nimbra
