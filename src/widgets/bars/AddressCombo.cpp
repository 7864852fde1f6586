#include "widgets/bars/AddressCombo.h"

#include "data/settings/Settings.h"
#include "platform/HistoryDb.h"
#include "platform/ImageStrip.h"
#include "platform/Paths.h"
#include "platform/PrivateFolder.h"
#include "platform/Shortcut.h"
#include "platform/Text.h"
#include "data/session/ListFile.h"
#include "widgets/view/NimbraView.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCompleter>
#include <QDrag>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QStringListModel>
#include <QStyle>
#include <QTimer>
#include <QUrl>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <unordered_set>

namespace nimbra {

namespace {

constexpr int kMaxUrl = 2084;
constexpr int kDropListHeight = 220;
constexpr int kIconUrl = 2;
constexpr int kIconEmpty = 3;
constexpr size_t kMaxCompletions = 30;
constexpr char kViewSource[] = "view-source:";

// Text without one trailing "/" or "\".
std::string_view WithoutTrailingSlash(std::string_view text)
{
    if (!text.empty() && (text.back() == '/' || text.back() == '\\'))
        text.remove_suffix(1);
    return text;
}

std::string WithAlt(std::string text, Qt::KeyboardModifiers modifiers)
{
    if (modifiers & Qt::AltModifier)
        text.insert(0, kViewSource);
    return text;
}

bool IsLocalFileDrop(const QMimeData* data)
{
    if (!data->hasUrls() || data->urls().isEmpty())
        return false;
    const QList<QUrl> urls = data->urls();
    return std::all_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); });
}

} // namespace

std::vector<std::string> CompletionKeys(std::string_view url)
{
    std::vector<std::string> keys;
    std::string lower = ToLowerAscii(url);
    const size_t scheme = lower.find("://");
    if (scheme != std::string::npos) {
        std::string rest = lower.substr(scheme + 3);
        if (rest.starts_with("www."))
            keys.push_back(rest.substr(4));
        keys.push_back(std::move(rest));
    }
    keys.push_back(std::move(lower));
    return keys;
}

CUrlCompletionIndex::CUrlCompletionIndex(std::vector<std::string> urls) : m_urls(std::move(urls))
{
    m_keys.reserve(m_urls.size() * 2);
    for (unsigned i = 0; i < m_urls.size(); ++i)
        for (std::string& key : CompletionKeys(m_urls[i]))
            m_keys.emplace_back(std::move(key), i);
    std::sort(m_keys.begin(), m_keys.end());
}

std::vector<std::string> CUrlCompletionIndex::Match(std::string_view typed, size_t limit) const
{
    const std::string prefix = ToLowerAscii(typed);
    std::vector<std::string> result;
    std::unordered_set<unsigned> seen;
    auto it = std::lower_bound(m_keys.begin(), m_keys.end(), prefix,
                               [](const auto& entry, const std::string& p) { return entry.first < p; });
    for (; it != m_keys.end() && it->first.starts_with(prefix) && result.size() < limit; ++it)
        if (seen.insert(it->second).second)
            result.push_back(m_urls[it->second]);
    return result;
}

std::string ShortcutFileName(const std::string& title)
{
    std::string name;
    for (char c : title) {
        if (std::string_view("\"\\:,;*?<>|").find(c) != std::string_view::npos)
            continue;
        name += c == '/' ? '-' : c;
    }
    name = CutText(name, 100);
    return name.empty() ? "新しいアイテム" : name;
}

std::string GoButtonTip(const std::string& text)
{
    if (text.empty())
        return {};
    return CutText("\"" + CutText(text, 64) + "\" へ移動", 80);
}

