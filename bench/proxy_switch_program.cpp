// Switch time of the browser: the proxy commands of its menu (the first proxy
// of "proxy.ini", then "ダイレクトに接続") with one page open, 20 times:
//   proxy_switch_program [N]
// Compare with bare_proxy_switch_program, a bare QWebEngineView doing the
// same set-and-probe.
#include "app/NimbraApp.h"
#include "ui/CommandIds.h"
#include "frames/browser/ChildFrame.h"
#include "frames/browser/MainFrame.h"
#include "platform/Paths.h"
#include "widgets/view/NimbraView.h"

#include "BenchSetup.h"
#include "EngineArgs.h"
#include "ProxySwitchTimer.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 20;
    QTemporaryDir home;
    benchutil::UseTemporaryHome(home);
    nimbra::PrepareWebEngineEnvironment();
    testenv::ProxiedTestArgs arguments(argc, argv);
    QApplication application(arguments.argc(), arguments.argv());
    benchutil::ProxySwitchTimer timer;
    QFile ini(QString::fromStdString(nimbra::DataFile("proxy.ini")));
    if (!ini.open(QIODevice::WriteOnly))
        return 1;
    ini.write("[ProxyOptions]\r\nProxyIndex=0\r\nProxyEnable=2\r\n\r\n[Proxy_0]\r\nProxyName=bench\r\nProxyServer=127.0.0.1:" +
              QByteArray::number(timer.ProxyPort()) + "\r\n");
    ini.close();

    nimbra::CNimbraApp app;
    if (!app.InitInstance({QString::fromLocal8Bit(argv[0])}))
        return 1;
    nimbra::CMainFrame* frame = app.MainFrame();
    nimbra::CNimbraView* view = app.OpenUrl(timer.PageUrl());
    if (!view)
        return 1;
    frame->ActivateTab(nimbra::CChildFrame::Of(view));
    int loads = 0;
    QObject::connect(view, &nimbra::CNimbraView::DocumentCompleted, [&loads] { ++loads; });
    return timer.Run(
        rounds, [frame] { frame->ExecuteCommand(nimbra::ID_PROXY_FIRST); },
        [frame] { frame->ExecuteCommand(nimbra::ID_PROXY_DIRECT); }, [&loads] { return loads; });
}
