#include "platform/BrowseDialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QVBoxLayout>
#include <utility>

namespace nimbra {

CBrowseDialog::CBrowseDialog(const SBrowseOptions& options, QWidget* parent)
    : QDialog(parent), m_statusFormat(options.statusFormat)
{
    setWindowTitle(options.title);
    m_pPrompt = new QLabel(options.prompt, this);
    m_pPrompt->setTextFormat(Qt::PlainText);
    // Qt's own chooser, embedded as a widget so the prompt and status line
    // sit around it.
    m_pChooser = new QFileDialog(this, Qt::Widget);
    m_pChooser->setWindowFlags(Qt::Widget);
    m_pChooser->setOption(QFileDialog::DontUseNativeDialog);
    m_pChooser->setOption(QFileDialog::ShowDirsOnly);
    m_pChooser->setFileMode(QFileDialog::Directory);
    m_pChooser->setLabelText(QFileDialog::LookIn, QStringLiteral("場所:"));
    m_pChooser->setLabelText(QFileDialog::FileName, QStringLiteral("フォルダ:"));
    m_pChooser->setLabelText(QFileDialog::FileType, QStringLiteral("種類:"));
    m_pChooser->setLabelText(QFileDialog::Accept, options.okText);
    m_pChooser->setLabelText(QFileDialog::Reject, options.cancelText);
    m_pStatus = new QLabel(this);
    m_pStatus->setTextFormat(Qt::PlainText);
    m_pStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pPrompt);
    layout->addWidget(m_pChooser, 1);
    layout->addWidget(m_pStatus);

    connect(m_pChooser, &QFileDialog::currentChanged, this, &CBrowseDialog::ShowStatus);
    connect(m_pChooser, &QFileDialog::directoryEntered, this, &CBrowseDialog::ShowStatus);
    connect(m_pChooser, &QFileDialog::accepted, this, [this] {
        const QStringList chosen = m_pChooser->selectedFiles();
        m_path = chosen.isEmpty() ? m_pChooser->directory().absolutePath() : chosen.first();
        accept();
    });
    connect(m_pChooser, &QFileDialog::rejected, this, &QDialog::reject);

    const QString start = QFileInfo(options.startFolder).isDir() ? options.startFolder : QDir::homePath();
    SelectFolder(QDir(start).absolutePath());
    resize(640, 480);
}

QString CBrowseDialog::DisplayName() const
{
    const QString name = QFileInfo(m_path).fileName();
    return name.isEmpty() ? m_path : name;
}

void CBrowseDialog::SelectFolder(const QString& path)
{
    const QFileInfo info(path);
    m_pChooser->setDirectory(info.absolutePath());
    m_pChooser->selectFile(info.absoluteFilePath());
    ShowStatus(info.absoluteFilePath());
}

void CBrowseDialog::ShowStatus(const QString& path)
{
    if (m_statusFormat.isEmpty())
        m_pStatus->setText(path);
    else
        m_pStatus->setText(QString(m_statusFormat).replace(QLatin1String("%s"), path));
}

namespace {
FolderAsker& Asker()
{
    static FolderAsker asker;
    return asker;
}
} // namespace

std::string AskFolder(QWidget* parent, const SBrowseOptions& options)
{
    if (Asker())
        return Asker()(parent, options);
    CBrowseDialog dialog(options, parent);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.Path().toStdString();
}

FolderAsker SetFolderAsker(FolderAsker asker)
{
    return std::exchange(Asker(), std::move(asker));
}

} // namespace nimbra

// Compiled here, not with the folder's other classes: the bookmark editor
// takes this file alone, without what those need (the web engine).
#include "moc_BrowseDialog.cpp"