CAddressCombo::CAddressCombo(std::unique_ptr<IAddressHost> host, QWidget* parent)
    : QComboBox(parent), m_host(std::move(host))
{
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setMaxVisibleItems(std::max(1, kDropListHeight / std::max(1, fontMetrics().height() + 2)));
    setAcceptDrops(true);
    // The combo's own inline completion over its items is not wanted; the
    // completer below replaces it when AutoComplete is on.
    setCompleter(nullptr);
    QLineEdit* edit = lineEdit();
    edit->setMaxLength(kMaxUrl);
    edit->setAcceptDrops(false);
    edit->installEventFilter(this);
    installEventFilter(this);
    view()->installEventFilter(this);

    m_icons = LoadImageStrip(ResourceFile("bk.bmp"), QStringLiteral(":/bk.bmp"), kIconEmpty + 1);
    m_pIconAction = new QAction(this);
    edit->addAction(m_pIconAction, QLineEdit::LeadingPosition);
    for (QObject* object : m_pIconAction->associatedObjects())
        if (object != edit && object->isWidgetType())
            m_pIconButton = static_cast<QWidget*>(object);
    if (m_pIconButton)
        m_pIconButton->installEventFilter(this);
    SetIcon(kIconEmpty);

    connect(this, qOverload<int>(&QComboBox::activated), this, &CAddressCombo::OnPick);
    // Enter forwarded by the completer's popup reaches the field past the filter.
    connect(edit, &QLineEdit::returnPressed, this, [this] { OnEnterKey(QGuiApplication::keyboardModifiers()); });

    if (m_host->Settings().GetInt(EKey::AutoComplete) == 1) {
        m_pCompletionModel = new QStringListModel(this);
        m_pCompleter = new QCompleter(m_pCompletionModel, this);
        m_pCompleter->setCompletionMode(QCompleter::UnfilteredPopupCompletion);
        m_pCompleter->setWidget(edit);
        connect(m_pCompleter, qOverload<const QString&>(&QCompleter::activated), edit, &QLineEdit::setText);
        connect(edit, &QLineEdit::textEdited, this, &CAddressCombo::OnTextEdited);
        connect(&m_indexWatcher, &QFutureWatcherBase::finished, this, [this] {
            if (m_bIndexCleared)
                m_bIndexCleared = false;
            else
                m_pIndex = m_indexWatcher.result();
        });
    }
    LoadHistory();
}

void CAddressCombo::OnHistoryCleared()
{
    if (!m_pCompleter)
        return;
    // A read under way holds the old rows.
    m_bIndexCleared = m_indexWatcher.isRunning();
    m_pIndex.reset();
    m_pCompletionModel->setStringList({});
}

CAddressCombo::~CAddressCombo()
{
    SaveHistory();
    RemoveDragFolder();
}

QIcon CAddressCombo::Icon(int index) const
{
    if (index >= 0 && index < int(m_icons.size()) && !m_icons[size_t(index)].isNull())
        return QIcon(m_icons[size_t(index)]);
    return style()->standardIcon(index == kIconUrl ? QStyle::SP_DriveNetIcon : QStyle::SP_FileIcon);
}

void CAddressCombo::SetIcon(int index)
{
    m_pIconAction->setIcon(Icon(index));
}

void CAddressCombo::SetUrl(const std::string& url)
{
    if (url.empty())
        setCurrentIndex(-1);
    lineEdit()->setText(ToQ(url));
    SetIcon(url.empty() ? kIconEmpty : kIconUrl);
}

std::vector<std::string> CAddressCombo::History() const
{
    std::vector<std::string> items;
    for (int i = 0; i < count(); ++i)
        items.push_back(FromQ(itemText(i)));
    return items;
}

void CAddressCombo::LoadHistory()
{
    UrlList list;
    ReadListFile(m_host->AddressLogPath(), list);
    const size_t max = size_t(m_host->Settings().GetInt(EKey::AddressLogMax));
    const QString text = lineEdit()->text();
    for (size_t i = 0; i < list.size() && i < max; ++i)
        addItem(ToQ(list[i]));
    setCurrentIndex(-1);
    lineEdit()->setText(text);
}

void CAddressCombo::SaveHistory() const
{
    UrlList list = History();
    const size_t max = size_t(m_host->Settings().GetInt(EKey::AddressLogMax));
    if (list.size() > max)
        list.resize(max);
    WriteListFile(kHeadingAddressLog, m_host->AddressLogPath(), list);
}

