#include "platform/SystemSettings.h"
#include "widgets/bars/AddressCombo.h"
#include "ui/CommandIds.h"
#include "platform/WebEngineBrowser.h"

#include "HttpServer.h"
#include "TestBrowser.h"

#include <QWebEnginePage>
#include <QWebEngineProfile>

using namespace nimbra;
using testenv::SpinUntil;

namespace {

constexpr int kLoadMs = 20000;

class ViewE2E : public testenv::EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        m_server.AddHtml("/links", "Links",
                         "<a id=blank href='/target' target=_blank>new</a> <a id=plain href='/plain'>same</a>");
        m_server.AddHtml("/target", "Target");
        m_server.AddHtml("/plain", "Plain");
        m_server.AddHtml("/popup", "Popup opener",
                         "<script>function go(u) { window.open(u); }</script>");
        m_server.AddHtml("/ads/banner", "Banner");
        m_server.AddHtml("/slow", "Slow", "<p>slow</p>", 600);
        m_server.AddHtml("/doc", "Doc",
                         "<a id=frag href='#sec'>f</a> <button id=push onclick=\"history.pushState({}, '', "
                         "'/pushed')\">p</button><p style='height:3000px'></p><h2 id=sec>s</h2>");
    }

    std::string Url(const char* path) const { return m_server.Url(path).toStdString(); }
    std::string AddressText() const { return m_frame->AddressCombo()->currentText().toStdString(); }

    static void RunScript(CNimbraView* view, const QString& script)
    {
        dynamic_cast<CWebEngineBrowser*>(view->Browser())->Page()->runJavaScript(script);
    }

    testenv::HttpServer m_server;
};

// Wraps the real engine and writes down the events it delivers.
class RecordingBrowser : public IWebBrowser, public IWebBrowserEvents {
public:
    RecordingBrowser(std::unique_ptr<CWebEngineBrowser> inner, std::vector<std::string>* log)
        : m_inner(std::move(inner)), m_log(log)
    {
    }
    QWidget* Widget() override { return m_inner->Widget(); }
    void SetEvents(IWebBrowserEvents* events) override
    {
        m_view = events;
        m_inner->SetEvents(events ? this : nullptr);
    }
    void Navigate(const std::string& url, int flags, const std::string& frame) override
    {
        m_inner->Navigate(url, flags, frame);
    }
    void GoBack() override { m_inner->GoBack(); }
    void GoForward() override { m_inner->GoForward(); }
    void GoHome() override { m_inner->GoHome(); }
    void Refresh(int level) override { m_inner->Refresh(level); }
    void Stop() override { m_inner->Stop(); }
    std::string LocationURL() const override { return m_inner->LocationURL(); }
    std::string LocationName() const override { return m_inner->LocationName(); }
    bool Busy() const override { return m_inner->Busy(); }
    void SetRegisterAsBrowser(bool on) override { m_inner->SetRegisterAsBrowser(on); }
    void SetSilent(bool on) override { m_inner->SetSilent(on); }
    int GetZoom() const override { return m_inner->GetZoom(); }
    void SetZoom(int size) override { m_inner->SetZoom(size); }
    void SetDownloadControl(unsigned flags) override { m_inner->SetDownloadControl(flags); }
    unsigned DownloadControl() const override { return m_inner->DownloadControl(); }
    void SetHostUI(unsigned flags, unsigned dbl) override { m_inner->SetHostUI(flags, dbl); }
    void ReadDocument(std::function<void(const SPageDocument&)> done) override { m_inner->ReadDocument(done); }
    void WriteBodyHtml(const std::string& html) override { m_inner->WriteBodyHtml(html); }
    void ReadHtml(std::function<void(const std::string&)> done) override { m_inner->ReadHtml(done); }
    void ReadSelectionText(std::function<void(const std::string&)> done) override
    {
        m_inner->ReadSelectionText(done);
    }
    void WriteFrameBodyHtml(const std::vector<int>& path, const std::string& html) override
    {
        m_inner->WriteFrameBodyHtml(path, html);
    }
    std::vector<std::string> BackList() const override { return m_inner->BackList(); }
    std::vector<std::string> ForwardList() const override { return m_inner->ForwardList(); }
    void GoToHistory(int offset) override { m_inner->GoToHistory(offset); }
    void FindText(const std::string& text, bool backward, bool matchCase,
                  std::function<void(int, int)> done) override
    {
        m_inner->FindText(text, backward, matchCase, done);
    }
    void SavePage(const std::string& path, bool complete, std::function<void(bool)> done) override
    {
        m_inner->SavePage(path, complete, done);
    }
    void Print(QPrinter* printer, std::function<void(bool)> done) override { m_inner->Print(printer, done); }
    void TriggerPageAction(EPageAction action) override { m_inner->TriggerPageAction(action); }
    void DownloadUrl(const std::string& url) override { m_inner->DownloadUrl(url); }

