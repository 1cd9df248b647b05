// The browser pane against the local auction site: the first page, the
// address bar, refreshing a listed item by viewing its page, adding the
// items of the shown page, the local site's certificate, printing, and the
// pane size kept at close.

#include <QCheckBox>
#include <QFile>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QRadioButton>
#include <QSslCertificate>
#include <filesystem>

#include "BrowserTestSupport.h"
#include "Certificate.h"
#include "base/Prompt.h"
#include "base/Settings.h"
#include "base/ui/DialogRunner.h"
#include "bidding/SiteHarness.h"
#include "browser/ui/AddSelection.h"
#include "listview/ItemListCore.h"
#include "listview/ListHarness.h"
#include "site/ItemPageParser.h"
#include "site/PageFetch.h"
#include "site/SiteEndpoints.h"
#include "text/TextTools.h"

namespace bexora::test {
namespace {

class PaneTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_site = std::make_unique<LocalSite>();
        m_doc.SetPathName(m_site->WorkFile("list.bid"));
        m_core = std::make_unique<CItemListCore>(m_doc, m_front, m_ui, &m_jobs);
        m_core->Initialize();
        m_host.sink = &m_sink;
        TakeShownPrompts();
        SetDialogRunner({});
    }
    void TearDown() override {
        m_view.reset();
        SetDialogRunner({});
        m_core.reset();
        CloseThreadConnections();
        m_site.reset();
        SetSettingsPath("");
        TakeShownPrompts();
    }
    CebayView& View(int width = 900, int height = 600) {
        if (!m_view) {
            m_view = std::make_unique<CebayView>(&m_host);
            m_host.view = m_view.get();
            m_view->resize(width, height);
            m_view->show();
        }
        return *m_view;
    }
    void ListItem(const std::string& number, const std::string& price = "$1.00") {
        auto item = std::make_unique<CItem>();
        item->m_strItemNumber = number;
        item->m_strTitle = "old title";
        item->m_strCurrentPrice = price;
        item->m_strTimeLeft = "9 days 9 hours";
        m_core->InsertItemRow(m_doc.AddItem(std::move(item)));
    }
    // The command on the shown page, waited for.
    PageAddResult AddFromShownPage() {
        bool done = false;
        PageAddResult result;
        View().OnAddItemFromBrowserPage([&](const PageAddResult& r) {
            result = r;
            done = true;
        });
        EXPECT_TRUE(WaitFor([&] { return done; }));
        return result;
    }
    static std::string ItemLink(const std::string& number) {
        return "http://" + Settings().GetString(setting::SiteItemHost) +
               "/ws/eBayISAPI.dll?ViewItem&item=" + number + "&cmdZViewItem";
    }

    std::unique_ptr<LocalSite> m_site;
    CebayDoc m_doc;
    FakeFrontEnd m_front;
    CapturedJobs m_jobs;
    CUiDispatcher m_ui;
    std::unique_ptr<CItemListCore> m_core;
    CListSink<CItemListCore> m_sink{nullptr};
    RecordingHost m_host;
    std::unique_ptr<CebayView> m_view;

    void UseList() { m_sink = CListSink<CItemListCore>(m_core.get()); }
};

TEST(Addresses, AnAddressWithoutSchemeIsHttp) {
    EXPECT_EQ(CebayView::AddressWithScheme("www.ebay.com/x?a=b"), "http://www.ebay.com/x?a=b");
    EXPECT_EQ(CebayView::AddressWithScheme("127.0.0.1:8080/ws"), "http://127.0.0.1:8080/ws");
    EXPECT_EQ(CebayView::AddressWithScheme("localhost:8080"), "http://localhost:8080");
    for (const char* kept : {"https://127.0.0.1:1/a", "HTTP://x", "about:blank",
                             "file:///tmp/a.html", "javascript:void(0)"})
        EXPECT_EQ(CebayView::AddressWithScheme(kept), kept);
}

