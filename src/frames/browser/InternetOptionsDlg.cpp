#include "frames/browser/InternetOptionsDlg.h"

#include "frames/browser/MainFrame.h"
#include "platform/SystemSettings.h"
#include "widgets/tools/ToolsCommands.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QWebEngineCookieStore>
#include <QWebEngineProfile>

namespace nimbra {

namespace {

QWidget* GeneralPage(CMainFrame* frame, QWidget* parent)
{
    auto* page = new QWidget(parent);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(new QLabel(QStringLiteral("閲覧の履歴"), page));
    auto* history = new QPushButton(QStringLiteral("履歴のクリア(&H)"), page);
    auto* cache = new QPushButton(QStringLiteral("ファイルの削除(&F)"), page);
    auto* cookies = new QPushButton(QStringLiteral("Cookie の削除(&I)"), page);
    layout->addWidget(history);
    layout->addWidget(cache);
    layout->addWidget(cookies);
    layout->addStretch();
    // The profile is made on a click only: the engine's stored data may
    // predate this run's first tab.
    auto profile = [frame] { return frame->Host().Profile(); };
    QObject::connect(history, &QPushButton::clicked, page, [frame, profile] {
        frame->ClearHistory();
        profile()->clearAllVisitedLinks();
    });
    QObject::connect(cache, &QPushButton::clicked, page, [frame, profile] {
        frame->DropHistoryCopies();
        profile()->clearHttpCache();
    });
    QObject::connect(cookies, &QPushButton::clicked, page, [profile] { profile()->cookieStore()->deleteAllCookies(); });
    return page;
}

QWidget* SecurityPage(QWidget* parent)
{
    auto* page = new QWidget(parent);
    auto* layout = new QVBoxLayout(page);
    auto* zones = new QLabel(QStringLiteral("ゾーンはアドレスから決まります:\n"
                                            "・マイ コンピュータ: ファイルとローカルのパス\n"
                                            "・イントラネット: このコンピュータ、ドットのないホスト、プライベート アドレス\n"
                                            "・インターネット: それ以外"),
                             page);
    zones->setWordWrap(true);
    layout->addWidget(zones);
    layout->addStretch();
    return page;
}

} // namespace

CInternetOptionsDlg::CInternetOptionsDlg(CMainFrame* frame, int page) : QDialog(frame), m_pFrame(frame)
{
    setWindowTitle(QStringLiteral("インターネット オプション"));
    CSystemSettings system;
    auto* layout = new QVBoxLayout(this);
    m_pPages = new QTabWidget(this);
    m_pPages->addTab(GeneralPage(frame, m_pPages), QStringLiteral("全般"));
    m_pPages->addTab(SecurityPage(m_pPages), QStringLiteral("セキュリティ"));

    auto* privacy = new QWidget(m_pPages);
    auto* privacyLayout = new QFormLayout(privacy);
    m_pCookies = new QComboBox(privacy);
    m_pCookies->addItems({QStringLiteral("すべての Cookie を受け入れる"), QStringLiteral("サード パーティの Cookie をブロック"),
                          QStringLiteral("セッションの間だけ保存する"), QStringLiteral("すべての Cookie をブロック")});
    m_pCookies->setCurrentIndex(system.CookieChoice());
    privacyLayout->addRow(QStringLiteral("Cookie:"), m_pCookies);
    m_pPages->addTab(privacy, QStringLiteral("プライバシー"));

    auto* connection = new QWidget(m_pPages);
    auto* connectionLayout = new QFormLayout(connection);
    m_pProxyMode = new QComboBox(connection);
    m_pProxyMode->addItems({QStringLiteral("システムの設定を使う"), QStringLiteral("プロキシを使わない"),
                            QStringLiteral("次のプロキシ サーバーを使う")});
    m_pProxyMode->setCurrentIndex(system.ProxyMode());
    m_pProxyServer = new QLineEdit(QString::fromStdString(system.ProxyServer()), connection);
    m_pProxyServer->setPlaceholderText(QStringLiteral("http=host:port;socks=host:port"));
    m_pOffline = new QCheckBox(QStringLiteral("オフライン作業(&W)"), connection);
    m_pOffline->setChecked(frame->Offline().IsOffline());
    connectionLayout->addRow(QStringLiteral("プロキシ:"), m_pProxyMode);
    connectionLayout->addRow(QStringLiteral("サーバー:"), m_pProxyServer);
    connectionLayout->addRow(m_pOffline);
    m_pPages->addTab(connection, QStringLiteral("接続"));

    m_pPages->setCurrentIndex(qBound(0, page, m_pPages->count() - 1));
    layout->addWidget(m_pPages);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        Apply();
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

void CInternetOptionsDlg::Apply()
{
    CSystemSettings system;
    system.SetCookieChoice(m_pCookies->currentIndex());
    system.SetProxy(m_pProxyMode->currentIndex(), m_pProxyServer->text().trimmed().toStdString());
    OnSystemProxyChanged(*m_pFrame);
    m_pFrame->ApplyCookieRules();
    m_pFrame->SetOfflineMode(m_pOffline->isChecked());
}

} // namespace nimbra
