#include "browser/ui/ebayView.h"

#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QHostAddress>
#include <QPageLayout>
#include <QPointer>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QSslCertificate>
#include <QUrl>
#include <QWebEngineCertificateError>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <atomic>
#include <cctype>
#include <filesystem>

#include "base/Settings.h"
#include "base/ui/DialogRunner.h"
#include "browser/ui/AddSelection.h"
#include "browser/ui/CookieBridge.h"
#include "base/ui/AnsiText.h"
#include "base/ui/BusyWork.h"
#include "site/PageFetch.h"
#include "site/SiteEndpoints.h"

namespace bexora {

namespace {

// A window whose list cannot be found: every item is refused.
class CNoListSink : public IItemSink {
public:
    int AddItemIfNew(std::unique_ptr<CItem>, bool) override { return -1; }
};

QPointer<QWebEngineProfile>& ProfileSlot() {
    static QPointer<QWebEngineProfile> profile;
    return profile;
}

// Runs before WebEngine's own shutdown routine (routines run newest first),
// so the profile and its bridge never outlive the engine.
void DeleteProfile() {
    delete ProfileSlot().data();
}

std::string Trimmed(const std::string& text) {
    size_t start = text.find_first_not_of(" \t\r\n");
    if (start == std::string::npos) return std::string();
    size_t end = text.find_last_not_of(" \t\r\n");
    return text.substr(start, end - start + 1);
}

template <class T, void (*Free)(T*)>
struct OsslDeleter {
    void operator()(T* p) const { Free(p); }
};
using X509Ptr = std::unique_ptr<X509, OsslDeleter<X509, X509_free>>;
using StorePtr = std::unique_ptr<X509_STORE, OsslDeleter<X509_STORE, X509_STORE_free>>;
using StoreCtxPtr =
    std::unique_ptr<X509_STORE_CTX, OsslDeleter<X509_STORE_CTX, X509_STORE_CTX_free>>;
using BioPtr = std::unique_ptr<BIO, OsslDeleter<BIO, BIO_free_all>>;

void FreeX509Stack(STACK_OF(X509) * stack) {
    sk_X509_pop_free(stack, X509_free);
}
using StackPtr = std::unique_ptr<STACK_OF(X509), OsslDeleter<STACK_OF(X509), FreeX509Stack>>;

X509Ptr FromDer(const QSslCertificate& cert) {
    const QByteArray der = cert.toDer();
    const unsigned char* p = reinterpret_cast<const unsigned char*>(der.constData());
    return X509Ptr(d2i_X509(nullptr, &p, der.size()));
}

// Every certificate of a PEM file into store; false when there is none.
bool LoadCaFile(X509_STORE* store, const std::string& caFile) {
    BioPtr bio(BIO_new_file(caFile.c_str(), "r"));
    if (!bio) return false;
    int loaded = 0;
    while (X509* cert = PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr)) {
        loaded += X509_STORE_add_cert(store, cert) == 1;
        X509_free(cert);
    }
    return loaded > 0;
}

}  // namespace

bool ChainIssuedByCaFile(const QList<QSslCertificate>& chain, const std::string& caFile,
                         const std::string& host) {
    if (chain.isEmpty() || caFile.empty() || host.empty()) return false;
    StorePtr store(X509_STORE_new());
    if (!store || !LoadCaFile(store.get(), caFile)) return false;
    X509Ptr leaf = FromDer(chain.front());
    if (!leaf) return false;
    StackPtr untrusted(sk_X509_new_null());
    for (qsizetype i = 1; i < chain.size(); ++i) {
        X509Ptr cert = FromDer(chain[i]);
        if (cert && sk_X509_push(untrusted.get(), cert.get())) cert.release();
    }
    StoreCtxPtr ctx(X509_STORE_CTX_new());
    if (!ctx || X509_STORE_CTX_init(ctx.get(), store.get(), leaf.get(), untrusted.get()) != 1)
        return false;
    // The certificate must also name the host it came from.
    X509_VERIFY_PARAM* param = X509_STORE_CTX_get0_param(ctx.get());
    QHostAddress ip;
    const bool isIp = ip.setAddress(QString::fromStdString(host));
    const int named = isIp ? X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str())
                           : X509_VERIFY_PARAM_set1_host(param, host.c_str(), host.size());
    if (named != 1) return false;
    return X509_verify_cert(ctx.get()) == 1;
}

struct CebayView::PendingAdd {
    std::function<void(const PageAddResult&)> done;
    bool finished = false;
};

