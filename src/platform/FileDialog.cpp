#include "platform/FileDialog.h"

#include "platform/Text.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <utility>

namespace nimbra {

namespace {

std::string SystemFileDialog(QWidget* parent, const SFileRequest& request)
{
    QFileDialog dialog(parent);
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilters(request.filters);
    dialog.setDefaultSuffix(request.defaultSuffix);
    dialog.setDirectory(request.folder.empty() ? QDir::homePath() : ToQ(request.folder));
    if (!request.name.empty())
        dialog.selectFile(ToQ(request.name));
    QCheckBox* check = nullptr;
    if (!request.checkText.isEmpty()) {
        // The system's own dialog takes no widgets of ours.
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
            check = new QCheckBox(request.checkText, &dialog);
            grid->addWidget(check, grid->rowCount(), 0, 1, -1);
        }
    }
    const bool accepted = dialog.exec() == QDialog::Accepted;
    if (check && request.checked)
        *request.checked = check->isChecked();
    if (!accepted || dialog.selectedFiles().isEmpty())
        return {};
    return FromQ(dialog.selectedFiles().first());
}

FileNameAsker& Asker()
{
    static FileNameAsker asker = SystemFileDialog;
    return asker;
}

} // namespace

std::string AskFileName(QWidget* parent, const SFileRequest& request)
{
    return Asker()(parent, request);
}

FileNameAsker SetFileNameAsker(FileNameAsker asker)
{
    return std::exchange(Asker(), asker ? std::move(asker) : FileNameAsker(SystemFileDialog));
}

} // namespace nimbra