    bool BeforeNavigate2(const std::string& url, int flags, const std::string& frame) override
    {
        m_log->push_back("BeforeNavigate2");
        return m_view->BeforeNavigate2(url, flags, frame);
    }
    bool SubFrameNavigate(const std::string& url) override { return m_view->SubFrameNavigate(url); }
    void DownloadBegin() override { Log("DownloadBegin", [&] { m_view->DownloadBegin(); }); }
    void ProgressChange(int progress, int max) override
    {
        if (m_log->empty() || m_log->back() != "ProgressChange")
            m_log->push_back("ProgressChange");
        m_view->ProgressChange(progress, max);
    }
    void NavigateComplete2(const std::string& url) override
    {
        Log("NavigateComplete2", [&] { m_view->NavigateComplete2(url); });
    }
    void TitleChange(const std::string& text) override
    {
        Log("TitleChange", [&] { m_view->TitleChange(text); });
    }
    void DownloadComplete() override { Log("DownloadComplete", [&] { m_view->DownloadComplete(); }); }
    void DocumentComplete(const std::string& url) override
    {
        Log("DocumentComplete", [&] { m_view->DocumentComplete(url); });
    }
    IWebBrowser* NewWindow2(bool userInitiated) override
    {
        auto* target = dynamic_cast<RecordingBrowser*>(m_view->NewWindow2(userInitiated));
        return target ? target->m_inner.get() : nullptr;
    }
    void StatusTextChange(const std::string& text) override { m_view->StatusTextChange(text); }
    void CommandStateChange(int command, bool enabled) override { m_view->CommandStateChange(command, enabled); }
    void SetSecureLockIcon(int state) override { m_view->SetSecureLockIcon(state); }
    void WindowClosing() override { m_view->WindowClosing(); }

    // Icon of the tab after each event.
    std::vector<int> icons;

private:
    template <typename F>
    void Log(const char* name, F forward)
    {
        m_log->push_back(name);
        forward();
        auto* view = dynamic_cast<CNimbraView*>(m_view);
        if (view && (icons.empty() || icons.back() != view->m_nTabImage))
            icons.push_back(view->m_nTabImage);
    }

    std::unique_ptr<CWebEngineBrowser> m_inner;
    IWebBrowserEvents* m_view = nullptr;
    std::vector<std::string>* m_log;
};

} // namespace

TEST_F(ViewE2E, OneNavigationDeliversItsEventsInOrderAndUnreadIcon)
{
    std::vector<std::string> log;
    std::vector<RecordingBrowser*> browsers;
    m_app->SetBrowserFactory([this, &log, &browsers](QWidget* parent) {
        auto inner = std::make_unique<CWebEngineBrowser>(m_app->Profile(), parent, "about:blank");
        auto browser = std::make_unique<RecordingBrowser>(std::move(inner), &log);
        browsers.push_back(browser.get());
        return browser;
    });
    Start();
    OpenAndWait(Url("/links"));
    log.clear();
    CNimbraView* background = OpenAndWait(Url("/slow"));
    // Progress and title may repeat; each event first comes in this order,
    // and DocumentComplete ends the navigation.
    std::vector<std::string> firsts;
    for (const std::string& event : log)
        if (std::find(firsts.begin(), firsts.end(), event) == firsts.end())
            firsts.push_back(event);
    EXPECT_EQ(firsts, (std::vector<std::string>{"BeforeNavigate2", "DownloadBegin", "ProgressChange",
                                                "NavigateComplete2", "TitleChange", "DownloadComplete",
                                                "DocumentComplete"}));
    EXPECT_EQ(log.back(), "DocumentComplete");
    // Loading, navigated, then unread for a tab completed in the background.
    ASSERT_EQ(browsers.size(), 2u);
    EXPECT_EQ(browsers[1]->icons, (std::vector<int>{1, 2, 4}));
    EXPECT_EQ(Tabs()->GetItemImage(background->m_nTab), 4);
    EXPECT_EQ(Tabs()->GetItemImage(0), -1);
    Tabs()->SelectTab(background->m_nTab);
    EXPECT_EQ(Tabs()->GetItemImage(background->m_nTab), -1);
}