CebayView::CebayView(IBrowserHost* host, QWidget* parent) : QWebEngineView(parent), m_pHost(host) {
    setAccessibleName("Web page");
    auto* page = new QWebEnginePage(Profile(), this);
    setPage(page);
    connect(page, &QWebEnginePage::certificateError, this, &CebayView::OnCertificateError);
    connect(this, &QWebEngineView::loadFinished, this, &CebayView::OnLoadFinished);
    connect(this, &QWebEngineView::urlChanged, this, [this](const QUrl& url) {
        if (m_pHost && !url.isEmpty())
            m_pHost->SetAddressText(ToAnsi(url.toString(QUrl::FullyEncoded)));
    });
    connect(this, &QWebEngineView::printFinished, this, [this](bool) {
        m_bPrinting = false;
        m_printer.reset();
    });
}

CebayView::~CebayView() {
    OnDestroy();
    m_alive.reset();
}

QWebEngineProfile* CebayView::Profile() {
    QPointer<QWebEngineProfile>& slot = ProfileSlot();
    if (!slot) {
        // No storage name: an off-the-record profile that writes nothing to
        // disk. The cookie jar behind the bridge is the one persistent store.
        auto* profile = new QWebEngineProfile(QCoreApplication::instance());
        profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
        profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
        new CCookieBridge(profile->cookieStore(), profile);
        slot = profile;
        qAddPostRoutine(DeleteProfile);
    }
    return slot.data();
}

// ---- first page and navigation ----

void CebayView::OnInitialUpdate() {
    CSettingsStore& store = Settings();
    const int firstRun = store.GetInt(setting::FirstRun);
    std::string address;
    if (firstRun == 1) {
        address = site::VendorUrl() + "/firstrun.html";
        store.WriteInt(setting::FirstRun, 0);
        std::error_code ec;
        const std::string dir = std::filesystem::current_path(ec).string();
        if (!ec && !dir.empty()) store.WriteString(setting::WorkDir, dir);
    } else if (firstRun == 2) {
        address = site::VendorUrl() + "/whatsnew.html";
        store.WriteInt(setting::FirstRun, 0);
    } else {
        address = store.GetString(setting::HomepageLeftPanel);
    }
    if (m_pHost) {
        m_pHost->SetAddressText(address);
        m_pHost->NavigateToAddress();
    } else {
        Navigate(address);
    }
}

std::string CebayView::AddressWithScheme(const std::string& address) {
    const size_t colon = address.find(':');
    if (colon != std::string::npos && colon >= 2 &&
        std::isalpha(static_cast<unsigned char>(address[0]))) {
        std::string scheme;
        bool valid = true;
        for (size_t i = 0; i < colon && valid; ++i) {
            const unsigned char c = static_cast<unsigned char>(address[i]);
            valid = std::isalnum(c) || c == '+' || c == '-' || c == '.';
            scheme += static_cast<char>(std::tolower(c));
        }
        // "host:port/..." also has a colon; only "scheme://" or one of the
        // schemes without a host counts as a scheme.
        if (valid && (address.compare(colon + 1, 2, "//") == 0 || scheme == "about" ||
                      scheme == "data" || scheme == "javascript" || scheme == "mailto" ||
                      scheme == "view-source" || scheme == "file" || scheme == "blob"))
            return address;
    }
    return "http://" + address;
}

void CebayView::Navigate(const std::string& url) {
    const std::string address = Trimmed(url);
    if (address.empty()) return;
    load(QUrl(FromAnsi(AddressWithScheme(address)), QUrl::TolerantMode));
}

std::string CebayView::LocationURL() const {
    return ToAnsi(url().toString(QUrl::FullyEncoded));
}

void CebayView::OnGoBack() {
    back();
}
void CebayView::OnGoForward() {
    forward();
}
void CebayView::OnRefresh() {
    reload();
}
void CebayView::OnStop() {
    stop();
}
void CebayView::OnGoHome() {
    Navigate(site::HomeUrl());
}

// ---- the page's events ----

void CebayView::OnLoadFinished(bool) {
    const std::string url = LocationURL();
    if (m_pHost) m_pHost->SetAddressText(url);
    GetSource([this, url](const std::string& source) { OnDocumentComplete(url, source); });
}

void CebayView::OnDocumentComplete(const std::string& url, const std::string& source) {
    IItemSink* sink = m_pHost && !m_bDestroyed ? m_pHost->ListSink() : nullptr;
    if (sink && RefreshFromShownPage(source, *sink)) m_pHost->ListChanged();
    emit DocumentComplete(FromAnsi(url));
}

void CebayView::OnCertificateError(const QWebEngineCertificateError& error) {
    QWebEngineCertificateError answer = error;
    // Only the local site's own certificate, named in the settings, is let
    // through; every other error stays an error page.
    const std::string caFile = Settings().GetString(setting::SiteCaFile);
    if (error.type() == QWebEngineCertificateError::CertificateAuthorityInvalid &&
        error.isOverridable() &&
        ChainIssuedByCaFile(error.certificateChain(), caFile, error.url().host().toStdString()))
        answer.acceptCertificate();
    else
        answer.rejectCertificate();
}

