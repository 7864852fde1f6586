#include "widgets/tools/ProxyDlg.h"

#include "platform/MessageBox.h"
#include "platform/Text.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace nimbra {

namespace {

constexpr EProxyProtocol kProtocols[] = {EProxyProtocol::Http, EProxyProtocol::Secure, EProxyProtocol::Ftp,
                                         EProxyProtocol::Gopher, EProxyProtocol::Socks};
constexpr const char* kProtocolLabels[] = {"HTTP:", "Secure:", "FTP:", "Gopher:", "Socks:"};
constexpr EProxyProtocol kCopied[] = {EProxyProtocol::Secure, EProxyProtocol::Ftp, EProxyProtocol::Gopher};

QString ListText(const CProxyRecord& record)
{
    return record.name.empty() ? QStringLiteral("No Title") : ToQ(OneLine(record.name));
}

// A port field holds 1..65535 or nothing.
int PortOf(const QString& text)
{
    bool ok = false;
    const int port = text.toInt(&ok);
    return ok && port >= 1 && port <= 65535 ? port : -1;
}

QString PortText(int port)
{
    return port > 0 ? QString::number(port) : QString();
}

QLabel* BuddyLabel(const QString& text, QWidget* buddy, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

} // namespace

CProxyDlg::CProxyDlg(QWidget* parent, std::string path, CProxyList list, int mode)
    : QDialog(parent), m_strPath(std::move(path)), m_list(std::move(list)), m_nMode(mode)
{
    setWindowTitle(QStringLiteral("プロキシ サーバーの設定"));

    m_pList = new QListWidget(this);
    m_pList->setUniformItemSizes(true);
    auto* add = new QPushButton(QStringLiteral("追加(&A)"), this);
    m_pRemove = new QPushButton(QStringLiteral("削除(&D)"), this);
    m_pUp = new QPushButton(QStringLiteral("↑"), this);
    m_pDown = new QPushButton(QStringLiteral("↓"), this);
    auto* listButtons = new QHBoxLayout;
    for (QPushButton* button : {add, m_pRemove, m_pUp, m_pDown}) {
        button->setAutoDefault(false);
        listButtons->addWidget(button);
    }
    auto* left = new QVBoxLayout;
    left->addWidget(BuddyLabel(QStringLiteral("プロキシ リスト(&L):"), m_pList, this));
    left->addWidget(m_pList, 1);
    left->addLayout(listButtons);

    m_pTitle = new QLineEdit(this);
    auto* grid = new QGridLayout;
    grid->addWidget(BuddyLabel(QStringLiteral("タイトル(&T):"), m_pTitle, this), 0, 0);
    grid->addWidget(m_pTitle, 0, 1, 1, 3);
    auto* portValidator = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,5}")), this);
    for (size_t i = 0; i < m_hosts.size(); ++i) {
        SHostFields& fields = m_hosts[i];
        fields.host = new QLineEdit(this);
        fields.port = new QLineEdit(this);
        fields.port->setValidator(portValidator);
        fields.port->setMaximumWidth(fields.port->fontMetrics().horizontalAdvance(QStringLiteral("0000000")));
        const int row = int(i) + 1;
        grid->addWidget(BuddyLabel(QString::fromLatin1(kProtocolLabels[i]), fields.host, this), row, 0);
        grid->addWidget(fields.host, row, 1);
        grid->addWidget(new QLabel(QStringLiteral(":"), this), row, 2);
        grid->addWidget(fields.port, row, 3);
        const EProxyProtocol protocol = kProtocols[i];
        connect(fields.host, &QLineEdit::textEdited, this, [this, protocol] { OnHostEdited(protocol); });
        connect(fields.port, &QLineEdit::textEdited, this, [this, protocol] { OnHostEdited(protocol); });
        // A port outside 1..65535 is not kept: the field shows what is.
        connect(fields.port, &QLineEdit::editingFinished, this, [this, protocol] {
            if (const CProxyRecord* record = Selected())
                m_hosts[size_t(protocol)].port->setText(PortText((*record)[protocol].port));
        });
    }
    m_pSameForAll = new QCheckBox(QStringLiteral("すべてのプロトコルに同じプロキシ サーバーを使用する(&U)"), this);
    m_pBypassLocal = new QCheckBox(QStringLiteral("ローカル アドレスにはプロキシ サーバーを使用しない(&B)"), this);
    m_pExceptions = new QPlainTextEdit(this);
    m_pExceptions->setTabChangesFocus(true);
    m_pExceptions->setFixedHeight(m_pExceptions->fontMetrics().lineSpacing() * 4);
    auto* right = new QVBoxLayout;
    right->addLayout(grid);
    right->addWidget(m_pSameForAll);
    right->addWidget(m_pBypassLocal);
    right->addWidget(BuddyLabel(QStringLiteral("次で始まるアドレスにはプロキシを使用しない(&N):"), m_pExceptions, this));
    right->addWidget(m_pExceptions);
    right->addStretch();

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(ok);
    auto* columns = new QHBoxLayout;
    columns->addLayout(left, 2);
    columns->addLayout(right, 3);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns);
    layout->addLayout(bottom);

    connect(add, &QPushButton::clicked, this, &CProxyDlg::OnAdd);
    connect(m_pRemove, &QPushButton::clicked, this, &CProxyDlg::OnRemove);
    connect(m_pUp, &QPushButton::clicked, this, [this] { OnMove(-1); });
    connect(m_pDown, &QPushButton::clicked, this, [this] { OnMove(1); });
    connect(ok, &QPushButton::clicked, this, &CProxyDlg::OnOk);
    connect(m_pList, &QListWidget::currentRowChanged, this, [this] { ShowRecord(); });
    connect(m_pTitle, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (CProxyRecord* record = Selected()) {
            record->name = FromQ(text);
            m_pList->currentItem()->setText(ListText(*record));
        }
    });
    connect(m_pSameForAll, &QCheckBox::clicked, this, &CProxyDlg::OnSameForAll);
    connect(m_pBypassLocal, &QCheckBox::clicked, this, [this](bool on) {
        if (CProxyRecord* record = Selected())
            record->bypassLocal = on;
    });
    connect(m_pExceptions, &QPlainTextEdit::textChanged, this, [this] {
        CProxyRecord* record = Selected();
        if (record && !m_bShowing)
            record->exceptions = FromQ(m_pExceptions->toPlainText());
    });

    FillList();
    Select(0);
    resize(620, 380);
}

