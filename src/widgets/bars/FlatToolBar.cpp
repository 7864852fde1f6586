#include "widgets/bars/FlatToolBar.h"

#include "data/settings/Settings.h"
#include "widgets/bars/ToolBarCustomizeDlg.h"
#include "ui/CommandIds.h"
#include "ui/CommandRouter.h"
#include "ui/MenuResource.h"
#include "platform/Ini.h"
#include "platform/Text.h"

#include <QActionEvent>
#include <QApplication>
#include <QHelpEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QStyleOption>
#include <QTimer>
#include <QToolTip>
#include <algorithm>
#include <map>

namespace nimbra {

namespace {

// How often the buttons take their commands' state while shown, as a
// frame's idle update would.
constexpr int kRefreshMs = 250;

// The prompts of the menu table ("status text\ntool tip") by command id.
const std::map<int, std::string>& Prompts()
{
    static const std::map<int, std::string> prompts = [] {
        std::map<int, std::string> map;
        const CMenuResource& resource = CMenuResource::Builtin();
        std::function<void(const std::vector<SMenuItem>&)> walk = [&](const std::vector<SMenuItem>& items) {
            for (const SMenuItem& item : items) {
                if (item.id != 0 && !item.prompt.empty())
                    map.emplace(item.id, item.prompt);
                walk(item.children);
            }
        };
        for (const SMenu& menu : resource.Menus())
            walk(menu.items);
        for (const SCommandInfo& info : resource.Commands()) {
            if (!info.prompt.empty())
                map.emplace(info.id, info.prompt);
        }
        return map;
    }();
    return prompts;
}

} // namespace

const std::vector<SToolButtonInfo>& ToolBarTable()
{
    static const std::vector<SToolButtonInfo> table = {
        {ID_BACK, 0, "戻る"},
        {ID_FORWARD, 1, "進む"},
        {ID_STOP, 2, "中止"},
        {ID_STOP_ALL, 3, "すべて中止"},
        {ID_REFRESH, 4, "更新"},
        {ID_REFRESH_ALL, 5, "すべて更新"},
        {ID_HOME, 6, "ホーム"},
        {kToolSeparator, -1, ""},
        {ID_FILE_NEW, 7, "新しいタブ"},
        {ID_NEW_FROM_CLIPBOARD, 8, "クリップボードから開く"},
        {ID_OPEN, 9, "開く"},
        {kToolSeparator, -1, ""},
        {ID_NEXT_TAB, 10, "次のタブ"},
        {ID_PREVIOUS_TAB, 11, "前のタブ"},
        {ID_TAB_MANAGER, 12, "タブ マネージャー"},
        {kToolSeparator, -1, ""},
        {ID_TEXT_SIZE_BUTTON, 13, "サイズ"},
        {ID_PRINT, 14, "印刷"},
        {ID_FULL_SCREEN, 15, "全画面"},
        {kToolSeparator, -1, ""},
        {ID_FILE_CLOSE, 16, "閉じる"},
        {ID_CLOSE_ALL, 17, "すべて閉じる"},
        {kToolSeparator, -1, ""},
        {ID_SAVE_AS, 18, "名前をつけて保存"},
        {ID_NIMBRA_BAR, 19, "ニンブラ バーの表示/非表示"},
        {ID_PROXY_BUTTON, 20, "プロキシの設定"},
        {ID_URL_EXTRACT, 21, "URLの抽出"},
        {ID_BOOKMARK_BUTTON, 22, "ブックマーク"},
        {kToolSeparator, -1, ""},
        {ID_DL_IMAGES, 23, "画像のダウンロード"},
        {ID_DL_SOUNDS, 24, "サウンドのダウンロード"},
        {ID_DL_VIDEOS, 25, "ビデオのダウンロード"},
        {kToolSeparator, -1, ""},
        {ID_RUN_JAVA, 26, "Javaの実行"},
        {ID_RUN_SCRIPTS, 27, "スクリプトの実行"},
        {ID_RUN_ACTIVEX, 28, "ActiveXの実行"},
        {ID_DL_ACTIVEX, 29, "ActiveXのダウンロード"},
        {ID_COOKIES, 30, "クッキー"},
        // The menu's name of the command.
        {ID_SESSION_COOKIES, 31, "セッションごとのクッキー"},
        {ID_NB_BOOKMARK, 32, "ニンブラ バーのブックマーク表示切り替え"},
        {ID_NB_HISTORY, 33, "ニンブラ バーの履歴表示切り替え"},
        {ID_NB_HISTORY_SEARCH, 34, "ニンブラ バーの履歴検索表示切り替え"},
        {ID_NB_WEB_SEARCH, 35, "ニンブラ バーのWeb検索表示切り替え"},
        {kToolSeparator, -1, ""},
        {ID_LOCK_ACTIVE, 36, "ナビゲートロック"},
        {ID_INVERT_MULTIMEDIA, 37, "マルチメディアの反転"},
        {ID_INVERT_SECURITY, 38, "セキュリティの反転"},
        {ID_INVERT_COOKIES, 39, "クッキーの反転"},
        {kToolSeparator, -1, ""},
        {ID_SOURCE, 40, "ソース"},
        {ID_SECURITY_LEVEL, 41, "セキュリティ指定"},
        {ID_THIRD_PARTY_COOKIES, 42, "サードパーティのクッキー"},
    };
    return table;
}

const SToolButtonInfo* FindToolButton(int id)
{
    if (id == kToolSeparator)
        return nullptr;
    const auto& table = ToolBarTable();
    const auto it = std::find_if(table.begin(), table.end(), [id](const SToolButtonInfo& b) { return b.id == id; });
    return it == table.end() ? nullptr : &*it;
}

std::vector<int> DefaultToolLayout()
{
    std::vector<int> layout;
    for (const SToolButtonInfo& info : ToolBarTable())
        layout.push_back(info.id);
    return layout;
}

std::vector<int> ReadToolLayout(const CSettings& settings)
{
    const SKeyRef countKey = KeyRef(EKey::ButtonCount);
    const CIniSnapshot ini(settings.path());
    const int count = ini.GetInt(countKey.section, countKey.key, countKey.info.intDefault);
    if (count < 0)
        return DefaultToolLayout();
    std::vector<int> layout;
    for (int i = 0; i < std::min(count, kMaxToolPositions); ++i) {
        const SKeyRef key = ToolButtonKey(i);
        const int id = ini.GetInt(key.section, key.key, key.info.intDefault);
        if (id == kToolSeparator || FindToolButton(id))
            layout.push_back(id);
    }
    return layout;
}

void WriteToolLayout(CSettings& settings, const std::vector<int>& layout)
{
    // One rewrite of the file for the whole layout.
    std::vector<SIniEdit> edits;
    const SKeyRef count = KeyRef(EKey::ButtonCount);
    edits.push_back({count.section, count.key, std::to_string(layout.size())});
    for (size_t i = 0; i < layout.size(); ++i) {
        const SKeyRef key = ToolButtonKey(int(i));
        edits.push_back({key.section, key.key, std::to_string(layout[i])});
    }
    WriteIniValues(settings.path(), edits);
}

// --- CToolBarButton ---------------------------------------------------------

CToolBarButton::CToolBarButton(const SToolButtonInfo& info, QAction* action, const QIcon& icon, const QString& tip,
                               QWidget* parent)
    : QToolButton(parent), m_nId(info.id), m_icon(icon), m_strTip(tip)
{
    setObjectName(QString::number(info.id));
    setAutoRaise(true);
    setFocusPolicy(Qt::NoFocus);
    setToolButtonStyle(Qt::ToolButtonIconOnly);
    setDefaultAction(action);
    setIcon(m_icon);
}

void CToolBarButton::SetDropDown(std::function<void()> handler)
{
    m_dropDown = std::move(handler);
    // The arrow is drawn for a button with a menu; the handler shows the
    // real one.
    if (!menu())
        setMenu(new QMenu(this));
    setPopupMode(QToolButton::MenuButtonPopup);
}

bool CToolBarButton::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), m_strTip, this);
        return true;
    }
    return QToolButton::event(event);
}

