#pragma once

#include <QtGlobal>

namespace nimbra::editor {

// Command identifiers of the editor's menus (res/menus.txt, BKEDITOR and
// BKLIST). They overlap the browser's ids: each program has its own router.
enum EEditorCommand : int {
    ID_BK_NEW_BOOKMARK = 32771,
    ID_BK_NEW_SEPARATOR = 32772,
    ID_BK_NEW_FOLDER = 32773,
    ID_BK_DELETE = 32774,
    ID_BK_SAVE = 32775,
    ID_BK_OPEN = 32776,
    ID_BK_SELECT_ALL = 32777,
    ID_BK_CONVERT_FAVORITES = 32778,
    ID_BK_CONVERT_NETSCAPE = 32779,
    ID_BK_SHOW_BROWSER = 32780,
    ID_BK_DBLCLK_NAVI = 32781,
    ID_BK_NEXT_FOLDER = 32782,
    ID_BK_PREVIOUS_FOLDER = 32783,
    ID_BK_PARENT_FOLDER = 32784, // list context menu
    ID_BK_REGISTRY_CLEANUP = 32785,
    ID_BK_ADD_FAVORITES = 32786,
    ID_BK_ADD_NETSCAPE = 32787,
    ID_BK_CHILD_FOLDER = 32788, // list context menu
    ID_BK_ADD_FILE = 32789,
    ID_BK_ADD_LIST_FILE = 32790,
    ID_BK_SAVE_LIST_FILE = 32791,
    ID_BK_START_OPEN_TREE = 32792,
    ID_BK_EXPAND_ALL = 32793,
    ID_BK_COLLAPSE_ALL = 32794,
    ID_BK_DELETE_CHECK = 32795,
    ID_BK_EXPORT_NETSCAPE = 32796,
    ID_BK_FAVORITES_AUTO_SEARCH = 32798,
    ID_BK_NAVI_SHELL = 32799,
    ID_BK_SORT_LIST = 32800,
    ID_BK_DROP_SEL_FOLDER = 32801,
    ID_BK_EXPORT_FAVORITES = 32802,
    ID_BK_FIND = 32803,
    ID_BK_FIND_NEXT = 32804,
    ID_BK_COPY = 32805,
    ID_BK_PASTE = 32806,
    ID_BK_CUT = 32807,
    ID_BK_SORT_PRIORITY_FOLDER = 32808,
    ID_BK_UNDO = 57643,
    ID_BK_ABOUT = 57664,
    ID_BK_EXIT = 57665,
    ID_BK_STATUS_BAR = 59393,
    ID_BK_EDIT_TITLE = 61205,
    ID_BK_EDIT_URL = 61206,
    ID_BK_SAVE_AS = 61207,
    ID_BK_EXIT_WITHOUT_SAVE = 61208,
    ID_BK_NAVIGATE = 61210,
};

// A menu command posted by another program: the tag is the command id.
inline constexpr quint32 WM_COMMAND = 0x0111;

} // namespace nimbra::editor
