#include "app/AboutDlg.h"

#include "app/NimbraApp.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>
#include <QtWebEngineCore/qtwebenginecoreglobal.h>

namespace nimbra {

namespace {
constexpr char kVersion[] = NIMBRA_VERSION_STRING;
constexpr char kMakerAddress[] = "https://nimbra.example.org/";
} // namespace

QString CAboutDlg::VersionText()
{
    return QStringLiteral("[ Nimbra Browser ] ver %1\r\n[ Qt WebEngine ] ver %2\r\n[ Qt ] ver %3")
        .arg(QString::fromLatin1(kVersion), QString::fromLatin1(qWebEngineChromiumVersion()),
             QString::fromLatin1(qVersion()));
}

CAboutDlg::CAboutDlg(int closedTotal, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("About Nimbra Browser"));
    auto* layout = new QVBoxLayout(this);

    auto* name = new QLabel(QStringLiteral("Nimbra Browser"), this);
    QFont bold = font();
    bold.setWeight(QFont::Bold);
    name->setFont(bold);
    layout->addWidget(name);
    layout->addWidget(new QLabel(QStringLiteral("Version %1").arg(QString::fromLatin1(kVersion)), this));

    auto* versions = new QPlainTextEdit(VersionText(), this);
    versions->setReadOnly(true);
    versions->setFixedHeight(versions->fontMetrics().lineSpacing() * 4 + 12);
    layout->addWidget(versions);

    auto* group = new QGroupBox(QStringLiteral("Closed Total"), this);
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(new QLabel(QString::asprintf("%d", closedTotal), group));
    layout->addWidget(group);

    auto* link = new QLabel(QStringLiteral("<a href=\"%1\">%1</a>").arg(QString::fromLatin1(kMakerAddress)), this);
    link->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    connect(link, &QLabel::linkActivated, this,
            [](const QString& address) { CNimbraApp::Instance()->OpenUrl(address.toStdString(), 0, {}, 0, 0); });
    layout->addWidget(link);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
}

} // namespace nimbra