void CToolBarButton::actionEvent(QActionEvent* event)
{
    QToolButton::actionEvent(event);
    // The action carries no picture; the button keeps the toolbar's.
    if (event->type() == QEvent::ActionChanged)
        setIcon(m_icon);
}

void CToolBarButton::mousePressEvent(QMouseEvent* event)
{
    if (m_dropDown && event->button() == Qt::LeftButton && isEnabled()) {
        QStyleOptionToolButton option;
        initStyleOption(&option);
        const QRect arrow = style()->subControlRect(QStyle::CC_ToolButton, &option, QStyle::SC_ToolButtonMenu, this);
        if (arrow.contains(event->position().toPoint())) {
            m_dropDown();
            return;
        }
    }
    QToolButton::mousePressEvent(event);
}

// --- CFlatToolBar -----------------------------------------------------------

bool CFlatToolBar::IsDropDownId(int id)
{
    return id == ID_BACK || id == ID_FORWARD || id == ID_FILE_NEW || id == ID_SECURITY_LEVEL;
}

CFlatToolBar::CFlatToolBar(CCommandRouter& router, CSettings& settings, bool big, const std::vector<int>& layout,
                           QWidget* parent)
    : QWidget(parent), m_router(router), m_settings(settings), m_pImages(std::make_unique<CToolBarImages>(big)),
      m_pOverflow(new QToolButton(this)), m_pRefresh(new QTimer(this))
{
    setObjectName(QStringLiteral("FlatToolBar"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_pOverflow->setObjectName(QString::number(kOverflowButtonId));
    m_pOverflow->setAutoRaise(true);
    m_pOverflow->setFocusPolicy(Qt::NoFocus);
    m_pOverflow->setText(QStringLiteral("»"));
    m_pOverflow->hide();
    connect(m_pOverflow, &QToolButton::clicked, this, [this] {
        ShowOverflowMenu(m_pOverflow->mapToGlobal(QPoint(0, m_pOverflow->height())), true);
    });
    m_pRefresh->setInterval(kRefreshMs);
    connect(m_pRefresh, &QTimer::timeout, this, &CFlatToolBar::RefreshStates);
    SetLayout(layout);
}

CFlatToolBar::~CFlatToolBar()
{
    SaveLayout();
}

void CFlatToolBar::LoadLayout()
{
    SetLayout(ReadToolLayout(m_settings));
}

void CFlatToolBar::SaveLayout() const
{
    // Nothing to write when the file already holds this layout.
    if (ReadToolLayout(m_settings) != m_layout)
        WriteToolLayout(m_settings, m_layout);
}

void CFlatToolBar::SetLayout(const std::vector<int>& layout)
{
    m_layout.clear();
    for (int id : layout) {
        if (id == kToolSeparator || FindToolButton(id))
            m_layout.push_back(id);
    }
    Rebuild();
}

QString CFlatToolBar::TipOf(const SToolButtonInfo& info) const
{
    const auto it = Prompts().find(info.id);
    if (it != Prompts().end()) {
        const size_t newline = it->second.find('\n');
        if (newline != std::string::npos)
            return ToQ(it->second.substr(newline + 1));
    }
    return QString::fromUtf8(info.text);
}

void CFlatToolBar::Rebuild()
{
    // The old buttons may be inside their own events.
    for (CToolBarButton* button : m_buttons) {
        if (button) {
            button->hide();
            button->deleteLater();
        }
    }
    m_buttons.clear();
    const int size = m_pImages->Size();
    for (int id : m_layout) {
        const SToolButtonInfo* info = FindToolButton(id);
        if (!info) {
            m_buttons.push_back(nullptr);
            continue;
        }
        auto* button = new CToolBarButton(*info, m_router.Action(id), m_pImages->Icon(info->image), TipOf(*info), this);
        button->setIconSize(QSize(size, size));
        if (IsDropDownId(id)) {
            button->SetDropDown([this, button] {
                if (m_dropDown)
                    m_dropDown(button->Id(), QRect(button->mapToGlobal(QPoint(0, 0)), button->size()));
            });
        }
        m_router.Update(id);
        button->show();
        m_buttons.push_back(button);
    }
    m_pOverflow->raise();
    PlaceButtons();
    // The container (and so the frame) lays itself out again.
    updateGeometry();
}

void CFlatToolBar::PlaceButtons()
{
    QSize plain(0, 0);
    for (CToolBarButton* button : m_buttons) {
        if (button && !button->HasDropDown())
            plain = button->sizeHint();
    }
    if (plain.isEmpty()) {
        const int size = m_pImages->Size();
        plain = QSize(size + 7, size + 6);
    }
    m_buttonSize = plain;
    m_x.clear();
    int x = 0;
    for (CToolBarButton* button : m_buttons) {
        m_x.push_back(x);
        if (!button) {
            x += kToolSeparatorWidth;
            continue;
        }
        const int width = button->HasDropDown() ? button->sizeHint().width() : plain.width();
        button->setGeometry(x, 0, width, plain.height());
        x += width;
    }
    m_x.push_back(x);
    UpdateOverflow();
    update();
}

QSize CFlatToolBar::sizeHint() const
{
    const int height = m_buttonSize.isEmpty() ? m_pImages->Size() + 6 : m_buttonSize.height();
    return {m_x.empty() ? 0 : m_x.back(), height};
}

QSize CFlatToolBar::minimumSizeHint() const
{
    return {kOverflowWidth, sizeHint().height()};
}

std::vector<int> CFlatToolBar::HiddenPositions() const
{
    std::vector<int> hidden;
    for (size_t i = 0; i < m_layout.size(); ++i) {
        // A separator goes with the buttons around it.
        const int centre = (m_x[i] + m_x[i + 1]) / 2;
        if (centre > width())
            hidden.push_back(int(i));
    }
    return hidden;
}

void CFlatToolBar::UpdateOverflow()
{
    const std::vector<int> hidden = HiddenPositions();
    const bool any = std::any_of(hidden.begin(), hidden.end(), [this](int i) { return m_buttons[size_t(i)]; });
    if (!isVisible() || !any) {
        m_pOverflow->hide();
        return;
    }
    m_pOverflow->setGeometry(width() - 11, 2, kOverflowWidth, height() - 2);
    m_pOverflow->show();
    m_pOverflow->raise();
}

CToolBarButton* CFlatToolBar::ButtonAt(int position) const
{
    return position >= 0 && size_t(position) < m_buttons.size() ? m_buttons[size_t(position)] : nullptr;
}

CToolBarButton* CFlatToolBar::FindButton(int id) const
{
    for (CToolBarButton* button : m_buttons) {
        if (button && button->Id() == id)
            return button;
    }
    return nullptr;
}

QMenu* CFlatToolBar::CreateOverflowMenu(QWidget* parent) const
{
    auto* menu = new QMenu(parent);
    for (int position : HiddenPositions()) {
        const int id = m_layout[size_t(position)];
        const SToolButtonInfo* info = FindToolButton(id);
        if (!info) {
            menu->addSeparator();
            continue;
        }
        QAction* item = menu->addAction(m_pImages->Icon(info->image), QString::fromUtf8(info->text));
        item->setProperty("commandId", id);
        const SCmdUI ui = m_router.Query(id);
        item->setEnabled(ui.enabled);
        if (ui.checked) {
            item->setCheckable(true);
            item->setChecked(*ui.checked);
        }
        CCommandRouter* router = &m_router;
        connect(item, &QAction::triggered, router, [router, id] { router->Execute(id); });
    }
    return menu;
}

void CFlatToolBar::ShowOverflowMenu(const QPoint& at, bool pressOverflow)
{
    QMenu* menu = CreateOverflowMenu(window());
    if (menu->isEmpty()) {
        delete menu;
        return;
    }
    if (pressOverflow)
        m_pOverflow->setDown(true);
    QPointer<QToolButton> overflow(m_pOverflow);
    connect(menu, &QMenu::aboutToHide, menu, [menu, overflow, pressOverflow] {
        if (overflow && pressOverflow)
            overflow->setDown(false);
        menu->deleteLater();
    });
    menu->popup(at);
}

void CFlatToolBar::ShowHiddenItems(const QRect& chevron)
{
    ShowOverflowMenu(chevron.bottomLeft() + QPoint(0, 1), false);
}

void CFlatToolBar::Customize()
{
    if (findChild<CToolBarCustomizeDlg*>())
        return;
    auto* dialog = new CToolBarCustomizeDlg(*this, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::finished, this, [this] { SaveLayout(); });
    dialog->open();
}

void CFlatToolBar::RefreshStates()
{
    for (CToolBarButton* button : m_buttons) {
        if (button)
            m_router.Update(button->Id());
    }
}

void CFlatToolBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QPalette& pal = palette();
    for (size_t i = 0; i < m_buttons.size(); ++i) {
        if (m_buttons[i])
            continue;
        const int x = m_x[i] + kToolSeparatorWidth / 2 - 1;
        painter.setPen(pal.color(QPalette::Mid));
        painter.drawLine(x, 2, x, height() - 3);
        painter.setPen(pal.color(QPalette::Light));
        painter.drawLine(x + 1, 2, x + 1, height() - 3);
    }
}

void CFlatToolBar::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    UpdateOverflow();
}

void CFlatToolBar::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    RefreshStates();
    m_pRefresh->start();
    UpdateOverflow();
}

void CFlatToolBar::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    m_pRefresh->stop();
}

} // namespace nimbra
