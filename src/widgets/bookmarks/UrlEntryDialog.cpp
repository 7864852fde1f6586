#include "widgets/bookmarks/UrlEntryDialog.h"

#include "data/settings/Settings.h"
#include "platform/Text.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace nimbra {

namespace {

constexpr char kFileFilter[] = "HTML、Nimbra リストファイル (*.htm, *.html, *.nbl) (*.htm *.html *.nbl);;"
                               "すべてのファイル (*.*) (*)";

bool IsEnter(int key)
{
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

} // namespace

// The combo knows whether its list is dropped and what was typed before.
class CUrlCombo : public QComboBox {
public:
    using QComboBox::QComboBox;

    bool Dropped() const { return m_bDropped; }
    const QString& TypedText() const { return m_typed; }

    void showPopup() override
    {
        m_typed = currentText();
        m_bDropped = true;
        QComboBox::showPopup();
    }
    void hidePopup() override
    {
        m_bDropped = false;
        QComboBox::hidePopup();
    }

private:
    bool m_bDropped = false;
    QString m_typed;
};

CUrlEntryDialog::CUrlEntryDialog(CSettings& settings, std::vector<std::string> history, QWidget* parent)
    : QDialog(parent), m_settings(settings), m_history(std::move(history))
{
    setWindowTitle(QStringLiteral("URLを追加"));
    m_pLabel = new QLabel(QStringLiteral("URL"), this);
    m_pCombo = new CUrlCombo(this);
    m_pCombo->setEditable(true);
    m_pCombo->setInsertPolicy(QComboBox::NoInsert);
    m_pCombo->setMinimumWidth(360);
    m_pCombo->setCompleter(nullptr);
    m_pLabel->setBuddy(m_pCombo);
    m_pNewTab = new QCheckBox(QStringLiteral("新しいタブで開く(&N)"), this);

    auto* buttons = new QDialogButtonBox(this);
    m_pOk = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole);
    m_pBrowse = buttons->addButton(QStringLiteral("参照(&R)..."), QDialogButtonBox::ActionRole);
    m_pOk->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &CUrlEntryDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_pBrowse, &QPushButton::clicked, this, &CUrlEntryDialog::Browse);
    connect(m_pCombo, &QComboBox::editTextChanged, this, &CUrlEntryDialog::UpdateOk);
    connect(m_pCombo, &QComboBox::currentIndexChanged, this, &CUrlEntryDialog::UpdateOk);

    m_pCombo->installEventFilter(this);
    m_pCombo->lineEdit()->installEventFilter(this);
    m_pCombo->view()->installEventFilter(this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pLabel);
    layout->addWidget(m_pCombo);
    layout->addWidget(m_pNewTab);
    layout->addWidget(buttons);
    UpdateOk();
}

CUrlEntryDialog::~CUrlEntryDialog() = default;

QComboBox* CUrlEntryDialog::Combo() const
{
    return m_pCombo;
}

void CUrlEntryDialog::showEvent(QShowEvent* event)
{
    if (!m_bInitialized) {
        m_bInitialized = true;
        InitDialog();
    }
    QDialog::showEvent(event);
}

void CUrlEntryDialog::InitDialog()
{
    QStringList history;
    for (const std::string& entry : m_history)
        history << ToQ(entry);

    if (m_bAllowAutoComplete && m_settings.GetInt(EKey::OpDlgAutoComplete) != 0) {
        auto* completer = new QCompleter(history, m_pCombo);
        completer->setCaseSensitivity(Qt::CaseInsensitive);
        completer->setCompletionMode(QCompleter::PopupCompletion);
        m_pCombo->setCompleter(completer);
        m_bAutoComplete = true;
    }
    if (!m_strTitle.empty())
        setWindowTitle(ToQ(m_strTitle));
    if (!m_strLabel.empty())
        m_pLabel->setText(ToQ(m_strLabel));

    m_pCombo->addItems(history);
    m_pNewTab->setChecked(m_settings.GetInt(EKey::AddUrlOpenNew) != 0);
    m_pNewTab->setVisible(m_bShowCheck);
    if (!m_strInitial.empty()) {
        m_pCombo->insertItem(0, ToQ(m_strInitial));
        m_pCombo->setCurrentIndex(0);
    } else {
        m_pCombo->setCurrentIndex(-1);
        m_pCombo->setEditText({});
    }
    SelectAllText();
    m_pCombo->setFocus();
    UpdateOk();
}

void CUrlEntryDialog::UpdateOk()
{
    m_pOk->setEnabled(!m_pCombo->currentText().isEmpty());
}

void CUrlEntryDialog::SelectAllText()
{
    m_pCombo->lineEdit()->selectAll();
}

bool CUrlEntryDialog::eventFilter(QObject* watched, QEvent* event)
{
    const bool press = event->type() == QEvent::KeyPress;
    // The list closes itself on Enter and Escape already at the shortcut
    // check, so those are caught there.
    const bool shortcut = event->type() == QEvent::ShortcutOverride;
    if ((!press && !shortcut) || m_bAutoComplete)
        return QDialog::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool ctrl = key->modifiers() & Qt::ControlModifier;

    if (watched == m_pCombo->view()) {
        const bool enterOrEscape = IsEnter(key->key()) || key->key() == Qt::Key_Escape;
        if (!m_pCombo->Dropped())
            return enterOrEscape && !m_pCombo->view()->isVisible(); // the rest of a handled key
        if (enterOrEscape) {
            // Keep what was typed; the dialog stays open.
            const QString typed = m_pCombo->TypedText();
            m_pCombo->hidePopup();
            m_pCombo->setEditText(typed);
            SelectAllText();
            return true;
        }
        if (press && key->key() == Qt::Key_Up && m_pCombo->view()->currentIndex().row() == 0) {
            m_pCombo->hidePopup();
            SelectAllText();
            return true;
        }
        return false;
    }
    if (press && (watched == m_pCombo || watched == m_pCombo->lineEdit())) {
        if (key->key() == Qt::Key_Down && !m_pCombo->Dropped()) {
            SelectAllText();
            m_pCombo->showPopup();
            return true;
        }
        if (ctrl && key->key() == Qt::Key_A) {
            SelectAllText();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

QFileDialog* CUrlEntryDialog::Browse()
{
    const QString start = ToQ(m_settings.GetString(EKey::LastOpenPath));
    auto* chooser = new QFileDialog(this, QStringLiteral("開く"), start, QString::fromUtf8(kFileFilter));
    chooser->setAttribute(Qt::WA_DeleteOnClose);
    chooser->setAcceptMode(QFileDialog::AcceptOpen);
    chooser->setFileMode(QFileDialog::ExistingFile);
    connect(chooser, &QFileDialog::fileSelected, this, &CUrlEntryDialog::OnFileChosen);
    chooser->open();
    return chooser;
}

void CUrlEntryDialog::OnFileChosen(const QString& path)
{
    if (path.isEmpty())
        return;
    m_pCombo->setEditText(path);
    UpdateOk();
    m_settings.WriteString(EKey::LastOpenPath, FromQ(QFileInfo(path).absolutePath()));
}

void CUrlEntryDialog::accept()
{
    const std::string text = FromQ(m_pCombo->currentText());
    if (text.empty())
        return;
    m_strResult = text;
    m_bNewTab = m_pNewTab->isChecked();
    m_settings.WriteInt(EKey::AddUrlOpenNew, m_bNewTab ? 1 : 0);
    QDialog::accept();
}

} // namespace nimbra
