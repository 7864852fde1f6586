#pragma once

// A private X server (Xvfb) for one test, with clients of its own.
#include <QProcess>
#include <QString>
#include <QStringList>
#include <initializer_list>
#include <string>
#include <vector>

struct xcb_connection_t;

namespace testenv {

// Keysyms the tests press.
namespace xk {
inline constexpr unsigned kControlL = 0xffe3;
inline constexpr unsigned kAltL = 0xffe9;
inline constexpr unsigned kNumLock = 0xff7f;
inline constexpr unsigned kHome = 0xff50;
inline constexpr unsigned kEnd = 0xff57;
} // namespace xk

class XServer {
public:
    // Starts Xvfb on a display it finds free; Display() stays empty when it
    // failed.
    XServer();
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    const QString& Display() const { return m_display; }
    // A client connection, closed with the server.
    xcb_connection_t* OpenClient();

    // Presses the keys (keysyms) in order through XTest and releases them
    // in reverse order; returns once the server has them.
    void PressKeys(std::initializer_list<unsigned> keysyms);

    // Runs xdotool with `args` on this server; its exit code, and what it
    // printed in `out` when given.
    int Xdo(const QStringList& args, QString* out = nullptr) const;

    // The top-level window whose name contains `text`; 0 when there is none.
    unsigned FindWindow(const std::string& text);
    // Every top-level window whose name contains `text`, in stacking order
    // (the topmost last).
    std::vector<unsigned> FindWindows(const std::string& text);
    // Types ASCII text through XTest, one key at a time (Shift for what needs it).
    void Type(const std::string& text);
    bool IsViewable(unsigned window);
    // Whether the keyboard focus is on `window` or inside it: what is typed
    // next goes there.
    bool HasFocus(unsigned window);
    std::string Name(unsigned window);

private:
    QProcess m_xvfb;
    QString m_display;
    xcb_connection_t* m_connection = nullptr;
    std::vector<xcb_connection_t*> m_clients;
};

} // namespace testenv