int CAddressCombo::FindHistory(const std::string& text) const
{
    const std::string_view bare = WithoutTrailingSlash(text);
    for (int i = 0; i < count(); ++i) {
        const std::string item = FromQ(itemText(i));
        if (EqualsNoCase(item, text) || EqualsNoCase(item, bare))
            return i;
    }
    return -1;
}

void CAddressCombo::MoveToTop(int index)
{
    const QString item = itemText(index);
    removeItem(index);
    insertItem(0, item);
}

void CAddressCombo::Go(const std::string& text, int addToHistory, int newTab, int touchHistory, int notifyFrame)
{
    if (text.empty())
        return;
    CNimbraView* view = m_host->ActiveView();
    if (newTab == 1 || !view) {
        m_host->OpenNewTab(text);
    } else {
        if (view->m_bNaviLock)
            return;
        const std::string url = m_host->ResolveShortcut(text);
        if (url.empty()) {
            hidePopup();
            return;
        }
        if (m_host->IsBlockedInTab(url)) {
            hidePopup();
            return;
        }
        if (m_host->OpenSpecialUrl(url)) {
            hidePopup();
            return;
        }
        view->Navigate(url);
    }

    // Moving items shifts the combo's current item, which would rewrite the
    // field; the field keeps what the navigation put there.
    const QString shown = lineEdit()->text();
    const int existing = FindHistory(text);
    if (addToHistory == 1) {
        if (existing >= 0)
            MoveToTop(existing);
        else
            insertItem(0, ToQ(text));
        hidePopup();
    } else if (touchHistory == 1 && existing >= 0) {
        MoveToTop(existing);
    }
    if (lineEdit()->text() != shown)
        lineEdit()->setText(shown);
    if (notifyFrame)
        m_host->PostFocusView();
}

bool CAddressCombo::OnEnterKey(Qt::KeyboardModifiers modifiers)
{
    std::string text = Trim(FromQ(lineEdit()->text()));
    if ((modifiers & Qt::ControlModifier) && !text.empty()) {
        const CSettings& settings = m_host->Settings();
        text = settings.GetString(EKey::AddressAddF) + text + settings.GetString(EKey::AddressAddB);
    }
    text = WithAlt(std::move(text), modifiers);
    lineEdit()->setText(ToQ(text));
    if (text.empty())
        return false;
    Go(text, 1, (modifiers & Qt::ShiftModifier) ? 1 : 0, 1, 1);
    return true;
}

void CAddressCombo::OnGoButton(Qt::KeyboardModifiers modifiers)
{
    const std::string text = WithAlt(FromQ(lineEdit()->text()), modifiers);
    if (modifiers & Qt::ShiftModifier)
        Go(text, 1, 1, 1, 1);
    else
        Go(text, 0, 0, 1, 1);
}

// History items carry their icon only while the list is open: the combo
// draws the icon of a current item beside the field's own, and it makes an
// item current whenever the field's text matches one.
void CAddressCombo::SetHistoryIcons(bool shown)
{
    const QIcon icon = shown ? Icon(kIconUrl) : QIcon();
    for (int i = 0; i < count(); ++i)
        setItemIcon(i, icon);
}

void CAddressCombo::showPopup()
{
    m_bDropped = true;
    m_bPickPending = true;
    SetHistoryIcons(true);
    QComboBox::showPopup();
}

void CAddressCombo::hidePopup()
{
    if (m_bDropped) {
        m_bDropped = false;
        // A pick arrives right after the list closes; a list closed without
        // one leaves nothing pending.
        QTimer::singleShot(0, this, [this] {
            if (!m_bDropped)
                m_bPickPending = false;
        });
    }
    QComboBox::hidePopup();
    SetHistoryIcons(false);
}

