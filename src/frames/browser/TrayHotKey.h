#pragma once

#include <QAbstractNativeEventFilter>
#include <QKeyCombination>
#include <functional>
#include <string>

struct xcb_connection_t;

namespace nimbra {

// Modifier flags of the HotKey setting.
inline constexpr int kHotKeyAlt = 1;
inline constexpr int kHotKeyCtrl = 2;
inline constexpr int kHotKeyShift = 4;

// The HotKey setting: the virtual-key code in the high 16 bits, the
// modifier flags in the low 16 bits; 0 is no key.
struct SHotKey {
    int code = 0;
    int modifiers = 0;

    static SHotKey FromSetting(int value) { return {(value >> 16) & 0xFFFF, value & 0xFFFF}; }
    int ToSetting() const { return (code << 16) | (modifiers & 0xFFFF); }
    bool IsNone() const { return code == 0 && modifiers == 0; }
};

// "Ctrl+", "Shift+", "Alt+" as the modifiers have them, then the key's
// name in lower case with its first letter upper case ("F9", "Page up"),
// or "unknown" for a code without a name.
std::string HotKeyLabel(const SHotKey& key);

// A key typed in a key editor as the setting's key and modifiers; none for
// a key without a virtual-key code.
SHotKey HotKeyOf(QKeyCombination combination);
// The other way; Qt::Key_unknown for a code without a key.
QKeyCombination KeyCombinationOf(const SHotKey& key);

// The X keysym of a virtual-key code; 0 for a code this table lacks.
unsigned KeysymOfVirtualKey(int code);

// A global hot key: a passive grab of the key on the X root window, also
// with Caps Lock and Num Lock on, and a native event filter that reports
// its presses.
class CTrayHotKey : public QAbstractNativeEventFilter {
public:
    explicit CTrayHotKey(std::function<void()> pressed);
    ~CTrayHotKey() override;
    CTrayHotKey(const CTrayHotKey&) = delete;
    CTrayHotKey& operator=(const CTrayHotKey&) = delete;

    // Grabs on another X connection than the application's (tests).
    void SetConnection(xcb_connection_t* connection);

    // False without X (Wayland, no display), for a code without a key, and
    // when another client holds the key.
    bool Register(const SHotKey& key);
    void Unregister();
    bool IsRegistered() const { return m_keycode != 0; }

    // A press of the registered key, with Caps Lock or Num Lock in any
    // state, runs `pressed`; whether the event was one.
    bool HandleEvent(const void* xcbEvent);
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    xcb_connection_t* Connection() const;

    std::function<void()> m_pressed;
    xcb_connection_t* m_connection = nullptr;   // set by SetConnection
    xcb_connection_t* m_grabbedOn = nullptr;    // where the grab is
    unsigned m_root = 0;
    unsigned char m_keycode = 0;
    unsigned short m_modifiers = 0; // X modifier mask of the key
    unsigned short m_lockMasks = 0; // Caps Lock and Num Lock
    bool m_bFilterInstalled = false;
};

} // namespace nimbra
