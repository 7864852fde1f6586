#pragma once

#include <QComboBox>
#include <QFutureWatcher>
#include <QIcon>
#include <QPixmap>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QAction;
class QCompleter;
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QKeyEvent;
class QMimeData;
class QStringListModel;

namespace nimbra {

class CHistoryDb;
class CNimbraView;
class CSettings;

// What the address bar needs of the frame around it and of the application.
class IAddressHost {
public:
    virtual ~IAddressHost() = default;

    // The settings store and the list file of typed addresses.
    virtual CSettings& Settings() const = 0;
    virtual const std::string& AddressLogPath() const = 0;
    // The active tab's view; nullptr when no tab is open.
    virtual CNimbraView* ActiveView() const = 0;
    // Opens `text` in a new tab.
    virtual void OpenNewTab(const std::string& text) = 0;
    // The URL or path a .url or .lnk file points to; other text unchanged.
    virtual std::string ResolveShortcut(const std::string& text) const = 0;
    // Mail links and URL list files; true when the URL was handled.
    virtual bool OpenSpecialUrl(const std::string& url) = 0;
    // True when the close lists keep `url` out of the active tab (they may
    // be set to act on new tabs only).
    virtual bool IsBlockedInTab(const std::string& url) const = 0;
    // Gives the keyboard focus to the active tab's page, later.
    virtual void PostFocusView() = 0;
    // The history store, read on a worker for the completion index.
    virtual std::shared_ptr<CHistoryDb> SharedHistory() const = 0;
};

// The texts a typed prefix is matched against for one URL, in lower case:
// the URL, the URL without its scheme ("http://"), and that without "www.".
std::vector<std::string> CompletionKeys(std::string_view url);

// A sorted index of completion keys over a set of URLs, so that a lookup is a
// binary search. Built once per snapshot (on a worker thread), read-only after.
class CUrlCompletionIndex {
public:
    explicit CUrlCompletionIndex(std::vector<std::string> urls);

    // At most `limit` distinct URLs one of whose keys starts with `typed`
    // (ignoring ASCII case), in key order.
    std::vector<std::string> Match(std::string_view typed, size_t limit) const;
    size_t size() const { return m_urls.size(); }

private:
    std::vector<std::string> m_urls;
    std::vector<std::pair<std::string, unsigned>> m_keys;
};

// The file name a page is dragged out under: the title without " \ : , ; * ?
// < > |, every "/" made "-", cut to 100 cells; "新しいアイテム" when empty.
std::string ShortcutFileName(const std::string& title);

// The go button's tool tip for the field text: the text cut to 64 cells in
// double quotes, then " へ移動"; empty for an empty field.
std::string GoButtonTip(const std::string& text);

// The address bar's combo box: an editable URL field over the history of
// typed addresses, and the one path by which typed or handed-over text opens.
// The combo owns its host.
class CAddressCombo : public QComboBox {
    Q_OBJECT
public:
    CAddressCombo(std::unique_ptr<IAddressHost> host, QWidget* parent);
    ~CAddressCombo() override;

    // Shows `url` in the field; an empty text clears the selection too.
    void SetUrl(const std::string& url);

    // Opens `text` in the active tab, or in a new tab with newTab 1, and
    // records it in the history as the flags say.
    void Go(const std::string& text, int addToHistory, int newTab, int touchHistory, int notifyFrame);

    // History, newest first.
    std::vector<std::string> History() const;
    void LoadHistory();
    void SaveHistory() const;

    // Enter in the field with these modifiers; true when the key was used.
    bool OnEnterKey(Qt::KeyboardModifiers modifiers);
    // The go button was released.
    void OnGoButton(Qt::KeyboardModifiers modifiers);
    // Text or files dropped on the bar.
    void DropData(const QMimeData* data, Qt::KeyboardModifiers modifiers);
    static bool CanDrop(const QMimeData* data);

    // Writes the active page's Internet shortcut into the drag folder; its
    // path, or empty when there is no page to drag.
    std::string WriteDragShortcut() const;
    // The private folder dragged shortcuts are written to (~NBISTMP00),
    // made when missing with `create`; empty when there is none.
    static std::string DragFolder(bool create = false);

    bool IsDropped() const { return m_bDropped; }
    bool IsAutoComplete() const { return m_pCompleter != nullptr; }
    QCompleter* Completer() const { return m_pCompleter; }
    // Visited URLs the completer knows (0 until the first index is built).
    size_t CompletionIndexSize() const { return m_pIndex ? m_pIndex->size() : 0; }
    // The completion candidates for a typed text.
    QStringList Completions(const QString& typed) const;
    // The history was cleared: the completer forgets its URLs at once.
    void OnHistoryCleared();

    void showPopup() override;
    void hidePopup() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    bool OnKey(QKeyEvent* key);
    bool OnListKey(QKeyEvent* key);
    void OnPick(int index);
    void OnTextEdited(const QString& text);
    void RefreshCompletionIndex();
    void StartDragOut();
    void SetIcon(int index);
    void SetHistoryIcons(bool shown);
    QIcon Icon(int index) const;
    int FindHistory(const std::string& text) const;
    void MoveToTop(int index);
    void RemoveDragFolder() const;

    std::unique_ptr<IAddressHost> m_host;
    bool m_bDropped = false;
    bool m_bPickPending = false;
    QAction* m_pIconAction = nullptr;
    QWidget* m_pIconButton = nullptr;
    // bk.bmp's images; a missing one shows the style's icon.
    std::vector<QPixmap> m_icons;
    QPoint m_dragStart;
    QCompleter* m_pCompleter = nullptr;
    QStringListModel* m_pCompletionModel = nullptr;
    std::shared_ptr<const CUrlCompletionIndex> m_pIndex;
    QFutureWatcher<std::shared_ptr<const CUrlCompletionIndex>> m_indexWatcher;
    bool m_bIndexCleared = false;
};

} // namespace nimbra