void CAddressCombo::OnPick(int index)
{
    if (!m_bPickPending || m_bDropped || index < 0)
        return;
    m_bPickPending = false;
    const Qt::KeyboardModifiers modifiers = QGuiApplication::keyboardModifiers();
    const std::string text = WithAlt(FromQ(itemText(index)), modifiers);
    lineEdit()->setText(ToQ(text));
    const int shift = (modifiers & Qt::ShiftModifier) ? 1 : 0;
    Go(text, 0, shift, 1, 1);
}

bool CAddressCombo::OnKey(QKeyEvent* key)
{
    const Qt::KeyboardModifiers modifiers = key->modifiers();
    switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return OnEnterKey(modifiers);
    case Qt::Key_Tab:
    case Qt::Key_F6:
        if (CNimbraView* view = m_host->ActiveView()) {
            // The page gets the key as if it had been pressed there.
            QWidget* page = view->Browser()->Widget();
            QWidget* target = page->focusProxy() ? page->focusProxy() : page;
            page->setFocus(Qt::TabFocusReason);
            QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyPress, key->key(), modifiers, key->text()));
            QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyRelease, key->key(), modifiers, key->text()));
            return true;
        }
        return false;
    case Qt::Key_Escape:
        if (m_bDropped) {
            hidePopup();
            return true;
        }
        return false;
    case Qt::Key_Down:
        // The frame's shortcuts have seen the key already; with the list
        // closed and no completer it opens the list.
        if (!m_bDropped && !m_pCompleter && !(modifiers & Qt::AltModifier)) {
            lineEdit()->setFocus();
            lineEdit()->selectAll();
            showPopup();
            return true;
        }
        return false;
    case Qt::Key_A:
        if (modifiers == Qt::ControlModifier) {
            lineEdit()->selectAll();
            return true;
        }
        return false;
    case Qt::Key_F4:
        if (modifiers & Qt::AltModifier)
            return false;
        if (m_bDropped) {
            hidePopup();
        } else {
            lineEdit()->setFocus();
            lineEdit()->selectAll();
            showPopup();
        }
        return true;
    default:
        return false;
    }
}

bool CAddressCombo::OnListKey(QKeyEvent* key)
{
    if (key->key() == Qt::Key_Up && view()->currentIndex().row() == 0) {
        hidePopup();
        lineEdit()->selectAll();
        return true;
    }
    if (key->key() == Qt::Key_F4 && !(key->modifiers() & Qt::AltModifier)) {
        hidePopup();
        return true;
    }
    return false;
}

bool CAddressCombo::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
        if (watched == view())
            return OnListKey(static_cast<QKeyEvent*>(event));
        if (watched == lineEdit() || watched == this)
            return OnKey(static_cast<QKeyEvent*>(event));
        break;
    case QEvent::KeyRelease: {
        // Releasing a key with Alt held closes the list.
        auto* key = static_cast<QKeyEvent*>(event);
        if (m_bDropped && (key->key() == Qt::Key_Alt || (key->modifiers() & Qt::AltModifier)))
            hidePopup();
        break;
    }
    case QEvent::FocusIn:
        // The combo holds the focus for its field, which is told of it
        // directly, past any filter.
        if (watched == this && m_pCompleter)
            RefreshCompletionIndex();
        break;
    case QEvent::MouseButtonPress:
        if (watched == m_pIconButton) {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton)
                m_dragStart = mouse->position().toPoint();
        }
        break;
    case QEvent::MouseMove:
        if (watched == m_pIconButton) {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if ((mouse->buttons() & Qt::LeftButton)
                && (mouse->position().toPoint() - m_dragStart).manhattanLength() >= QApplication::startDragDistance()) {
                StartDragOut();
                return true;
            }
        }
        break;
    default:
        break;
    }
    return QComboBox::eventFilter(watched, event);
}

bool CAddressCombo::CanDrop(const QMimeData* data)
{
    return data && (data->hasText() || data->hasUrls());
}

