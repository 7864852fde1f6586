#pragma once

#include <QKeySequence>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

class QAction;
class QMenu;
class QMenuBar;
class QWidget;

namespace nimbra {

class CCommandRouter;

// One entry of a menu: a command (id != 0), a submenu (id 0, children) or a
// separator. `text` holds the label with its "&" mark and, after a tab, the
// shortcut text; `accel` is the key of the command ("Ctrl+W"), empty when the
// shortcut text is only shown; `prompt` is "status text\ntool tip".
struct SMenuItem {
    int id = 0;
    std::string text;
    std::string accel;
    std::string prompt;
    std::vector<SMenuItem> children;
    bool separator = false;

    bool IsPopup() const { return !separator && id == 0; }
};

// A menu resource: the menu bar of a window or a set of context popups.
struct SMenu {
    std::string name;
    int resourceId = 0;
    std::vector<SMenuItem> items;
};

// A command that has a key or a prompt but no menu item.
struct SCommandInfo {
    int id = 0;
    std::string accel;
    std::string prompt;
};

// The menu table of res/menus.txt (its format is described at the top of
// that file).
class CMenuResource {
public:
    // Parses a whole table. On a malformed line nothing is kept and
    // ErrorLine/Error tell where and why.
    bool Parse(std::string_view text);
    // Reads and parses a file or a Qt resource (":/menus.txt").
    bool Load(const std::string& path);

    // The table built into the program, parsed once.
    static const CMenuResource& Builtin();

    int ErrorLine() const { return m_errorLine; }
    const std::string& Error() const { return m_error; }

    const std::vector<SMenu>& Menus() const { return m_menus; }
    const SMenu* FindMenu(std::string_view name) const;
    const SMenu* FindMenu(int resourceId) const;
    const std::vector<SCommandInfo>& Commands() const { return m_commands; }

private:
    std::vector<SMenu> m_menus;
    std::vector<SCommandInfo> m_commands;
    int m_errorLine = 0;
    std::string m_error;
};

// A shortcut text as the menus write it ("Ctrl+Shift+W", "Shift+ESC",
// "F12", "Ctrl+↑") as a key sequence; empty when it is not one.
QKeySequence ParseShortcut(std::string_view text);

// Builds menus whose commands are the router's actions. Every built menu
// updates its actions when it is about to show.
QMenuBar* BuildMenuBar(const SMenu& menu, CCommandRouter& router, QWidget* parent = nullptr);
QMenu* BuildPopupMenu(const SMenuItem& popup, CCommandRouter& router, QWidget* parent = nullptr);
// Gives the commands without menu items their keys and prompts.
void ApplyCommandInfo(const std::vector<SCommandInfo>& commands, CCommandRouter& router);

// The submenu at the given positions (separators count), nullptr when a
// position is missing or not a submenu.
QMenu* FindPopup(const QMenuBar* bar, std::initializer_list<int> path);
QMenu* FindPopup(const QMenu* menu, std::initializer_list<int> path);
// The first action with the command id, searched through all submenus.
QAction* FindCommand(const QMenuBar* bar, int id);
QAction* FindCommand(const QMenu* menu, int id);

} // namespace nimbra
