#pragma once

#include <QDialog>

namespace nimbra {

// "About Nimbra Browser": versions and the count of windows closed by the
// blocking lists.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    CAboutDlg(int closedTotal, QWidget* parent = nullptr);

    // The text of the read-only version field.
    static QString VersionText();
};

} // namespace nimbra
