#pragma once

#include <QDialog>

class QSpinBox;

namespace nimbra {

// "自動更新間隔": the auto-refresh interval in seconds.
class CAutoRefreshDlg : public QDialog {
    Q_OBJECT
public:
    CAutoRefreshDlg(int seconds, QWidget* parent);

    int Seconds() const;
    QSpinBox* SpinBox() const { return m_pSpin; }

private:
    QSpinBox* m_pSpin;
};

} // namespace nimbra