TEST_F(PaneTest, FirstPageIsFirstRunOnceThenWhatsNewAfterAnUpdateThenHome) {
    CSettingsStore& store = Settings();
    store.DeleteKey(setting::FirstRun);  // a first start: default 1
    std::vector<std::string> completed;
    auto c = QObject::connect(&View(), &CebayView::DocumentComplete,
                              [&](const QString& u) { completed.push_back(u.toStdString()); });
    View().OnInitialUpdate();
    EXPECT_EQ(m_host.address, site::VendorUrl() + "/firstrun.html");
    EXPECT_EQ(m_host.navigations, 1);
    EXPECT_EQ(store.GetInt(setting::FirstRun), 0);
    EXPECT_EQ(store.GetString(setting::WorkDir), std::filesystem::current_path().string());
    // The maker's page is really shown, and the address bar follows it.
    ASSERT_TRUE(WaitFor([&] { return !completed.empty(); }));
    EXPECT_EQ(completed.back(), site::VendorUrl() + "/firstrun.html");
    EXPECT_EQ(m_host.address, completed.back());

    store.WriteInt(setting::FirstRun, 2);
    store.WriteString(setting::WorkDir, "/kept");
    m_host.view = nullptr;
    View().OnInitialUpdate();
    EXPECT_EQ(m_host.address, site::VendorUrl() + "/whatsnew.html");
    EXPECT_EQ(store.GetInt(setting::FirstRun), 0);
    EXPECT_EQ(store.GetString(setting::WorkDir), "/kept");

    View().OnInitialUpdate();
    EXPECT_EQ(m_host.address, site::HomeUrl());
    EXPECT_EQ(m_host.navigations, 3);

    // A home page of "about:blank" is an empty page.
    m_host.view = &View();
    store.WriteString(setting::HomepageLeftPanel, "about:blank");
    View().OnInitialUpdate();
    ASSERT_TRUE(WaitFor([&] { return completed.size() == 2; }));
    QObject::disconnect(c);
    EXPECT_EQ(completed.back(), "about:blank");
    EXPECT_EQ(m_host.address, "about:blank");
    EXPECT_EQ(PageText(View()), "");
}

TEST_F(PaneTest, AddressBarFollowsThePageAndTheGoCommandsMove) {
    // The site answers the item page with two redirects first: the address
    // bar ends on where the browser really is.
    const std::string a = m_site->AddItem(R"({"title":"Brass compass","price":5})");
    m_site->Fault(R"({"path":"/ws/eBayISAPI.dll?ViewItem","redirects":[302,302],"count":1})");
    const std::string reported = LoadAndWait(View(), site::ItemViewUrl(a));
    const std::string first = View().LocationURL();
    EXPECT_EQ(reported, first);
    EXPECT_EQ(m_host.address, first);
    EXPECT_NE(first.find("/_hop/"), std::string::npos) << first;
    EXPECT_NE(PageText(View()).find("Brass compass"), std::string::npos);

    LoadAndWait(View(), site::OfficialTimeUrl());
    const std::string second = View().LocationURL();
    bool done = false;
    auto c = QObject::connect(&View(), &CebayView::DocumentComplete, [&] { done = true; });
    View().OnGoBack();
    ASSERT_TRUE(WaitFor([&] { return done && View().LocationURL() == first; }));
    done = false;
    View().OnGoForward();
    ASSERT_TRUE(WaitFor([&] { return done && View().LocationURL() == second; }));
    done = false;
    View().OnGoHome();
    ASSERT_TRUE(WaitFor([&] { return done && View().LocationURL() == site::HomeUrl(); }));
    QObject::disconnect(c);
    EXPECT_EQ(m_host.address, site::HomeUrl());

    // An address typed while a slow page still loads wins over it.
    m_site->Fault(R"({"path":"/aw-cgi/","latency_ms":1500,"count":1})");
    std::vector<std::string> completed;
    c = QObject::connect(&View(), &CebayView::DocumentComplete,
                         [&](const QString& u) { completed.push_back(u.toStdString()); });
    View().Navigate(site::OfficialTimeUrl() + "&slow=1");
    Settle(200);
    View().Navigate(first);
    ASSERT_TRUE(WaitFor([&] { return !completed.empty() && completed.back() == first; }));
    Settle(1800);
    QObject::disconnect(c);
    EXPECT_EQ(View().LocationURL(), first);
    EXPECT_EQ(m_host.address, first);

    // Blank text navigates nowhere.
    View().Navigate("   ");
    Settle(200);
    EXPECT_EQ(View().LocationURL(), first);
}

