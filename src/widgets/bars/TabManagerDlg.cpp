#include "widgets/bars/TabManagerDlg.h"

#include "widgets/bars/ViewManager.h"
#include "widgets/bookmarks/BookmarkImages.h"
#include "frames/browser/MainFrame.h"
#include "platform/Text.h"
#include "widgets/view/NimbraView.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace nimbra {

CTabManagerDlg::CTabManagerDlg(CMainFrame* mainFrame) : QDialog(mainFrame), m_pMainFrame(mainFrame)
{
    setWindowTitle(QStringLiteral("タブ マネージャー"));
    m_pList = new QListWidget(this);
    m_pList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_pList->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_pShow = new QPushButton(QStringLiteral("表示(&A)"), this);
    m_pCloseTabs = new QPushButton(QStringLiteral("タブを閉じる(&C)"), this);
    auto* close = new QPushButton(QStringLiteral("閉じる(&E)"), this);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(m_pShow);
    buttons->addWidget(m_pCloseTabs);
    buttons->addStretch(1);
    buttons->addWidget(close);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(m_pList, 1);
    layout->addLayout(buttons);
    resize(480, 320);

    connect(m_pShow, &QPushButton::clicked, this, &CTabManagerDlg::OnShowTab);
    connect(m_pCloseTabs, &QPushButton::clicked, this, &CTabManagerDlg::OnCloseTabs);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_pList, &QListWidget::itemDoubleClicked, this, &CTabManagerDlg::OnShowTab);
    connect(m_pList, &QListWidget::itemSelectionChanged, this, &CTabManagerDlg::UpdateButtons);
    Fill();
}

void CTabManagerDlg::Fill()
{
    CViewManager* tabs = m_pMainFrame->ViewManager();
    // A page shows as a bookmark does.
    const QIcon icon = LoadBookmarkImages().bookmark;
    m_pList->clear();
    for (int i = 0; i < tabs->GetItemCount(); ++i) {
        const CNimbraView* view = tabs->ViewAt(i);
        const QString title = view ? ToQ(view->m_strTitle) : QStringLiteral("タイトル不明");
        m_pList->addItem(new QListWidgetItem(icon, title));
    }
    if (QListWidgetItem* active = m_pList->item(tabs->GetCurSel())) {
        active->setSelected(true);
        m_pList->setCurrentItem(active);
    }
    UpdateButtons();
}

void CTabManagerDlg::UpdateButtons()
{
    const qsizetype selected = m_pList->selectedItems().size();
    m_pShow->setEnabled(selected == 1);
    m_pCloseTabs->setEnabled(selected >= 1);
}

void CTabManagerDlg::OnShowTab()
{
    const QList<QListWidgetItem*> selected = m_pList->selectedItems();
    if (selected.size() != 1)
        return;
    m_pMainFrame->ViewManager()->SelectTab(m_pList->row(selected.front()));
    accept();
}

void CTabManagerDlg::OnCloseTabs()
{
    std::vector<int> rows;
    for (QListWidgetItem* item : m_pList->selectedItems())
        rows.push_back(m_pList->row(item));
    std::sort(rows.rbegin(), rows.rend());
    CViewManager* tabs = m_pMainFrame->ViewManager();
    for (int row : rows)
        tabs->CloseTab(row);
    tabs->Refresh();
    Fill();
}

} // namespace nimbra
