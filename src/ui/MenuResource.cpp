#include "ui/MenuResource.h"

#include "ui/CommandRouter.h"
#include "platform/Text.h"

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <charconv>
#include <cstdio>

namespace nimbra {

namespace {

constexpr int kIndentWidth = 4;

struct SToken {
    std::string text;
    bool quoted = false;
};

struct SParseFailure {
    std::string message;
};

// Splits a line into words and quoted strings; quoted strings know the
// escapes \t \n \" and \\.
std::vector<SToken> Tokenize(std::string_view line)
{
    std::vector<SToken> tokens;
    size_t pos = 0;
    while (pos < line.size()) {
        const char c = line[pos];
        if (c == ' ') {
            ++pos;
            continue;
        }
        if (c == '\t')
            throw SParseFailure{"tab character outside a quoted text"};
        SToken token;
        if (c == '"') {
            token.quoted = true;
            ++pos;
            bool closed = false;
            while (pos < line.size()) {
                const char d = line[pos++];
                if (d == '"') {
                    closed = true;
                    break;
                }
                if (d != '\\') {
                    token.text += d;
                    continue;
                }
                if (pos >= line.size())
                    break;
                switch (line[pos++]) {
                case 't': token.text += '\t'; break;
                case 'n': token.text += '\n'; break;
                case '"': token.text += '"'; break;
                case '\\': token.text += '\\'; break;
                default: throw SParseFailure{"unknown escape in quoted text"};
                }
            }
            if (!closed)
                throw SParseFailure{"unterminated quoted text"};
            if (pos < line.size() && line[pos] != ' ')
                throw SParseFailure{"missing blank after quoted text"};
        } else {
            while (pos < line.size() && line[pos] != ' ' && line[pos] != '"')
                token.text += line[pos++];
        }
        tokens.push_back(std::move(token));
    }
    return tokens;
}

int ParseId(const std::vector<SToken>& tokens, size_t index, const char* what)
{
    if (index >= tokens.size() || tokens[index].quoted)
        throw SParseFailure{std::string("missing ") + what};
    const std::string& text = tokens[index].text;
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < 1 || value > 0xFFFF)
        throw SParseFailure{std::string("bad ") + what + " \"" + text + "\""};
    return value;
}

const std::string& QuotedAt(const std::vector<SToken>& tokens, size_t index, const char* what)
{
    if (index >= tokens.size() || !tokens[index].quoted)
        throw SParseFailure{std::string("missing quoted ") + what};
    return tokens[index].text;
}

void CheckKey(const std::string& accel)
{
    if (!accel.empty() && ParseShortcut(accel).isEmpty())
        throw SParseFailure{"unknown key \"" + accel + "\""};
}

// The options after the fixed part of ITEM and COMMAND lines.
struct SOptions {
    std::string key;
    bool hasKey = false;
    bool noKey = false;
    std::string prompt;
};

SOptions ParseOptions(const std::vector<SToken>& tokens, size_t index, bool allowNoKey)
{
    SOptions options;
    while (index < tokens.size()) {
        const SToken& word = tokens[index];
        if (!word.quoted && word.text == "KEY" && !options.hasKey && !options.noKey) {
            options.key = Trim(QuotedAt(tokens, index + 1, "key"));
            options.hasKey = true;
            index += 2;
        } else if (!word.quoted && word.text == "NOKEY" && allowNoKey && !options.hasKey
                   && !options.noKey) {
            options.noKey = true;
            ++index;
        } else if (!word.quoted && word.text == "PROMPT" && options.prompt.empty()) {
            options.prompt = QuotedAt(tokens, index + 1, "prompt");
            index += 2;
        } else {
            throw SParseFailure{"unexpected \"" + word.text + "\""};
        }
    }
    return options;
}

int KeyFromName(std::string_view name)
{
    if (name.size() == 1) {
        const char c = name[0];
        if (c >= 'a' && c <= 'z')
            return Qt::Key_A + (c - 'a');
        if (c >= 'A' && c <= 'Z')
            return Qt::Key_A + (c - 'A');
        if (c >= '0' && c <= '9')
            return Qt::Key_0 + (c - '0');
        return 0;
    }
    if ((name[0] == 'F' || name[0] == 'f') && name.size() <= 3) {
        int number = 0;
        const auto [end, ec] = std::from_chars(name.data() + 1, name.data() + name.size(), number);
        if (ec == std::errc() && end == name.data() + name.size() && name[1] != '0'
            && number >= 1 && number <= 24)
            return Qt::Key_F1 + (number - 1);
        return 0;
    }
    static const struct {
        const char* name;
        int key;
    } kNames[] = {
        {"esc", Qt::Key_Escape},       {"escape", Qt::Key_Escape},
        {"enter", Qt::Key_Return},     {"return", Qt::Key_Return},
        {"tab", Qt::Key_Tab},          {"space", Qt::Key_Space},
        {"insert", Qt::Key_Insert},    {"ins", Qt::Key_Insert},
        {"delete", Qt::Key_Delete},    {"del", Qt::Key_Delete},
        {"backspace", Qt::Key_Backspace},
        {"home", Qt::Key_Home},        {"end", Qt::Key_End},
        {"pageup", Qt::Key_PageUp},    {"pagedown", Qt::Key_PageDown},
        {"left", Qt::Key_Left},        {"right", Qt::Key_Right},
        {"up", Qt::Key_Up},            {"down", Qt::Key_Down},
        {"\u2190", Qt::Key_Left},      {"\u2192", Qt::Key_Right},
        {"\u2191", Qt::Key_Up},        {"\u2193", Qt::Key_Down},
    };
    for (const auto& entry : kNames) {
        if (EqualsNoCase(name, entry.name))
            return entry.key;
    }
    return 0;
}

void ApplyPrompt(QAction* action, const std::string& prompt)
{
    if (prompt.empty() || !action->statusTip().isEmpty())
        return;
    const size_t newline = prompt.find('\n');
    action->setStatusTip(ToQ(prompt.substr(0, newline)));
    if (newline != std::string::npos)
        action->setToolTip(ToQ(prompt.substr(newline + 1)));
}

// The router's action for an item; an alias when the command already shows
// another text elsewhere.
QAction* CommandAction(const SMenuItem& item, CCommandRouter& router, QObject* owner)
{
    const QString text = ToQ(item.text);
    QAction* action = router.Action(item.id);
    if (action->text().isEmpty()) {
        action->setText(text);
    } else if (action->text() != text) {
        QAction* alias = router.AddAlias(item.id, text, owner);
        ApplyPrompt(alias, item.prompt);
        return alias;
    }
    if (!item.accel.empty() && action->shortcut().isEmpty())
        action->setShortcut(ParseShortcut(item.accel));
    ApplyPrompt(action, item.prompt);
    return action;
}

void FillMenu(QMenu* menu, const std::vector<SMenuItem>& items, CCommandRouter& router)
{
    for (const SMenuItem& item : items) {
        if (item.separator)
            menu->addSeparator();
        else if (item.IsPopup())
            menu->addMenu(BuildPopupMenu(item, router, menu));
        else
            menu->addAction(CommandAction(item, router, menu));
    }
}

QMenu* PopupAt(const QList<QAction*>& actions, std::initializer_list<int> path)
{
    const QList<QAction*>* level = &actions;
    QMenu* menu = nullptr;
    QList<QAction*> children;
    for (int position : path) {
        if (position < 0 || position >= level->size())
            return nullptr;
        menu = level->at(position)->menu();
        if (!menu)
            return nullptr;
        children = menu->actions();
        level = &children;
    }
    return menu;
}

QAction* CommandIn(const QList<QAction*>& actions, int id)
{
    for (QAction* action : actions) {
        if (QMenu* sub = action->menu()) {
            if (QAction* found = CommandIn(sub->actions(), id))
                return found;
        } else if (CCommandRouter::IdOf(action) == id) {
            return action;
        }
    }
    return nullptr;
}

} // namespace