TEST_F(PaneTest, ViewingAListedItemsPageRefreshesItsRow) {
    UseList();
    const std::string listed =
        m_site->AddItem(R"({"title":"Leica M3 body","price":420,"ends_in":7200})");
    const std::string other = m_site->AddItem(R"({"title":"Rolleiflex","price":300})");
    ListItem(listed);
    ASSERT_EQ(m_core->GetRowCount(), 1);

    // What the core itself reads from the same page.
    std::string fetched;
    FetchPage(site::ItemViewUrl(listed), fetched);
    StripTags(fetched);
    CItem expected;
    ASSERT_TRUE(ParseItemPage(fetched, expected));

    LoadAndWait(View(), site::ItemViewUrl(listed));
    CItem& row = *m_core->GetItem(0);
    EXPECT_EQ(row.m_strCurrentPrice, expected.m_strCurrentPrice);
    EXPECT_NE(row.m_strCurrentPrice, "$1.00");
    EXPECT_NE(row.m_strTimeLeft, "9 days 9 hours");
    EXPECT_EQ(row.m_strTitle, "Leica M3 body");
    EXPECT_EQ(m_core->GetCellText(0, 2), expected.m_strCurrentPrice);
    EXPECT_EQ(m_host.listChanges, 1);

    // Another item's page, and a page that is no item page, change nothing.
    LoadAndWait(View(), site::ItemViewUrl(other));
    LoadAndWait(View(), site::HomeUrl());
    EXPECT_EQ(m_core->GetRowCount(), 1);
    EXPECT_EQ(m_host.listChanges, 1);
    EXPECT_TRUE(TakeShownPrompts().empty());
}

TEST_F(PaneTest, AddCommandOnAListingAddsItsItemsWithTheChosenMethod) {
    UseList();
    std::vector<std::string> numbers;
    for (const char* t : {R"({"title":"Tin robot","price":12,"ends_in":600})",
                          R"({"title":"Wind-up tram","price":30,"ends_in":1200})",
                          R"({"title":"Steam engine toy","price":75,"ends_in":1800})"})
        numbers.push_back(m_site->AddItem(t));
    LoadAndWait(View(), site::HomeUrl());

    int shown = 0;
    SetDialogRunner([&](QDialog& dialog) {
        auto* d = dynamic_cast<CAddSelection*>(&dialog);
        if (!d) {
            ADD_FAILURE() << "unexpected dialog";
            return int(QDialog::Rejected);
        }
        ++shown;
        d->FastButton()->setChecked(true);
        d->SaveDefaultBox()->setChecked(true);
        return int(QDialog::Accepted);
    });
    PageAddResult r = AddFromShownPage();
    EXPECT_FALSE(r.bItemPage);
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(r.nAdded, 3);
    ASSERT_EQ(m_core->GetRowCount(), 3);
    for (const std::string& n : numbers) EXPECT_GE(m_core->FindRow(n), 0) << n;
    EXPECT_NE(m_core->GetItem(m_core->FindRow(numbers[0]))->m_strTitle.find("Tin robot"),
              std::string::npos);
    EXPECT_EQ(Settings().GetInt(setting::AddSel), kAddFast);
    EXPECT_EQ(Settings().GetInt(setting::AddSaveDefault), 1);
    EXPECT_EQ(m_host.listChanges, 1);

    // Again on the same page: the dialog comes again, nothing is doubled,
    // nothing is said.
    r = AddFromShownPage();
    EXPECT_EQ(shown, 2);
    EXPECT_EQ(r.nAdded, 0);
    EXPECT_EQ(m_core->GetRowCount(), 3);
    EXPECT_EQ(m_host.listChanges, 1);
    EXPECT_TRUE(TakeShownPrompts().empty());
}