void CebayView::GetSource(std::function<void(const std::string&)> done) {
    std::weak_ptr<int> alive = m_alive;
    page()->toHtml([alive, done = std::move(done)](const QString& html) {
        if (alive.expired() || !done) return;
        done(ToAnsi(html));
    });
}

// ---- command 133 ----

namespace {
constexpr char kReadingItemPagesText[] = "Reading the items' pages...";
}  // namespace

void CebayView::OnAddItemFromBrowserPage(std::function<void(const PageAddResult&)> done) {
    auto pending = std::make_shared<PendingAdd>();
    pending->done = std::move(done);
    if (m_bDestroyed) {
        FinishAdd(pending, PageAddResult{});
        return;
    }
    m_pendingAdds.push_back(pending);
    const std::string address = LocationURL();
    GetSource([this, pending, address](const std::string& source) {
        if (pending->finished) return;
        FinishAdd(pending, RunAdd(source, address));
    });
}

PageAddResult CebayView::RunAdd(const std::string& source, const std::string& address) {
    CNoListSink noList;
    IItemSink* sink = m_pHost ? m_pHost->ListSink() : nullptr;
    int method = kAddFast;
    if (!IsItemPageAddress(address)) {
        CAddSelection dialog(this);
        method = ChooseAddMethod(&dialog);
        if (method == kAddNone) return PageAddResult();
    }
    PendingPageAdd pending;
    PageAddResult result = StartPageAdd(source, address, sink ? *sink : noList, method, pending);
    if (!pending.numbers.empty()) {
        // The item pages (one per item of a slow add) are read off the UI
        // thread under a busy indicator with Cancel: the list ticks on, and
        // a snipe due meanwhile leaves on time. The items join the list here.
        struct Read {
            std::vector<std::unique_ptr<CItem>> pages;
            std::atomic<bool> abort{false};
        };
        auto read = std::make_shared<Read>();
        QPointer<CebayView> self(this);
        const bool finished = RunWithBusyIndicator(
            this, "Add Item from Browser Page", kReadingItemPagesText,
            [read, numbers = pending.numbers] {
                SetFetchAbortFlag(&read->abort);
                for (const std::string& number : numbers) {
                    if (read->abort) break;
                    read->pages.push_back(ReadItemPage(number));
                }
                SetFetchAbortFlag(nullptr);
            });
        if (!finished) read->abort = true;
        if (!self || m_bDestroyed) return result;
        // The window's list may have gone meanwhile.
        sink = m_pHost ? m_pHost->ListSink() : nullptr;
        if (finished) FinishPageAdd(pending, std::move(read->pages), sink ? *sink : noList, result);
    }
    if (m_pHost && (result.nAdded > 0 || result.nRefreshed > 0)) m_pHost->ListChanged();
    return result;
}

void CebayView::FinishAdd(const std::shared_ptr<PendingAdd>& pending, const PageAddResult& result) {
    pending->finished = true;
    std::erase(m_pendingAdds, pending);
    if (pending->done) pending->done(result);
}

// ---- printing ----

void CebayView::OnFilePrint() {
    if (m_bPrinting) return;  // the page prints one copy at a time
    m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    m_printer->setPageOrientation(QPageLayout::Landscape);
    QPrintDialog dialog(m_printer.get(), this);
    if (ExecDialog(dialog) != QDialog::Accepted) {
        m_printer.reset();
        return;
    }
    m_bPrinting = true;
    print(m_printer.get());
}

void CebayView::OnFilePrintPreview() {
    if (m_bPrinting) return;
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageOrientation(QPageLayout::Landscape);
    QPrintPreviewDialog dialog(&printer, this);
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter* target) {
        // The preview wants its pages now; the page prints asynchronously.
        QEventLoop loop;
        connect(this, &QWebEngineView::printFinished, &loop, &QEventLoop::quit);
        m_bPrinting = true;
        print(target);
        loop.exec();
    });
    ExecDialog(dialog);
}

// ---- closing ----

void CebayView::OnDestroy() {
    if (m_bDestroyed) return;
    m_bDestroyed = true;
    StorePaneSize();
    // A command still waiting for the page's source ends with nothing added.
    auto pending = std::move(m_pendingAdds);
    m_pendingAdds.clear();
    for (auto& p : pending) FinishAdd(p, PageAddResult{});
}

void CebayView::StorePaneSize() {
    CSettingsStore& store = Settings();
    if (!store.GetInt(setting::SaveWindow)) return;
    // A pane that never made it onto the screen has no size worth keeping.
    if (!testAttribute(Qt::WA_WState_Created)) return;
    const int viewPos = store.GetInt(setting::ViewPos);
    if (viewPos == 2 || viewPos == 3)
        store.WriteInt(setting::WindowWidth, width());
    else
        store.WriteInt(setting::WindowHeight, height());
}

}  // namespace bexora