void CAddressCombo::DropData(const QMimeData* data, Qt::KeyboardModifiers modifiers)
{
    const int shift = (modifiers & Qt::ShiftModifier) ? 1 : 0;
    if (IsLocalFileDrop(data)) {
        const QList<QUrl> urls = data->urls();
        for (qsizetype i = 0; i < urls.size(); ++i) {
            const std::string url = m_host->ResolveShortcut(FromQ(urls[i].toLocalFile()));
            if (url.empty())
                continue;
            if (i == 0)
                Go(WithAlt(url, modifiers), 0, shift, 1, 1);
            else
                Go(url, 0, 1, 1, 1);
        }
        return;
    }
    const QString raw = data->hasText() ? data->text()
                                        : (data->urls().isEmpty() ? QString() : data->urls().first().toString());
    const std::string text = Trim(FromQ(raw));
    setFocus();
    Go(WithAlt(text, modifiers), 0, shift, 1, 1);
}

void CAddressCombo::dragEnterEvent(QDragEnterEvent* event)
{
    if (CanDrop(event->mimeData())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    }
}

void CAddressCombo::dragMoveEvent(QDragMoveEvent* event)
{
    if (CanDrop(event->mimeData())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    }
}

void CAddressCombo::dropEvent(QDropEvent* event)
{
    event->setDropAction(Qt::CopyAction);
    event->accept();
    DropData(event->mimeData(), event->modifiers());
}

std::string CAddressCombo::DragFolder(bool create)
{
    return PrivateFolder("~NBISTMP00", create);
}

std::string CAddressCombo::WriteDragShortcut() const
{
    CNimbraView* view = m_host->ActiveView();
    if (!view)
        return {};
    const std::string url = view->GetLocationURL();
    if (url.empty())
        return {};
    const std::string folder = DragFolder(true);
    if (folder.empty())
        return {};
    const std::string path = folder + "/" + ShortcutFileName(view->GetLocationName()) + ".url";
    if (!WriteInternetShortcut(path, url))
        return {};
    return path;
}

void CAddressCombo::StartDragOut()
{
    const std::string path = WriteDragShortcut();
    if (path.empty())
        return;
    auto* data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile(ToQ(path))});
    data->setText(ToQ(m_host->ActiveView()->GetLocationURL()));
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    drag->setPixmap(Icon(kIconUrl).pixmap(16, 16));
    drag->exec(Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, Qt::CopyAction);
}

void CAddressCombo::RemoveDragFolder() const
{
    RemovePrivateFolder(DragFolder(false), ".url");
}

void CAddressCombo::RefreshCompletionIndex()
{
    if (m_indexWatcher.isRunning())
        return;
    // The store is read and the index sorted on a worker.
    m_indexWatcher.setFuture(QtConcurrent::run([history = m_host->SharedHistory()] {
        std::vector<std::string> urls;
        for (SHistoryEntry& entry : history->Enumerate({}))
            urls.push_back(std::move(entry.url));
        return std::make_shared<const CUrlCompletionIndex>(std::move(urls));
    }));
}

QStringList CAddressCombo::Completions(const QString& typed) const
{
    const std::string prefix = ToLowerAscii(FromQ(typed));
    QStringList result;
    std::unordered_set<std::string> seen;
    auto add = [&](const std::string& url) {
        if (size_t(result.size()) < kMaxCompletions && seen.insert(url).second)
            result << ToQ(url);
    };
    for (int i = 0; i < count(); ++i) {
        const std::string item = FromQ(itemText(i));
        for (const std::string& key : CompletionKeys(item))
            if (key.starts_with(prefix)) {
                add(item);
                break;
            }
    }
    if (m_pIndex)
        for (const std::string& url : m_pIndex->Match(prefix, kMaxCompletions))
            add(url);
    return result;
}

void CAddressCombo::OnTextEdited(const QString& text)
{
    const QStringList candidates = text.isEmpty() ? QStringList() : Completions(text);
    m_pCompletionModel->setStringList(candidates);
    if (candidates.isEmpty())
        m_pCompleter->popup()->hide();
    else
        m_pCompleter->complete();
}

} // namespace nimbra