bool CMenuResource::Parse(std::string_view text)
{
    std::vector<SMenu> menus;
    std::vector<SCommandInfo> commands;
    // The item lists that entries of each indentation level go into.
    std::vector<std::vector<SMenuItem>*> open;
    bool accelMenu = false;
    int lineNumber = 0;

    try {
        size_t start = 0;
        while (start <= text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string_view::npos)
                end = text.size();
            std::string_view line = text.substr(start, end - start);
            start = end + 1;
            ++lineNumber;
            if (!line.empty() && line.back() == '\r')
                line.remove_suffix(1);

            size_t indent = 0;
            while (indent < line.size() && line[indent] == ' ')
                ++indent;
            if (indent == line.size() || line[indent] == '#')
                continue;
            if (line[indent] == '\t')
                throw SParseFailure{"tab in indentation"};
            if (indent % kIndentWidth != 0)
                throw SParseFailure{"indentation is not a multiple of four blanks"};
            const size_t level = indent / kIndentWidth;
            const std::vector<SToken> tokens = Tokenize(line.substr(indent));
            const std::string& keyword = tokens[0].text;
            if (tokens[0].quoted)
                throw SParseFailure{"line starts with a quoted text"};

            if (level == 0) {
                open.clear();
                if (keyword == "MENU") {
                    if (tokens.size() < 3 || tokens[1].quoted)
                        throw SParseFailure{"MENU needs a name and a resource id"};
                    SMenu menu;
                    menu.name = tokens[1].text;
                    menu.resourceId = ParseId(tokens, 2, "resource id");
                    accelMenu = tokens.size() == 4 && !tokens[3].quoted && tokens[3].text == "ACCEL";
                    if (tokens.size() > 4 || (tokens.size() == 4 && !accelMenu))
                        throw SParseFailure{"unexpected \"" + tokens.back().text + "\""};
                    for (const SMenu& other : menus) {
                        if (other.name == menu.name || other.resourceId == menu.resourceId)
                            throw SParseFailure{"menu " + menu.name + " defined twice"};
                    }
                    menus.push_back(std::move(menu));
                    open.push_back(&menus.back().items);
                } else if (keyword == "COMMAND") {
                    SCommandInfo info;
                    info.id = ParseId(tokens, 1, "command id");
                    const SOptions options = ParseOptions(tokens, 2, false);
                    CheckKey(options.key);
                    info.accel = options.key;
                    info.prompt = options.prompt;
                    for (const SCommandInfo& other : commands) {
                        if (other.id == info.id)
                            throw SParseFailure{"command " + std::to_string(info.id) + " listed twice"};
                    }
                    commands.push_back(std::move(info));
                } else {
                    throw SParseFailure{"expected MENU or COMMAND, found \"" + keyword + "\""};
                }
                continue;
            }

            if (open.empty())
                throw SParseFailure{"indented line outside a MENU"};
            if (level > open.size())
                throw SParseFailure{"indented deeper than the enclosing POPUP"};
            open.resize(level);
            std::vector<SMenuItem>& items = *open.back();

            SMenuItem item;
            if (keyword == "SEPARATOR") {
                if (tokens.size() != 1)
                    throw SParseFailure{"SEPARATOR takes nothing"};
                item.separator = true;
                items.push_back(std::move(item));
            } else if (keyword == "POPUP") {
                item.text = QuotedAt(tokens, 1, "popup text");
                if (tokens.size() != 2)
                    throw SParseFailure{"unexpected \"" + tokens[2].text + "\""};
                if (item.text.empty())
                    throw SParseFailure{"empty popup text"};
                items.push_back(std::move(item));
                open.push_back(&items.back().children);
            } else if (keyword == "ITEM") {
                item.id = ParseId(tokens, 1, "command id");
                item.text = QuotedAt(tokens, 2, "item text");
                if (item.text.empty())
                    throw SParseFailure{"empty item text"};
                const SOptions options = ParseOptions(tokens, 3, true);
                const size_t tab = item.text.find('\t');
                if (options.hasKey)
                    item.accel = options.key;
                else if (accelMenu && !options.noKey && tab != std::string::npos)
                    item.accel = Trim(std::string_view(item.text).substr(tab + 1));
                CheckKey(item.accel);
                item.prompt = options.prompt;
                items.push_back(std::move(item));
            } else {
                throw SParseFailure{"expected POPUP, ITEM or SEPARATOR, found \"" + keyword + "\""};
            }
        }
    } catch (const SParseFailure& failure) {
        m_menus.clear();
        m_commands.clear();
        m_errorLine = lineNumber;
        m_error = failure.message;
        return false;
    }
    m_menus = std::move(menus);
    m_commands = std::move(commands);
    m_errorLine = 0;
    m_error.clear();
    return true;
}

