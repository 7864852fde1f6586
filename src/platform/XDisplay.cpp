#include "platform/XDisplay.h"

#include <QCoreApplication>

#include <xcb/xcb.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace nimbra {

namespace {

// The value of Qt's option `name` ("-name VALUE" or "--name VALUE"); null
// when it is not given.
const char* QtOption(int argc, char** argv, const char* name)
{
    for (int i = 1; i + 1 < argc; ++i) {
        const char* arg = argv[i];
        if (arg[0] == '-' && arg[1] == '-')
            ++arg;
        if (arg[0] == '-' && std::strcmp(arg + 1, name) == 0)
            return argv[i + 1];
    }
    return nullptr;
}

bool IsSet(const char* name)
{
    const char* value = std::getenv(name);
    return value && *value;
}

std::string Reason(int error, int socketErrno)
{
    switch (error) {
    case XCB_CONN_ERROR:
        // A refused or missing socket, or a server that closed the
        // connection (one that refuses this client does so).
        return socketErrno ? std::string("接続できないか、サーバーに切断されました (") + std::strerror(socketErrno) + ")"
                           : "接続できないか、サーバーに切断されました";
    case XCB_CONN_CLOSED_PARSE_ERR:
        return "ディスプレイ名が正しくありません";
    case XCB_CONN_CLOSED_INVALID_SCREEN:
        return "ディスプレイにその画面がありません";
    case XCB_CONN_CLOSED_MEM_INSUFFICIENT:
        return "メモリが足りません";
    default:
        return "接続が切れました (xcb のエラー " + std::to_string(error) + ")";
    }
}

xcb_connection_t* g_held = nullptr;

void CloseHeld()
{
    xcb_disconnect(g_held);
    g_held = nullptr;
}

// An X server resets when its last client leaves, and closes every
// connection that comes in meanwhile: were this the only client, Qt's own
// connection a moment later would fall into that. So it stays open until
// the application object has connected.
void HoldUntilApplication(xcb_connection_t* connection)
{
    if (g_held)
        CloseHeld();
    else
        qAddPreRoutine(CloseHeld);
    g_held = connection;
}

} // namespace

bool RunsOnXDisplay(int argc, char** argv)
{
    if (QtOption(argc, argv, "platform"))
        return false;
    if (!IsSet("DISPLAY") && !QtOption(argc, argv, "display"))
        return false;
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (!platform || !*platform)
        return !IsSet("WAYLAND_DISPLAY");
    return std::strncmp(platform, "xcb", 3) == 0;
}

std::string ReachXDisplay(int argc, char** argv)
{
    const char* name = QtOption(argc, argv, "display");
    // A server that is resetting (its last client just left) or has a full
    // backlog refuses for a moment: some 3 s of tries in all.
    int error = 0;
    int socketErrno = 0;
    for (int delayMs = 50; delayMs <= 1600; delayMs *= 2) {
        errno = 0;
        xcb_connection_t* connection = xcb_connect(name, nullptr);
        error = xcb_connection_has_error(connection);
        socketErrno = errno;
        if (error == 0) {
            HoldUntilApplication(connection);
            return {};
        }
        xcb_disconnect(connection);
        if (error == XCB_CONN_CLOSED_PARSE_ERR || error == XCB_CONN_CLOSED_INVALID_SCREEN)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    }
    const char* shown = name ? name : std::getenv("DISPLAY");
    return std::string("X ディスプレイ \"") + (shown ? shown : "") + "\" に接続できません: " + Reason(error, socketErrno);
}

} // namespace nimbra
