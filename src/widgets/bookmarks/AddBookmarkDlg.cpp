#include "widgets/bookmarks/AddBookmarkDlg.h"

#include "widgets/bookmarks/BookmarkImages.h"
#include "widgets/bookmarks/BookmarkMenu.h"
#include "data/bookmarks/BookmarkMessages.h"
#include "widgets/bookmarks/FolderNameDlg.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <utility>

namespace nimbra {

namespace {

constexpr int kNameRole = Qt::UserRole; // the folder name as the file has it

std::function<int(QDialog&)>& Driver()
{
    static std::function<int(QDialog&)> driver;
    return driver;
}

const QString kNoUrlText = QStringLiteral("URLを取得できませんでした。\n\nブックマークに追加できません。");
const QString kBadFileText = QStringLiteral("ブックマークファイルが不正です。\n\nブックマークに追加できませんでした。");
const QString kBadFileFolderText =
    QStringLiteral("ブックマークファイルが不正です。\n\nブックマークにフォルダの追加できませんでした。");
const QString kCannotOpenText = QStringLiteral("ブックマークファイルが開けません。\n\nブックマークに追加できませんでした。");
const QString kFolderGoneText =
    QStringLiteral("選択したフォルダはブックマークファイルにありません。\n\n追加するフォルダを選び直してください。");
constexpr char kDefaultFolderName[] = "新しいフォルダ";

} // namespace

int RunBookmarkDialog(QDialog& dialog)
{
    if (Driver())
        return Driver()(dialog);
    return dialog.exec();
}

std::function<int(QDialog&)> SetBookmarkDialogDriver(std::function<int(QDialog&)> driver)
{
    return std::exchange(Driver(), std::move(driver));
}

CAddBookmarkDlg::CAddBookmarkDlg(QWidget* parent, std::string path, const std::string& title, std::string url,
                                 std::function<void()> reloadMenu)
    : QDialog(parent), m_strPath(std::move(path)), m_strUrl(std::move(url)), m_reloadMenu(std::move(reloadMenu))
{
    setWindowTitle(QStringLiteral("追加するフォルダの指定"));
    auto* layout = new QVBoxLayout(this);
    auto* titleLabel = new QLabel(QStringLiteral("タイトル(&T):"), this);
    m_pTitle = new QLineEdit(ToQ(title), this);
    titleLabel->setBuddy(m_pTitle);
    auto* treeLabel = new QLabel(QStringLiteral("追加するフォルダ(&F):"), this);
    m_pTree = new QTreeWidget(this);
    treeLabel->setBuddy(m_pTree);
    m_pTree->setHeaderHidden(true);
    m_pTree->setRootIsDecorated(true);
    m_pTree->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pTree->setMouseTracking(true);
    layout->addWidget(titleLabel);
    layout->addWidget(m_pTitle);
    layout->addWidget(treeLabel);
    layout->addWidget(m_pTree, 1);

    auto* buttons = new QHBoxLayout;
    m_pNewFolder = new QPushButton(QStringLiteral("新規フォルダ(&W)..."), this);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    auto* cancel = new QPushButton(QStringLiteral("キャンセル"), this);
    ok->setDefault(true);
    buttons->addWidget(m_pNewFolder);
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    connect(m_pNewFolder, &QPushButton::clicked, this, &CAddBookmarkDlg::OnNewFolder);
    connect(ok, &QPushButton::clicked, this, &CAddBookmarkDlg::OnOK);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    // A click on a folder's icon or label opens or closes it.
    connect(m_pTree, &QTreeWidget::itemClicked, this,
            [](QTreeWidgetItem* item) { item->setExpanded(!item->isExpanded()); });

    m_folderIcon = LoadBookmarkImages().FolderIcon();

    ReadStructure();
    resize(360, 400);
}

void CAddBookmarkDlg::ReadStructure()
{
    m_lines.Load(m_strPath);
    ShowStructure();
}

void CAddBookmarkDlg::ShowStructure()
{
    m_pTree->clear();
    const BookmarkOutline outline = m_lines.Outline();

    auto* root = new QTreeWidgetItem(m_pTree, {QString::fromLatin1(kBookmarkTreeRootText)});
    // Iterative: the outline may be as deep as the reader allows.
    struct Frame {
        const BookmarkOutline* folder;
        QTreeWidgetItem* item;
    };
    std::vector<Frame> stack{{&outline, root}};
    while (!stack.empty()) {
        const Frame frame = stack.back();
        stack.pop_back();
        frame.item->setIcon(0, m_folderIcon);
        for (const BookmarkOutline& folder : frame.folder->folders) {
            auto* item = new QTreeWidgetItem(frame.item, {ToQ(folder.name)});
            item->setData(0, kNameRole, QByteArray::fromStdString(folder.name));
            stack.push_back({&folder, item});
        }
    }
    root->setExpanded(true);
    m_pTree->setCurrentItem(root);
}

std::optional<BookmarkFolderPath> CAddBookmarkDlg::SelectedFolder() const
{
    const QList<QTreeWidgetItem*> selected = m_pTree->selectedItems();
    if (selected.isEmpty())
        return std::nullopt;
    BookmarkFolderPath path;
    for (QTreeWidgetItem* item = selected.first(); QTreeWidgetItem* parent = item->parent(); item = parent) {
        const QByteArray name = item->data(0, kNameRole).toByteArray();
        int before = 0;
        for (int i = 0, n = parent->indexOfChild(item); i < n; ++i)
            before += parent->child(i)->data(0, kNameRole).toByteArray() == name;
        path.insert(path.begin(), {name.toStdString(), before});
    }
    return path;
}

std::optional<int> CAddBookmarkDlg::FindEndLine(const BookmarkFolderPath& folder)
{
    m_lines.Load(m_strPath);
    const BookmarkOutline outline = m_lines.Outline();
    if (const BookmarkOutline* found = FindOutlineFolder(outline, folder))
        return found->endLine;
    ShowMessage(this, kFolderGoneText);
    ShowStructure();
    return std::nullopt;
}

void CAddBookmarkDlg::OnNewFolder()
{
    CFolderNameDlg nameDlg(this);
    if (RunBookmarkDialog(nameDlg) != QDialog::Accepted)
        return;
    std::string name = nameDlg.Name();
    if (name.empty())
        name = kDefaultFolderName;
    const std::optional<BookmarkFolderPath> folder = SelectedFolder();
    if (!folder)
        return;
    ipc::SendToEditor(ipc::WM_USER_BOOKMARK_WILL_CHANGE);
    const std::optional<int> endLine = FindEndLine(*folder);
    if (!endLine)
        return;
    if (!m_lines.InsertFolder(*endLine, name)) {
        ShowMessage(this, kBadFileFolderText);
        return;
    }
    m_lines.Save(m_strPath);
    ipc::SendToEditor(ipc::WM_USER_BOOKMARK_CHANGED);
    if (m_reloadMenu)
        m_reloadMenu();
    ReadStructure();
}

void CAddBookmarkDlg::OnOK()
{
    if (const std::optional<BookmarkFolderPath> folder = SelectedFolder()) {
        if (m_strUrl.empty()) {
            ShowMessage(this, kNoUrlText);
        } else {
            ipc::SendToEditor(ipc::WM_USER_BOOKMARK_WILL_CHANGE);
            const std::optional<int> endLine = FindEndLine(*folder);
            if (!endLine)
                return;
            if (!m_lines.InsertLink(*endLine, m_strUrl, FromQ(m_pTitle->text())))
                ShowMessage(this, kBadFileText);
            else if (!m_lines.Save(m_strPath))
                ShowMessage(this, kCannotOpenText);
            else if (m_reloadMenu)
                m_reloadMenu();
        }
    }
    accept();
}

} // namespace nimbra
