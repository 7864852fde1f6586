#include "bookmarks/AddBookmarkDlg.h"

#include "bookmarks/BookmarkImages.h"
#include "bookmarks/BookmarkMenu.h"
#include "bookmarks/FolderNameDlg.h"
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

constexpr int kEndLineRole = Qt::UserRole;

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
    m_pTree->clear();
    m_lines.Load(m_strPath);
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
        frame.item->setData(0, kEndLineRole, frame.folder->endLine);
        for (const BookmarkOutline& folder : frame.folder->folders)
            stack.push_back({&folder, new QTreeWidgetItem(frame.item, {ToQ(folder.name)})});
    }
    root->setExpanded(true);
    m_pTree->setCurrentItem(root);
}

std::optional<int> CAddBookmarkDlg::SelectedEndLine() const
{
    const QList<QTreeWidgetItem*> selected = m_pTree->selectedItems();
    if (selected.isEmpty())
        return std::nullopt;
    return selected.first()->data(0, kEndLineRole).toInt();
}

bool CAddBookmarkDlg::Save()
{
    if (!m_lines.Save(m_strPath))
        return false;
    m_bWritten = true;
    return true;
}

void CAddBookmarkDlg::OnNewFolder()
{
    CFolderNameDlg nameDlg(this);
    if (RunBookmarkDialog(nameDlg) != QDialog::Accepted)
        return;
    std::string name = nameDlg.Name();
    if (name.empty())
        name = kDefaultFolderName;
    const std::optional<int> endLine = SelectedEndLine();
    if (!endLine)
        return;
    if (!m_lines.InsertFolder(*endLine, name)) {
        ShowMessage(this, kBadFileFolderText);
        return;
    }
    Save();
    if (m_reloadMenu)
        m_reloadMenu();
    ReadStructure();
}

void CAddBookmarkDlg::OnOK()
{
    const std::optional<int> endLine = SelectedEndLine();
    if (endLine) {
        if (m_strUrl.empty()) {
            ShowMessage(this, kNoUrlText);
        } else if (!m_lines.InsertLink(*endLine, m_strUrl, FromQ(m_pTitle->text()))) {
            ShowMessage(this, kBadFileText);
        } else if (!Save()) {
            ShowMessage(this, kCannotOpenText);
        } else if (m_reloadMenu) {
            m_reloadMenu();
        }
    }
    accept();
}

} // namespace nimbra