CProxyRecord* CProxyDlg::Selected()
{
    const int row = m_pList->currentRow();
    return row >= 0 && size_t(row) < m_list.m_records.size() ? &m_list.m_records[size_t(row)] : nullptr;
}

void CProxyDlg::FillList()
{
    QStringList texts;
    texts.reserve(qsizetype(m_list.m_records.size()));
    for (const CProxyRecord& record : m_list.m_records)
        texts << ListText(record);
    m_pList->clear();
    m_pList->addItems(texts);
}

void CProxyDlg::Select(int row)
{
    m_pList->setCurrentRow(row);
    ShowRecord();
}

void CProxyDlg::ShowRecord()
{
    m_bShowing = true;
    const CProxyRecord* record = Selected();
    const CProxyRecord empty;
    const CProxyRecord& shown = record ? *record : empty;
    m_pTitle->setText(ToQ(shown.name));
    ShowHosts();
    m_pSameForAll->setChecked(shown.sameForAll);
    m_pBypassLocal->setChecked(shown.bypassLocal);
    m_pExceptions->setPlainText(ToQ(shown.exceptions));
    m_bShowing = false;
    UpdateEnabled();
}

void CProxyDlg::ShowHosts()
{
    const CProxyRecord* record = Selected();
    for (size_t i = 0; i < m_hosts.size(); ++i) {
        const SProxyHost host = record ? record->hosts[i] : SProxyHost();
        m_hosts[i].host->setText(ToQ(host.host));
        m_hosts[i].port->setText(PortText(host.port));
    }
}

void CProxyDlg::UpdateEnabled()
{
    const int row = m_pList->currentRow();
    const CProxyRecord* record = Selected();
    m_pRemove->setEnabled(record != nullptr);
    m_pUp->setEnabled(record && row > 0);
    m_pDown->setEnabled(record && size_t(row) + 1 < m_list.m_records.size());
    for (QWidget* field : std::initializer_list<QWidget*>{m_pTitle, m_pSameForAll, m_pBypassLocal, m_pExceptions})
        field->setEnabled(record != nullptr);
    for (size_t i = 0; i < m_hosts.size(); ++i) {
        // While one server serves all, its copies are not edited apart.
        const bool copied = record && record->sameForAll && i >= 1 && i <= 3;
        m_hosts[i].host->setEnabled(record && !copied);
        m_hosts[i].port->setEnabled(record && !copied);
    }
}

void CProxyDlg::OnHostEdited(EProxyProtocol protocol)
{
    CProxyRecord* record = Selected();
    if (!record)
        return;
    const SHostFields& fields = m_hosts[size_t(protocol)];
    (*record)[protocol] = {FromQ(fields.host->text().trimmed()), PortOf(fields.port->text())};
    if (protocol == EProxyProtocol::Http && record->sameForAll) {
        record->CopyHttpToAll();
        for (EProxyProtocol copied : kCopied) {
            m_hosts[size_t(copied)].host->setText(ToQ((*record)[copied].host));
            m_hosts[size_t(copied)].port->setText(PortText((*record)[copied].port));
        }
    }
}

void CProxyDlg::OnSameForAll(bool on)
{
    CProxyRecord* record = Selected();
    if (!record)
        return;
    record->sameForAll = on;
    if (on)
        record->CopyHttpToAll();
    ShowHosts();
    UpdateEnabled();
}

void CProxyDlg::OnAdd()
{
    const int row = m_list.Add(Selected() ? m_pList->currentRow() : -1);
    m_pList->insertItem(row, ListText(m_list.m_records[size_t(row)]));
    Select(row);
}

void CProxyDlg::OnRemove()
{
    const int row = m_pList->currentRow();
    if (!Selected())
        return;
    const int next = m_list.Remove(row);
    delete m_pList->takeItem(row);
    Select(next);
}

void CProxyDlg::OnMove(int step)
{
    const int row = m_pList->currentRow();
    const int to = m_list.Move(row, step);
    if (to == row)
        return;
    m_pList->item(row)->setText(ListText(m_list.m_records[size_t(row)]));
    m_pList->item(to)->setText(ListText(m_list.m_records[size_t(to)]));
    Select(to);
}

void CProxyDlg::OnOk()
{
    if (!CProxyFile::Write(m_strPath, m_list.m_nCurrent, m_nMode, m_list.m_records)) {
        ShowMessage(this, QStringLiteral("%1 に書き込めませんでした。").arg(ToQ(m_strPath)), QMessageBox::Warning);
        return;
    }
    accept();
}

} // namespace nimbra
