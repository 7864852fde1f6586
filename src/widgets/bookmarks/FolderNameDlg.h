#pragma once

#include <QDialog>
#include <string>

class QLineEdit;

namespace nimbra {

// Asks for the name of a new bookmark folder.
class CFolderNameDlg : public QDialog {
    Q_OBJECT
public:
    explicit CFolderNameDlg(QWidget* parent = nullptr);

    QLineEdit* NameEdit() const { return m_pName; }
    // The text of the field (may be empty).
    std::string Name() const;

private:
    QLineEdit* m_pName;
};

} // namespace nimbra