TEST_F(PaneTest, AddCommandOnAnItemPageAddsItOrSaysWhy) {
    const std::string a = m_site->AddItem(R"({"title":"Pocket watch","price":40})");
    SetDialogRunner([](QDialog&) {
        ADD_FAILURE() << "an item page asks for no method";
        return int(QDialog::Rejected);
    });
    LoadAndWait(View(), ItemLink(a));

    // No list found for this window.
    PageAddResult r = AddFromShownPage();
    EXPECT_TRUE(r.bItemPage);
    EXPECT_EQ(TakeShownPrompts(), std::vector<std::string>{kFailToAddText});

    UseList();
    r = AddFromShownPage();
    EXPECT_EQ(r.nAdded, 1);
    ASSERT_EQ(m_core->GetRowCount(), 1);
    EXPECT_EQ(m_core->GetItem(0)->m_strItemNumber, a);
    EXPECT_TRUE(TakeShownPrompts().empty());

    r = AddFromShownPage();
    EXPECT_EQ(r.nAdded, 0);
    EXPECT_EQ(m_core->GetRowCount(), 1);
    EXPECT_EQ(TakeShownPrompts(), std::vector<std::string>{kItemAlreadyListedText});
}

TEST_F(PaneTest, ACommandWaitingForThePageEndsOnceWhenThePaneCloses) {
    UseList();
    LoadAndWait(View(), site::HomeUrl());
    int calls = 0;
    PageAddResult got;
    got.nOffered = -1;
    View().OnAddItemFromBrowserPage([&](const PageAddResult& r) {
        ++calls;
        got = r;
    });
    View().OnDestroy();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(got.nOffered, 0);
    Settle();
    EXPECT_EQ(calls, 1);
    // After the close a command answers at once with nothing.
    View().OnAddItemFromBrowserPage([&](const PageAddResult&) { ++calls; });
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(m_core->GetRowCount(), 0);
}

TEST_F(PaneTest, PaneSizeIsKeptAtCloseByTheListPosition) {
    CSettingsStore& store = Settings();
    auto closeWith = [&](int viewPos, int saveWindow) {
        store.WriteInt(setting::ViewPos, viewPos);
        store.WriteInt(setting::SaveWindow, saveWindow);
        store.DeleteKey(setting::WindowWidth);
        store.DeleteKey(setting::WindowHeight);
        CebayView view(&m_host);
        view.resize(640, 480);
        view.show();
        WaitFor([&] { return view.isVisible(); });
        view.OnDestroy();
        store.WriteInt(setting::ViewPos, 1);  // a second close stores nothing more
        view.OnDestroy();
        return std::pair(store.GetProfileInt("Window size", "width", -1),
                         store.GetProfileInt("Window size", "Height", -1));
    };
    EXPECT_EQ(closeWith(2, 1), std::pair(640, -1));
    EXPECT_EQ(closeWith(3, 1), std::pair(640, -1));
    EXPECT_EQ(closeWith(1, 1), std::pair(-1, 480));
    EXPECT_EQ(closeWith(0, 1), std::pair(-1, 480));
    EXPECT_EQ(closeWith(2, 0), std::pair(-1, -1));
    // A pane that never reached the screen keeps nothing.
    store.WriteInt(setting::SaveWindow, 1);
    { CebayView hidden(&m_host); }
    EXPECT_EQ(store.GetProfileInt("Window size", "Height", -1), -1);
}