TEST_F(ViewE2E, TargetBlankLinkOpensABackgroundTabOrAnActiveOne)
{
    for (int activeNewTab : {0, 1}) {
        Option("ActiveNewTab", activeNewTab);
        m_frame ? m_frame->ReloadSettings() : void(Start());
        CNimbraView* links = OpenAndWait(Url("/links"));
        Tabs()->SelectTab(links->m_nTab);
        const int before = Tabs()->GetItemCount();
        RunScript(links, "document.getElementById('blank').click()");
        ASSERT_TRUE(SpinUntil([&] { return Tabs()->GetItemCount() == before + 1; }, kLoadMs));
        CNimbraView* opened = Tabs()->ViewAt(before);
        EXPECT_TRUE(SpinUntil([&] { return opened->GetLocationURL() == Url("/target"); }, kLoadMs));
        EXPECT_EQ(m_frame->ActiveView() == opened, activeNewTab == 1);
    }
}

TEST_F(ViewE2E, LockedTabNeverLeavesItsPage)
{
    Start();
    CNimbraView* links = OpenAndWait(Url("/links"));
    links->ToggleNaviLock();
    RunScript(links, "document.getElementById('plain').click()");
    ASSERT_TRUE(SpinUntil([&] { return Tabs()->GetItemCount() == 2; }, kLoadMs));
    EXPECT_TRUE(SpinUntil([&] { return m_server.Requests().contains("/plain"); }, kLoadMs));
    EXPECT_EQ(links->GetLocationURL(), Url("/links"));

    Option("NaviNewTabLock", 1);
    m_frame->ReloadSettings();
    // The refused link ends in a failed load, after the target=_blank click
    // before it was decided.
    bool refused = false;
    QObject watch;
    QObject::connect(dynamic_cast<CWebEngineBrowser*>(links->Browser())->Page(), &QWebEnginePage::loadFinished,
                     &watch, [&refused](bool ok) { refused = refused || !ok; });
    RunScript(links, "document.getElementById('blank').click(); document.getElementById('plain').click();");
    ASSERT_TRUE(SpinUntil([&] { return refused; }, kLoadMs));
    EXPECT_EQ(Tabs()->GetItemCount(), 2);
    EXPECT_EQ(links->GetLocationURL(), Url("/links"));
}

TEST_F(ViewE2E, BlockedPopupsAreClosedQuicklyAndCounted)
{
    Option("CloseUrl", 1);
    BlockUrls({"*/ads/*"});
    Start();
    CNimbraView* opener = OpenAndWait(Url("/popup"));
    RunScript(opener, QString("go('%1')").arg(m_server.Url("/ads/banner")));
    ASSERT_TRUE(SpinUntil([&] { return m_frame->m_nCWC == 1; }, kLoadMs));
    ASSERT_TRUE(SpinUntil([&] { return m_frame->TabCount() == 1; }, kLoadMs));
    EXPECT_FALSE(m_server.Requests().contains("/ads/banner")) << "closed before its page was asked for";
    EXPECT_TRUE(m_frame->RecentClosed().Entries().empty());

    // A blank pop-up that moves on to a blocked address.
    RunScript(opener, QString("var w = window.open('about:blank'); w.location.href = '%1';")
                          .arg(m_server.Url("/ads/banner")));
    ASSERT_TRUE(SpinUntil([&] { return m_frame->m_nCWC == 2; }, kLoadMs));
    ASSERT_TRUE(SpinUntil([&] { return m_frame->TabCount() == 1; }, kLoadMs));
    EXPECT_TRUE(m_frame->RecentClosed().Entries().empty());

    m_frame->close();
    EXPECT_EQ(m_app->Settings().GetInt("Options", "CWC", 0), 2);
}

TEST_F(ViewE2E, BlockedTitleClosesEveryNewTab)
{
    Option("CloseTitle", 1);
    BlockTitles({"*"});
    Start();
    m_app->OpenUrl(Url("/plain"));
    m_app->OpenUrl(Url("/target"));
    EXPECT_EQ(m_frame->m_nCWC, 2);
    EXPECT_TRUE(SpinUntil([&] { return m_frame->TabCount() == 0; }, 2000));
}

TEST_F(ViewE2E, WorkingOfflineRefusesTheNetwork)
{
    Start();
    CWebEngineBrowser::SetWorkOffline(true);
    CNimbraView* view = OpenAndWait(Url("/plain"));
    EXPECT_FALSE(m_server.Requests().contains("/plain"));
    CWebEngineBrowser::SetWorkOffline(false);
    view->Navigate(Url("/target"));
    EXPECT_TRUE(SpinUntil([&] { return m_server.Requests().contains("/target"); }, kLoadMs));
}

