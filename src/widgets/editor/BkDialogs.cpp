#include "widgets/editor/BkDialogs.h"

#include "platform/MessageBox.h"
#include "platform/Text.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <utility>

namespace nimbra::editor {

namespace {

PromptHandler& Handler()
{
    static PromptHandler handler;
    return handler;
}

} // namespace

bool AskOkCancel(QWidget* parent, const QString& text)
{
    if (Handler())
        return Handler()(text, true);
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Nimbra Browser [Bookmark Editor]"), text,
                    QMessageBox::Ok | QMessageBox::Cancel, parent);
    return box.exec() == QMessageBox::Ok;
}

void Tell(QWidget* parent, const QString& text, QMessageBox::Icon icon)
{
    if (Handler()) {
        Handler()(text, false);
        return;
    }
    ShowMessage(parent, text, icon);
}

PromptHandler SetPromptHandler(PromptHandler handler)
{
    return std::exchange(Handler(), std::move(handler));
}

CBkFindDlg::CBkFindDlg(const std::vector<std::string>& history, const std::string& last, bool matchCase,
                       QWidget* parent)
    : QDialog(parent), m_text(new QComboBox(this)), m_case(new QCheckBox(QStringLiteral("大文字 / 小文字を区別する (&C)"), this))
{
    setWindowTitle(QStringLiteral("ブックマークの検索"));
    m_text->setEditable(true);
    m_text->setInsertPolicy(QComboBox::NoInsert);
    m_text->setMinimumContentsLength(30);
    for (const std::string& text : history)
        m_text->addItem(ToQ(text));
    m_text->setEditText(ToQ(last));
    m_case->setChecked(matchCase);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* find = buttons->addButton(QStringLiteral("検索(&F)"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole);
    find->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_text);
    layout->addWidget(m_case);
    layout->addWidget(buttons);
}

std::string CBkFindDlg::Text() const
{
    return FromQ(m_text->currentText());
}

bool CBkFindDlg::MatchCase() const
{
    return m_case->isChecked();
}

CBkAboutDlg::CBkAboutDlg(std::function<void(const std::string& url)> navigate, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("About Nimbra Browser [Bookmark Editor]"));
    auto* layout = new QVBoxLayout(this);
    auto* icon = new QLabel(this);
    icon->setPixmap(QIcon(QStringLiteral(":/nimbrab.svg")).pixmap(32, 32));
    layout->addWidget(icon);
    layout->addWidget(new QLabel(QStringLiteral("Bookmark Editor"), this));
    layout->addWidget(new QLabel(QStringLiteral("Version 0.20"), this));
    auto* link = new QLabel(QStringLiteral("<a href=\"%1\">%1</a>").arg(QString::fromLatin1(kLink)), this);
    link->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    connect(link, &QLabel::linkActivated, this,
            [navigate = std::move(navigate)](const QString& url) { navigate(FromQ(url)); });
    layout->addWidget(link);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
}

} // namespace nimbra::editor