TEST_F(PaneTest, OnlyTheConfiguredLocalCaOpensHttpsPages) {
    const std::string caFile = Settings().GetString(setting::SiteCaFile);
    const QList<QSslCertificate> siteChain =
        QSslCertificate::fromPath(QString::fromStdString(caFile));
    ASSERT_EQ(siteChain.size(), 1);
    EXPECT_TRUE(ChainIssuedByCaFile(siteChain, caFile, "127.0.0.1"));
    EXPECT_TRUE(ChainIssuedByCaFile(siteChain, caFile, "localhost"));
    EXPECT_FALSE(ChainIssuedByCaFile(siteChain, caFile, "www.ebay.com"));
    EXPECT_FALSE(ChainIssuedByCaFile(siteChain, "", "127.0.0.1"));
    EXPECT_FALSE(ChainIssuedByCaFile(siteChain, m_site->Dir() + "/missing.pem", "127.0.0.1"));

    // Another certificate for the same names, not the configured one.
    TempDir other;
    std::string error;
    ASSERT_TRUE(
        auction::MakeSelfSignedCertificate(other.File("cert.pem"), other.File("key.pem"), &error))
        << error;
    const QList<QSslCertificate> stranger =
        QSslCertificate::fromPath(QString::fromStdString(other.File("cert.pem")));
    ASSERT_EQ(stranger.size(), 1);
    EXPECT_FALSE(ChainIssuedByCaFile(stranger, caFile, "127.0.0.1"));
    // The trusted certificate sent along after a stranger's leaf proves nothing.
    EXPECT_FALSE(ChainIssuedByCaFile({stranger.front(), siteChain.front()}, caFile, "127.0.0.1"));

    // In the pane: with another CA file named the sign-in page does not open
    // (the error page is shown)...
    Settings().WriteString(setting::SiteCaFile, other.File("cert.pem"));
    LoadAndWait(View(), site::SignInPageUrl());
    EXPECT_EQ(PageText(View()).find("Already an eBay member?"), std::string::npos);
    // ...and with the site's own it does.
    Settings().WriteString(setting::SiteCaFile, caFile);
    LoadAndWait(View(), site::SignInPageUrl() + "&again=1");
    EXPECT_NE(PageText(View()).find("Already an eBay member?"), std::string::npos)
        << PageText(View());
}

TEST_F(PaneTest, PrintGoesThroughTheDialogInLandscapeAndPrintsThePage) {
    m_site->AddItem(R"({"title":"Printed thing","price":9})");
    LoadAndWait(View(), site::HomeUrl());
    const std::string pdf = m_site->Dir() + "/page.pdf";
    bool landscape = false;
    SetDialogRunner([&](QDialog& dialog) {
        auto* d = dynamic_cast<QPrintDialog*>(&dialog);
        if (!d) return int(QDialog::Rejected);
        landscape = d->printer()->pageLayout().orientation() == QPageLayout::Landscape;
        d->printer()->setOutputFormat(QPrinter::PdfFormat);
        d->printer()->setOutputFileName(QString::fromStdString(pdf));
        return int(QDialog::Accepted);
    });
    bool finished = false, ok = false;
    auto c = QObject::connect(&View(), &QWebEngineView::printFinished, [&](bool success) {
        finished = true;
        ok = success;
    });
    View().OnFilePrint();
    EXPECT_TRUE(landscape);
    ASSERT_TRUE(WaitFor([&] { return finished; }, 30000));
    QObject::disconnect(c);
    EXPECT_TRUE(ok);
    QFile file(QString::fromStdString(pdf));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.read(4) == "%PDF");

    // Cancelled: nothing printed.
    std::filesystem::remove(pdf);
    SetDialogRunner([](QDialog&) { return int(QDialog::Rejected); });
    View().OnFilePrint();
    Settle();
    EXPECT_FALSE(std::filesystem::exists(pdf));
    // The preview goes through the same seam.
    bool previewed = false;
    SetDialogRunner([&](QDialog& dialog) {
        previewed = dynamic_cast<QPrintPreviewDialog*>(&dialog) != nullptr;
        return int(QDialog::Rejected);
    });
    View().OnFilePrintPreview();
    EXPECT_TRUE(previewed);
}

}  // namespace
}  // namespace bexora::test
