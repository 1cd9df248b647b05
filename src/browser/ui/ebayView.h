#pragma once
// CebayView: the browser half of an item-list window. The user browses the
// auction site in it; it keeps the main window's address bar in step, adds
// the items of the page it shows to the window's list (command 133), and
// refreshes a listed item whenever that item's page is opened. Every pane
// shares one WebEngine profile whose cookies are the program's own (see
// CookieBridge.h), so a sign-in in the pane is a sign-in of the bid worker.

#include <QList>
#include <QWebEngineView>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "browser/AddFromPage.h"
#include "browser/ItemSink.h"

class QPrinter;
class QSslCertificate;
class QWebEngineCertificateError;
class QWebEngineProfile;

namespace bexora {

class IBrowserHost {  // implemented by the child frame / main frame
public:
    virtual ~IBrowserHost() = default;
    virtual void SetAddressText(const std::string& url) = 0;  // the address bar's text
    virtual void NavigateToAddress() = 0;  // navigates to the address bar's text (first page)
    virtual IItemSink* ListSink() = 0;     // this window's item list; nullptr when not found
    virtual void ListChanged() {}          // items were added/refreshed (list repaints)
};

class CebayView : public QWebEngineView {
    Q_OBJECT
public:
    explicit CebayView(IBrowserHost* host, QWidget* parent = nullptr);
    ~CebayView() override;  // calls OnDestroy()

    // The first page: the maker's first-run page once, its what's-new page
    // once after an update, else the home page setting.
    void OnInitialUpdate();
    // Windows-1252 text; "about:blank" works; an address without a scheme
    // is taken as http. Blank text does nothing.
    void Navigate(const std::string& url);
    std::string LocationURL() const;

    void OnGoBack();
    void OnGoForward();
    void OnRefresh();
    void OnStop();
    void OnGoHome();
    // The print dialog (landscape preset); OK prints the shown page.
    void OnFilePrint();
    // The print preview of the shown page.
    void OnFilePrintPreview();

    // The page's source as 8-bit text (the page hands it over later).
    void GetSource(std::function<void(const std::string&)> done);
    // Command 133. done gets the result once, also when nothing was added
    // and when the pane closes before the page's source arrived.
    void OnAddItemFromBrowserPage(std::function<void(const PageAddResult&)> done = {});
    // Idempotent: stores the pane size, ends pending commands.
    void OnDestroy();

    // The one profile all panes share: nothing of it is kept on disk; its
    // cookies are bridged to the program's cookie store.
    static QWebEngineProfile* Profile();

    // "http://" before an address that names no scheme.
    static std::string AddressWithScheme(const std::string& address);

signals:
    void DocumentComplete(const QString& url);  // after the listed-item refresh ran

private:
    struct PendingAdd;

    void OnLoadFinished(bool ok);
    void OnDocumentComplete(const std::string& url, const std::string& source);
    void OnCertificateError(const QWebEngineCertificateError& error);
    PageAddResult RunAdd(const std::string& source, const std::string& address);
    void FinishAdd(const std::shared_ptr<PendingAdd>& pending, const PageAddResult& result);
    void StorePaneSize();

    IBrowserHost* m_pHost;
    bool m_bDestroyed = false;
    bool m_bPrinting = false;
    std::unique_ptr<QPrinter> m_printer;  // alive until the page is printed
    std::vector<std::shared_ptr<PendingAdd>> m_pendingAdds;
    // Callbacks the page answers later hold a weak copy: gone means the
    // view has gone.
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
};

// True when chain (leaf first) is valid for host and leads to a certificate
// of the PEM file caFile: the local site's own CA. Nothing else is trusted
// here, and a missing or unreadable file trusts nothing.
bool ChainIssuedByCaFile(const QList<QSslCertificate>& chain, const std::string& caFile,
                         const std::string& host);

}  // namespace bexora
