#include "platform/PageDialogs.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <vector>

namespace nimbra {

namespace {

bool g_closeWarnings = false;
std::vector<QPointer<QDialog>> g_warnings;

// The engine's own text of the leave-page question.
constexpr char kLeavePageText[] = "Are you sure you want to leave this page? Changes that you made may not be saved.";

// Marks the leave-page question, which the sweep answers with "leave".
constexpr char kLeaveProperty[] = "nimbraLeavePage";

// A page's dialog: its text as plain text under the page's origin, OK and
// optionally Cancel, and an input line for prompts.
class CPageDialog : public QDialog {
public:
    CPageDialog(QWidget* parent, const QUrl& origin, const QString& text, bool cancel, const QString* value)
        : QDialog(parent)
    {
        setWindowTitle(QStringLiteral("%1 からのメッセージ").arg(origin.host().isEmpty() ? origin.toString() : origin.host()));
        auto* layout = new QVBoxLayout(this);
        auto* label = new QLabel(text, this);
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(true);
        layout->addWidget(label);
        if (value) {
            m_pInput = new QLineEdit(*value, this);
            layout->addWidget(m_pInput);
        }
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | (cancel ? QDialogButtonBox::Cancel : QDialogButtonBox::NoButton), this);
        buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
        if (cancel)
            buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("キャンセル"));
        connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
        layout->addWidget(buttons);
    }
    QString Input() const { return m_pInput ? m_pInput->text() : QString(); }

private:
    QLineEdit* m_pInput = nullptr;
};

// Runs a warning while it is registered for the sweep.
bool RunWarning(CPageDialog& dialog)
{
    g_warnings.emplace_back(&dialog);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    g_warnings.erase(std::remove_if(g_warnings.begin(), g_warnings.end(),
                                    [&dialog](const QPointer<QDialog>& d) { return d.isNull() || d == &dialog; }),
                     g_warnings.end());
    return accepted;
}

} // namespace

void SetCloseWarningDialogs(bool on)
{
    g_closeWarnings = on;
}

bool CloseWarningDialogs()
{
    return g_closeWarnings;
}

int RejectWarningDialogs()
{
    int count = 0;
    // A rejected dialog's loop ends later; the copy keeps the walk safe.
    const std::vector<QPointer<QDialog>> open = g_warnings;
    for (const QPointer<QDialog>& dialog : open)
        if (dialog && dialog->isVisible()) {
            if (dialog->property(kLeaveProperty).toBool())
                dialog->accept();
            else
                dialog->reject();
            ++count;
        }
    return count;
}

int OpenWarningDialogs()
{
    return int(std::count_if(g_warnings.begin(), g_warnings.end(), [](const QPointer<QDialog>& d) { return !d.isNull(); }));
}

bool IsLeavePageQuestion(const QString& text)
{
    return text == QLatin1String(kLeavePageText) || text == QCoreApplication::translate("QWebEnginePage", kLeavePageText);
}

void ShowPageAlert(QWidget* parent, const QUrl& origin, const QString& text)
{
    if (g_closeWarnings)
        return;
    CPageDialog dialog(parent, origin, text, false, nullptr);
    RunWarning(dialog);
}

bool AskPageConfirm(QWidget* parent, const QUrl& origin, const QString& text)
{
    const bool leave = IsLeavePageQuestion(text);
    if (g_closeWarnings)
        return leave;
    CPageDialog dialog(parent, origin, leave ? QStringLiteral("このページから移動しますか? 入力したデータは保存されないことがあります。") : text,
                       true, nullptr);
    dialog.setProperty(kLeaveProperty, leave);
    return RunWarning(dialog);
}

bool AskPagePrompt(QWidget* parent, const QUrl& origin, const QString& text, const QString& value, QString* result)
{
    CPageDialog dialog(parent, origin, text, true, &value);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    if (result)
        *result = dialog.Input();
    return true;
}

} // namespace nimbra