bool CMenuResource::Load(const std::string& path)
{
    QFile file(ToQ(path));
    if (!file.open(QIODevice::ReadOnly)) {
        m_menus.clear();
        m_commands.clear();
        m_errorLine = 0;
        m_error = "cannot read " + path;
        return false;
    }
    const QByteArray data = file.readAll();
    return Parse(std::string_view(data.constData(), size_t(data.size())));
}

const CMenuResource& CMenuResource::Builtin()
{
    static const CMenuResource resource = [] {
        CMenuResource r;
        if (!r.Load(":/menus.txt"))
            std::fprintf(stderr, "menus.txt:%d: %s\n", r.ErrorLine(), r.Error().c_str());
        return r;
    }();
    return resource;
}

const SMenu* CMenuResource::FindMenu(std::string_view name) const
{
    for (const SMenu& menu : m_menus) {
        if (menu.name == name)
            return &menu;
    }
    return nullptr;
}

const SMenu* CMenuResource::FindMenu(int resourceId) const
{
    for (const SMenu& menu : m_menus) {
        if (menu.resourceId == resourceId)
            return &menu;
    }
    return nullptr;
}

QKeySequence ParseShortcut(std::string_view text)
{
    Qt::KeyboardModifiers modifiers;
    int key = 0;
    size_t start = 0;
    while (start <= text.size()) {
        size_t plus = text.find('+', start);
        if (plus == std::string_view::npos)
            plus = text.size();
        const std::string part = Trim(text.substr(start, plus - start));
        start = plus + 1;
        if (key != 0 || part.empty())
            return {};
        if (EqualsNoCase(part, "ctrl"))
            modifiers |= Qt::ControlModifier;
        else if (EqualsNoCase(part, "shift"))
            modifiers |= Qt::ShiftModifier;
        else if (EqualsNoCase(part, "alt"))
            modifiers |= Qt::AltModifier;
        else if (!(key = KeyFromName(part)))
            return {};
    }
    if (key == 0)
        return {};
    return QKeySequence(QKeyCombination(modifiers, Qt::Key(key)));
}

