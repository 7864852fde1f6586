#include "widgets/view/PagePropertiesDlg.h"

#include "widgets/bars/StatusBar.h"
#include "platform/Text.h"
#include "widgets/view/EngineServices.h"
#include "platform/WebBrowser.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace nimbra {

namespace {

std::string ProtocolName(const QString& scheme)
{
    if (scheme == QLatin1String("http"))
        return "HyperText Transfer Protocol";
    if (scheme == QLatin1String("https"))
        return "HyperText Transfer Protocol with Privacy";
    if (scheme == QLatin1String("ftp"))
        return "File Transfer Protocol";
    if (scheme == QLatin1String("file"))
        return "ファイル プロトコル";
    if (scheme.isEmpty())
        return "不明";
    return FromQ(scheme) + " プロトコル";
}

std::string TypeName(const std::string& mime)
{
    if (mime == "text/html")
        return "HTML ドキュメント";
    if (mime == "text/plain")
        return "テキスト ドキュメント";
    if (mime.rfind("image/", 0) == 0)
        return "画像 (" + mime + ")";
    return mime.empty() ? "不明" : mime;
}

} // namespace

SPageProperties CPagePropertiesDlg::Describe(const std::string& url, const std::string& title,
                                             const SPageDocument& document, int secureLock)
{
    const QUrl qurl(ToQ(url));
    SPageProperties p;
    p.title = title;
    p.address = url;
    p.protocol = ProtocolName(qurl.scheme());
    p.type = TypeName(document.contentType);
    p.zone = FromQ(CNimbraStatusBar::ZoneName(UrlZone(url)));
    p.security = secureLock > 0 && secureLock < 8 ? "暗号化された接続 (SSL)" : "保護されていません";
    long long size = document.size;
    if (size < 0 && qurl.isLocalFile()) {
        const QFileInfo info(qurl.toLocalFile());
        if (info.isFile())
            size = info.size();
    }
    if (size >= 0)
        p.size = FromQ(QLocale(QLocale::English).toString(size)) + " バイト";
    return p;
}

CPagePropertiesDlg::CPagePropertiesDlg(const SPageProperties& properties, QWidget* parent)
    : QDialog(parent), m_properties(properties)
{
    setWindowTitle(QStringLiteral("プロパティ"));
    auto* form = new QFormLayout;
    auto add = [&](const char* label, const std::string& value) {
        auto* text = new QLabel(ToQ(value), this);
        // Title and address come from the page.
        text->setTextFormat(Qt::PlainText);
        text->setTextInteractionFlags(Qt::TextSelectableByMouse);
        text->setWordWrap(true);
        form->addRow(QString::fromUtf8(label), text);
    };
    add("タイトル:", properties.title);
    add("アドレス (URL):", properties.address);
    add("プロトコル:", properties.protocol);
    add("種類:", properties.type);
    add("ゾーン:", properties.zone);
    add("接続:", properties.security);
    add("サイズ:", properties.size.empty() ? std::string("不明") : properties.size);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    setMinimumWidth(400);
}

} // namespace nimbra