TEST_F(ViewE2E, TheFirstTabMakesTheProfileWithTheUserAgentAndCookiePolicy)
{
    Option("UserAgent", std::string("NimbraTest/1.0"));
    CSystemSettings().SetCookieChoice(2); // session only
    struct Restore {
        ~Restore() { CSystemSettings().SetCookieChoice(0); }
    } restore;
    Start();
    EXPECT_EQ(m_app->ExistingProfile(), nullptr); // the frame alone does not start the engine
    OpenAndWait(Url("/plain"));
    QWebEngineProfile* profile = m_app->ExistingProfile();
    ASSERT_NE(profile, nullptr);
    EXPECT_EQ(profile->httpUserAgent(), QStringLiteral("NimbraTest/1.0"));
    EXPECT_EQ(profile->persistentCookiesPolicy(), QWebEngineProfile::NoPersistentCookies);
}

TEST_F(ViewE2E, AddressesWithoutASchemeAreWebAddresses)
{
    Start();
    const std::string port = std::to_string(m_server.port());
    // A new tab (command line, lists), then the address bar of that tab.
    CNimbraView* view = OpenAndWait("127.0.0.1:" + port + "/plain");
    EXPECT_EQ(view->GetLocationURL(), Url("/plain"));
    m_frame->AddressCombo()->Go("localhost:" + port + "/target", 1, 0, 1, 1);
    EXPECT_TRUE(SpinUntil([&] { return view->GetLocationName() == "Target"; }, kLoadMs));
    EXPECT_EQ(view->GetLocationURL(), "http://localhost:" + port + "/target");
}

TEST_F(ViewE2E, LockedTabReloadsInPlace)
{
    Start();
    CNimbraView* view = OpenAndWait(Url("/plain"));
    view->ToggleNaviLock();
    const std::function<void()> reloads[] = {
        [&] { m_frame->ExecuteCommand(ID_REFRESH_ALL); },
        [&] {
            m_frame->m_nContextTab = 0;
            m_frame->ExecuteCommand(ID_CONTEXT_REFRESH);
        },
        [&] { RunScript(view, "location.reload()"); },
    };
    for (const auto& reload : reloads) {
        const qsizetype before = m_server.Requests().count("/plain");
        reload();
        ASSERT_TRUE(SpinUntil([&] { return m_server.Requests().count("/plain") > before; }, kLoadMs));
        ASSERT_TRUE(SpinUntil([&] { return !view->Browser()->Busy(); }, kLoadMs));
        EXPECT_EQ(m_frame->TabCount(), 1);
    }
    EXPECT_EQ(Tabs()->GetItemImage(0), TABIMG_LOCKED);

    // A blank page reloads without asking about its navigation.
    CNimbraView* blank = OpenAndWait("about:blank");
    blank->ToggleNaviLock();
    bool reloaded = false;
    QObject::connect(blank, &CNimbraView::DocumentCompleted, blank, [&reloaded] { reloaded = true; });
    m_frame->ExecuteCommand(ID_REFRESH_ALL);
    ASSERT_TRUE(SpinUntil([&] { return reloaded && !view->Browser()->Busy(); }, kLoadMs));
    EXPECT_EQ(m_frame->TabCount(), 2);
}

TEST_F(ViewE2E, MovesInsideTheDocumentEndLikeLoads)
{
    Start();
    CNimbraView* view = OpenAndWait(Url("/doc"));
    RunScript(view, "document.getElementById('frag').click()");
    ASSERT_TRUE(SpinUntil([&] { return view->m_bCanGoBack; }, kLoadMs));
    EXPECT_EQ(AddressText(), Url("/doc") + "#sec");
    EXPECT_EQ(Tabs()->GetItemImage(0), TABIMG_NONE);

    RunScript(view, "document.getElementById('push').click()");
    ASSERT_TRUE(SpinUntil([&] { return AddressText() == Url("/pushed"); }, kLoadMs));
    EXPECT_EQ(Tabs()->GetItemImage(0), TABIMG_NONE);

    m_frame->ExecuteCommand(ID_BACK);
    ASSERT_TRUE(SpinUntil([&] { return AddressText() == Url("/doc") + "#sec"; }, kLoadMs));
    EXPECT_TRUE(view->m_bCanGoForward);
    EXPECT_FALSE(m_server.Requests().contains("/pushed"));
}

TEST_F(ViewE2E, ScriptUrlsRunInTheActiveTabAndEveryTabIsShown)
{
    Start();
    CNimbraView* view = OpenAndWait(Url("/popup"));
    EXPECT_EQ(m_app->OpenUrl("javascript:void(document.title='Ran')"), nullptr);
    EXPECT_TRUE(SpinUntil([&] { return view->GetLocationName() == "Ran"; }, kLoadMs));
    EXPECT_EQ(m_frame->TabCount(), 1);
    // A pop-up whose navigation never starts.
    RunScript(view, "window.open('javascript:void(0)')");
    ASSERT_TRUE(SpinUntil([&] { return Tabs()->GetItemCount() == 2; }, kLoadMs));
    EXPECT_EQ(m_frame->TabCount(), 2);
}
