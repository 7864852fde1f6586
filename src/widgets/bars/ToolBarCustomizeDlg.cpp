#include "widgets/bars/ToolBarCustomizeDlg.h"

#include "widgets/bars/FlatToolBar.h"

#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace nimbra {

namespace {
constexpr char kSeparatorText[] = "区切り";
constexpr int kIdRole = Qt::UserRole;
} // namespace

CToolBarCustomizeDlg::CToolBarCustomizeDlg(CFlatToolBar& toolBar, QWidget* parent)
    : QDialog(parent), m_toolBar(toolBar), m_pAvailable(new QListWidget(this)), m_pCurrent(new QListWidget(this)),
      m_pAdd(new QPushButton(QStringLiteral("追加(&A) ->"), this)),
      m_pRemove(new QPushButton(QStringLiteral("<- 削除(&R)"), this)),
      m_pUp(new QPushButton(QStringLiteral("上へ(&U)"), this)), m_pDown(new QPushButton(QStringLiteral("下へ(&D)"), this))
{
    setWindowTitle(QStringLiteral("ツール バーのカスタマイズ"));
    const int icon = toolBar.Images().Size();
    for (QListWidget* list : {m_pAvailable, m_pCurrent}) {
        list->setIconSize(QSize(icon, icon));
        list->setMinimumSize(260, 300);
    }
    auto* close = new QPushButton(QStringLiteral("閉じる(&C)"), this);
    auto* reset = new QPushButton(QStringLiteral("リセット(&E)"), this);
    close->setDefault(true);

    auto* availableLabel = new QLabel(QStringLiteral("利用できるボタン(&V):"), this);
    availableLabel->setBuddy(m_pAvailable);
    auto* currentLabel = new QLabel(QStringLiteral("現在のボタン(&T):"), this);
    currentLabel->setBuddy(m_pCurrent);
    auto* middle = new QVBoxLayout;
    middle->addStretch();
    middle->addWidget(m_pAdd);
    middle->addWidget(m_pRemove);
    middle->addStretch();
    auto* right = new QVBoxLayout;
    for (QPushButton* button : {close, reset})
        right->addWidget(button);
    right->addStretch();
    right->addWidget(m_pUp);
    right->addWidget(m_pDown);
    auto* grid = new QGridLayout(this);
    grid->addWidget(availableLabel, 0, 0);
    grid->addWidget(currentLabel, 0, 2);
    grid->addWidget(m_pAvailable, 1, 0);
    grid->addLayout(middle, 1, 1);
    grid->addWidget(m_pCurrent, 1, 2);
    grid->addLayout(right, 1, 3);

    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    connect(reset, &QPushButton::clicked, this, &CToolBarCustomizeDlg::Reset);
    connect(m_pAdd, &QPushButton::clicked, this, &CToolBarCustomizeDlg::Add);
    connect(m_pRemove, &QPushButton::clicked, this, &CToolBarCustomizeDlg::Remove);
    connect(m_pUp, &QPushButton::clicked, this, &CToolBarCustomizeDlg::MoveUp);
    connect(m_pDown, &QPushButton::clicked, this, &CToolBarCustomizeDlg::MoveDown);
    connect(m_pAvailable, &QListWidget::itemDoubleClicked, this, &CToolBarCustomizeDlg::Add);
    connect(m_pCurrent, &QListWidget::itemDoubleClicked, this, &CToolBarCustomizeDlg::Remove);
    connect(m_pAvailable, &QListWidget::currentRowChanged, this, &CToolBarCustomizeDlg::UpdateButtons);
    connect(m_pCurrent, &QListWidget::currentRowChanged, this, &CToolBarCustomizeDlg::UpdateButtons);
    Fill(-1);
}

void CToolBarCustomizeDlg::Fill(int select)
{
    const std::vector<int>& layout = m_toolBar.Layout();
    // A blank picture keeps the separator's text in line with the others.
    QPixmap blank(m_toolBar.Images().Size(), m_toolBar.Images().Size());
    blank.fill(Qt::transparent);
    auto addItem = [this, &blank](QListWidget* list, int id) {
        const SToolButtonInfo* info = FindToolButton(id);
        auto* item = new QListWidgetItem(info ? m_toolBar.Images().Icon(info->image) : QIcon(blank),
                                         QString::fromUtf8(info ? info->text : kSeparatorText), list);
        item->setData(kIdRole, id);
    };
    const int availableRow = std::max(0, m_pAvailable->currentRow());
    m_pAvailable->clear();
    addItem(m_pAvailable, kToolSeparator);
    for (const SToolButtonInfo& info : ToolBarTable()) {
        if (info.id != kToolSeparator && std::find(layout.begin(), layout.end(), info.id) == layout.end())
            addItem(m_pAvailable, info.id);
    }
    m_pAvailable->setCurrentRow(std::min(availableRow, m_pAvailable->count() - 1));
    m_pCurrent->clear();
    for (int id : layout)
        addItem(m_pCurrent, id);
    m_pCurrent->setCurrentRow(std::min(select, m_pCurrent->count() - 1));
    UpdateButtons();
}

void CToolBarCustomizeDlg::UpdateButtons()
{
    const int row = m_pCurrent->currentRow();
    m_pAdd->setEnabled(m_pAvailable->currentRow() >= 0);
    m_pRemove->setEnabled(row >= 0);
    m_pUp->setEnabled(row > 0);
    m_pDown->setEnabled(row >= 0 && row + 1 < m_pCurrent->count());
}

void CToolBarCustomizeDlg::Apply(const std::vector<int>& layout, int select)
{
    m_toolBar.SetLayout(layout);
    Fill(select);
}

void CToolBarCustomizeDlg::Add()
{
    const QListWidgetItem* item = m_pAvailable->currentItem();
    if (!item)
        return;
    std::vector<int> layout = m_toolBar.Layout();
    const int row = m_pCurrent->currentRow();
    const int at = row < 0 ? int(layout.size()) : row + 1;
    layout.insert(layout.begin() + at, item->data(kIdRole).toInt());
    Apply(layout, at);
}

void CToolBarCustomizeDlg::Remove()
{
    const int row = m_pCurrent->currentRow();
    std::vector<int> layout = m_toolBar.Layout();
    if (row < 0 || size_t(row) >= layout.size())
        return;
    layout.erase(layout.begin() + row);
    Apply(layout, std::min(row, int(layout.size()) - 1));
}

void CToolBarCustomizeDlg::MoveUp()
{
    const int row = m_pCurrent->currentRow();
    std::vector<int> layout = m_toolBar.Layout();
    if (row <= 0 || size_t(row) >= layout.size())
        return;
    std::swap(layout[size_t(row)], layout[size_t(row - 1)]);
    Apply(layout, row - 1);
}

void CToolBarCustomizeDlg::MoveDown()
{
    const int row = m_pCurrent->currentRow();
    std::vector<int> layout = m_toolBar.Layout();
    if (row < 0 || size_t(row + 1) >= layout.size())
        return;
    std::swap(layout[size_t(row)], layout[size_t(row + 1)]);
    Apply(layout, row + 1);
}

void CToolBarCustomizeDlg::Reset()
{
    m_toolBar.LoadLayout();
    Fill(-1);
}

} // namespace nimbra
