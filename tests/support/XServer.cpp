#include "XServer.h"

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

#include <cstdlib>
#include <memory>
#include <string_view>

namespace testenv {

namespace {

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

template <typename T>
Reply<T> Take(T* reply)
{
    return Reply<T>(reply, &std::free);
}

xcb_window_t Root(xcb_connection_t* c)
{
    return xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
}

std::string Property(xcb_connection_t* c, xcb_window_t window, xcb_atom_t atom)
{
    auto reply = Take(xcb_get_property_reply(c, xcb_get_property(c, 0, window, atom, XCB_GET_PROPERTY_TYPE_ANY, 0, 1024), nullptr));
    if (!reply)
        return {};
    return std::string(static_cast<const char*>(xcb_get_property_value(reply.get())),
                       size_t(xcb_get_property_value_length(reply.get())));
}

} // namespace

XServer::XServer()
{
    // Xvfb takes a display that no other server uses and writes its number
    // once it accepts clients.
    m_xvfb.setStandardErrorFile(QProcess::nullDevice());
    m_xvfb.start(QStringLiteral("Xvfb"), {"-displayfd", "1", "-screen", "0", "1280x900x24", "-nolisten", "tcp"});
    if (!m_xvfb.waitForStarted(10000))
        return;
    while (!m_xvfb.canReadLine() && m_xvfb.waitForReadyRead(20000)) {
    }
    const QByteArray number = m_xvfb.readLine().trimmed();
    if (number.isEmpty())
        return;
    m_display = QStringLiteral(":") + QString::fromLatin1(number);
    m_connection = xcb_connect(m_display.toLatin1().constData(), nullptr);
    if (xcb_connection_has_error(m_connection))
        m_display.clear();
}

XServer::~XServer()
{
    for (xcb_connection_t* client : m_clients)
        xcb_disconnect(client);
    if (m_connection)
        xcb_disconnect(m_connection);
    m_xvfb.terminate();
    if (!m_xvfb.waitForFinished(10000))
        m_xvfb.kill();
}

xcb_connection_t* XServer::OpenClient()
{
    m_clients.push_back(xcb_connect(m_display.toLatin1().constData(), nullptr));
    return m_clients.back();
}

void XServer::PressKeys(std::initializer_list<unsigned> keysyms)
{
    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(m_connection);
    std::vector<xcb_keycode_t> codes;
    for (unsigned keysym : keysyms) {
        xcb_keycode_t* found = xcb_key_symbols_get_keycode(symbols, keysym);
        codes.push_back(found ? found[0] : 0);
        std::free(found);
    }
    xcb_key_symbols_free(symbols);
    for (xcb_keycode_t code : codes)
        xcb_test_fake_input(m_connection, XCB_KEY_PRESS, code, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    for (auto it = codes.rbegin(); it != codes.rend(); ++it)
        xcb_test_fake_input(m_connection, XCB_KEY_RELEASE, *it, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    // A round trip: the server has handled the input.
    std::free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
}

int XServer::Xdo(const QStringList& args, QString* out) const
{
    QProcess xdo;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", m_display);
    xdo.setProcessEnvironment(env);
    xdo.start("xdotool", args);
    if (!xdo.waitForFinished(20000))
        return -1;
    if (out)
        *out = QString::fromUtf8(xdo.readAllStandardOutput());
    return xdo.exitStatus() == QProcess::NormalExit ? xdo.exitCode() : -1;
}

unsigned XServer::FindWindow(const std::string& text)
{
    const std::vector<unsigned> windows = FindWindows(text);
    return windows.empty() ? 0 : windows.front();
}

std::vector<unsigned> XServer::FindWindows(const std::string& text)
{
    std::vector<unsigned> found;
    auto tree = Take(xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, Root(m_connection)), nullptr));
    if (!tree)
        return found;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i)
        if (Property(m_connection, children[i], XCB_ATOM_WM_NAME).find(text) != std::string::npos)
            found.push_back(children[i]);
    return found;
}

void XServer::Type(const std::string& text)
{
    constexpr unsigned kShiftL = 0xffe1;
    constexpr std::string_view kShifted = "~!@#$%^&*()_+{}|:\"<>?";
    for (char c : text) {
        const unsigned keysym = c == '\n' ? 0xff0d : static_cast<unsigned char>(c); // Return, else Latin-1
        if ((c >= 'A' && c <= 'Z') || kShifted.find(c) != std::string_view::npos)
            PressKeys({kShiftL, keysym});
        else
            PressKeys({keysym});
    }
}

std::string XServer::Name(unsigned window)
{
    return Property(m_connection, window, XCB_ATOM_WM_NAME);
}

bool XServer::IsViewable(unsigned window)
{
    auto attributes = Take(xcb_get_window_attributes_reply(m_connection, xcb_get_window_attributes(m_connection, window), nullptr));
    return attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
}

bool XServer::HasFocus(unsigned window)
{
    auto focus = Take(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
    for (xcb_window_t w = focus ? focus->focus : XCB_NONE; w != XCB_NONE && w != XCB_INPUT_FOCUS_POINTER_ROOT;) {
        if (w == window)
            return true;
        auto tree = Take(xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, w), nullptr));
        if (!tree || tree->parent == tree->root)
            return false;
        w = tree->parent;
    }
    return false;
}

} // namespace testenv
