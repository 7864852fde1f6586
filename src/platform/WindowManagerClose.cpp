#include "platform/WindowManagerClose.h"

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QPointer>
#include <QWidget>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace nimbra {

namespace {

xcb_atom_t Atom(xcb_connection_t* connection, const char* name)
{
    const xcb_intern_atom_cookie_t cookie = xcb_intern_atom(connection, 0, uint16_t(strlen(name)), name);
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&free)> reply(xcb_intern_atom_reply(connection, cookie, nullptr),
                                                                     &free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

class CCloseFilter : public QAbstractNativeEventFilter {
public:
    CCloseFilter(QWidget* window, std::function<void()> onClose, xcb_atom_t protocols, xcb_atom_t deleteWindow)
        : m_window(window), m_onClose(std::move(onClose)), m_protocols(protocols), m_delete(deleteWindow)
    {
    }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override
    {
        if (type != "xcb_generic_event_t" || !m_window || !QApplication::activeModalWidget())
            return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7F) != XCB_CLIENT_MESSAGE)
            return false;
        const auto* client = static_cast<const xcb_client_message_event_t*>(message);
        if (client->type != m_protocols || client->data.data32[0] != m_delete
            || client->window != xcb_window_t(m_window->winId()))
            return false;
        m_onClose();
        return true;
    }

private:
    QPointer<QWidget> m_window;
    std::function<void()> m_onClose;
    xcb_atom_t m_protocols;
    xcb_atom_t m_delete;
};

} // namespace

void OnBlockedWindowManagerClose(QWidget* window, std::function<void()> onClose)
{
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection())
        return;
    xcb_connection_t* connection = x11->connection();
    auto* filter = new CCloseFilter(window, std::move(onClose), Atom(connection, "WM_PROTOCOLS"),
                                    Atom(connection, "WM_DELETE_WINDOW"));
    qApp->installNativeEventFilter(filter);
    QObject::connect(window, &QObject::destroyed, qApp, [filter] { delete filter; });
}

} // namespace nimbra