QMenuBar* BuildMenuBar(const SMenu& menu, CCommandRouter& router, QWidget* parent)
{
    auto* bar = new QMenuBar(parent);
    for (const SMenuItem& item : menu.items) {
        if (item.separator)
            bar->addSeparator();
        else if (item.IsPopup())
            bar->addMenu(BuildPopupMenu(item, router, bar));
        else
            bar->addAction(CommandAction(item, router, bar));
    }
    return bar;
}

QMenu* BuildPopupMenu(const SMenuItem& popup, CCommandRouter& router, QWidget* parent)
{
    auto* menu = new QMenu(ToQ(popup.text), parent);
    FillMenu(menu, popup.children, router);
    router.WatchMenu(menu);
    return menu;
}

void ApplyCommandInfo(const std::vector<SCommandInfo>& commands, CCommandRouter& router)
{
    for (const SCommandInfo& info : commands) {
        QAction* action = router.Action(info.id);
        if (!info.accel.empty() && action->shortcut().isEmpty())
            action->setShortcut(ParseShortcut(info.accel));
        ApplyPrompt(action, info.prompt);
    }
}

QMenu* FindPopup(const QMenuBar* bar, std::initializer_list<int> path)
{
    return PopupAt(bar->actions(), path);
}

QMenu* FindPopup(const QMenu* menu, std::initializer_list<int> path)
{
    return PopupAt(menu->actions(), path);
}

QAction* FindCommand(const QMenuBar* bar, int id)
{
    return CommandIn(bar->actions(), id);
}

QAction* FindCommand(const QMenu* menu, int id)
{
    return CommandIn(menu->actions(), id);
}

} // namespace nimbra
