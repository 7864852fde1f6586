#include "widgets/bars/TabManagerDlg.h"

#include "widgets/bookmarks/BookmarkImages.h"
#include "platform/Text.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace nimbra {

CTabManagerDlg::CTabManagerDlg(ITabManagerHost& tabs, QWidget* parent) : QDialog(parent), m_tabs(tabs)
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
    // A page shows as a bookmark does.
    const QIcon icon = LoadBookmarkImages().bookmark;
    m_pList->clear();
    for (int i = 0; i < m_tabs.GetItemCount(); ++i) {
        const std::optional<std::string> title = m_tabs.TabTitle(i);
        m_pList->addItem(new QListWidgetItem(icon, title ? ToQ(*title) : QStringLiteral("タイトル不明")));
    }
    if (QListWidgetItem* active = m_pList->item(m_tabs.GetCurSel())) {
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
    m_tabs.SelectTab(m_pList->row(selected.front()));
    accept();
}

void CTabManagerDlg::OnCloseTabs()
{
    std::vector<int> rows;
    for (QListWidgetItem* item : m_pList->selectedItems())
        rows.push_back(m_pList->row(item));
    std::sort(rows.rbegin(), rows.rend());
    for (int row : rows)
        m_tabs.CloseTab(row);
    m_tabs.Refresh();
    Fill();
}

} // namespace nimbra
