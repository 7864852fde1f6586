#pragma once

#include "platform/Ipc.h"

// Messages about the bookmark file between the browser and the editor.
namespace nimbra::ipc {

enum : quint32 {
    // To the browser: rebuild the bookmark menu, tree and link bar.
    WM_USER_BOOKMARK_MENU_RELOAD = WM_USER + 0x20,
    // To the editor: the browser is closing, do not ask it to reload.
    WM_USER_BROWSER_CLOSING = WM_USER + 0x2F,
    // To the editor: the browser has rewritten the file.
    WM_USER_BOOKMARK_CHANGED = WM_USER + 0x30,
    // To the editor: the browser is about to rewrite the file.
    WM_USER_BOOKMARK_WILL_CHANGE = WM_USER + 0x31,
    // To the editor: BookmarkPath in the settings has changed.
    WM_USER_BOOKMARK_PATH_CHANGED = WM_USER + 0x32,
};

// Sends `id` to the editor of this data directory and waits until it has
// been handled; nothing happens when the editor does not run.
void SendToEditor(quint32 id);

} // namespace nimbra::ipc
