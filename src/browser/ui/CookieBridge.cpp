#include "browser/ui/CookieBridge.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QNetworkCookie>
#include <QUrl>
#include <QWebEngineCookieStore>
#include <cctype>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "site/CookieStore.h"

namespace bexora {

namespace {

constexpr const char kHttpOnlyPrefix[] = "#HttpOnly_";

// One cookie as both stores describe it. A domain cookie's domain starts
// with "." (curl writes tailmatch TRUE for it); a host-only cookie's is the
// bare host.
struct Fields {
    bool httpOnly = false;
    std::string domain;
    std::string path = "/";
    bool secure = false;
    long long expires = 0;  // 0: session cookie
    std::string name;
    std::string value;

    bool DomainCookie() const { return !domain.empty() && domain[0] == '.'; }
    std::string Host() const { return DomainCookie() ? domain.substr(1) : domain; }
    std::string Key() const { return domain + '\t' + path + '\t' + name; }
    bool Expired() const {
        return expires > 0 && expires <= static_cast<long long>(std::time(nullptr));
    }
    std::string Line() const {
        std::string line = httpOnly ? kHttpOnlyPrefix : "";
        line += domain + '\t' + (DomainCookie() ? "TRUE" : "FALSE") + '\t' + path + '\t' +
                (secure ? "TRUE" : "FALSE") + '\t' + std::to_string(expires) + '\t' + name + '\t' +
                value;
        return line;
    }
};

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find('\t', start);
        out.push_back(
            line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos) return out;
        start = tab + 1;
    }
}

bool BreaksLine(const std::string& text) {
    return text.find_first_of("\t\r\n") != std::string::npos;
}

bool ParseLine(std::string line, Fields& f) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    if (line.rfind(kHttpOnlyPrefix, 0) == 0) {
        f.httpOnly = true;
        line.erase(0, sizeof kHttpOnlyPrefix - 1);
    } else if (line.empty() || line[0] == '#') {
        return false;
    }
    std::vector<std::string> parts = SplitTabs(line);
    // curl writes an empty value as a trailing tab; a line without the
    // value field at all is read the same way.
    if (parts.size() == 6) parts.emplace_back();
    if (parts.size() != 7 || parts[0].empty()) return false;
    f.domain = Lower(parts[0]);
    if (parts[1] == "TRUE" && f.domain[0] != '.') f.domain.insert(0, ".");
    if (f.domain == ".") return false;
    f.path = parts[2].empty() ? "/" : parts[2];
    f.secure = parts[3] == "TRUE";
    f.expires = std::atoll(parts[4].c_str());
    if (f.expires < 0) f.expires = 1;
    f.name = parts[5];
    f.value = parts[6];
    return true;
}

bool FieldsOf(const QNetworkCookie& cookie, Fields& f) {
    f.httpOnly = cookie.isHttpOnly();
    f.domain = Lower(cookie.domain().toStdString());
    f.path = cookie.path().isEmpty() ? "/" : cookie.path().toStdString();
    f.secure = cookie.isSecure();
    f.expires = 0;
    if (!cookie.isSessionCookie()) {
        // An expiry at or before 1970 is still an expiry, not a session.
        f.expires = std::max<long long>(1, cookie.expirationDate().toSecsSinceEpoch());
    }
    f.name = cookie.name().toStdString();
    f.value = cookie.value().toStdString();
    return !f.domain.empty() && f.domain != "." && !BreaksLine(f.domain) && !BreaksLine(f.path) &&
           !BreaksLine(f.name) && !BreaksLine(f.value);
}

}  // namespace

// The curl store calls its listener on whichever thread fetched; the relay
// carries each line to the UI thread and is cut when the bridge goes.
struct CCookieBridge::Relay {
    CCookieBridge* target = nullptr;  // read and written on the UI thread only
};

CCookieBridge::CCookieBridge(QWebEngineCookieStore* webStore, QObject* parent)
    : QObject(parent), m_pStore(webStore), m_relay(std::make_shared<Relay>()) {
    m_relay->target = this;
    connect(m_pStore, &QWebEngineCookieStore::cookieAdded, this, &CCookieBridge::OnWebCookieAdded);
    connect(m_pStore, &QWebEngineCookieStore::cookieRemoved, this,
            &CCookieBridge::OnWebCookieRemoved);
    for (const std::string& line : CCookieStore::Instance().AllCookies()) OnCurlCookie(line);
    Listen();
}

void CCookieBridge::Listen() {
    CCookieStore::Instance().SetListener([relay = m_relay](const std::string& line) {
        QCoreApplication* app = QCoreApplication::instance();
        if (!app) return;
        QMetaObject::invokeMethod(
            app,
            [relay, line] {
                if (relay->target) relay->target->OnCurlCookie(line);
            },
            Qt::QueuedConnection);
    });
}

CCookieBridge::~CCookieBridge() {
    m_relay->target = nullptr;
    CCookieStore::Instance().SetListener({});
}

bool CCookieBridge::FromNetscapeLine(const std::string& line, QNetworkCookie* cookie,
                                     QUrl* origin) {
    Fields f;
    if (!ParseLine(line, f)) return false;
    QNetworkCookie c(QByteArray::fromStdString(f.name), QByteArray::fromStdString(f.value));
    // A host-only cookie gets no domain: the origin's host is its host.
    if (f.DomainCookie()) c.setDomain(QString::fromStdString(f.domain));
    c.setPath(QString::fromStdString(f.path));
    c.setSecure(f.secure);
    c.setHttpOnly(f.httpOnly);
    if (f.expires > 0) c.setExpirationDate(QDateTime::fromSecsSinceEpoch(f.expires, Qt::UTC));
    if (cookie) *cookie = c;
    if (origin) {
        // A secure cookie is only taken from a secure origin.
        *origin =
            QUrl(QString::fromStdString((f.secure ? "https://" : "http://") + f.Host() + "/"));
    }
    return true;
}

std::string CCookieBridge::ToNetscapeLine(const QNetworkCookie& cookie) {
    Fields f;
    return FieldsOf(cookie, f) ? f.Line() : std::string();
}

std::string CCookieBridge::ExpiredLine(const std::string& line) {
    Fields f;
    if (!ParseLine(line, f)) return std::string();
    f.expires = 1;
    return f.Line();
}

std::string CCookieBridge::CurlLineFor(const std::string& key) {
    for (const std::string& line : CCookieStore::Instance().AllCookies()) {
        Fields f;
        if (ParseLine(line, f) && f.Key() == key && !f.Expired()) return f.Line();
    }
    return std::string();
}

void CCookieBridge::OnWebCookieAdded(const QNetworkCookie& cookie) {
    Fields f;
    if (!FieldsOf(cookie, f)) return;
    const std::string line = f.Line();
    m_web[f.Key()] = line;
    // A cookie that came from curl (or that curl has already) is not sent back.
    if (CurlLineFor(f.Key()) == line) return;
    CCookieStore::Instance().AddCookie(line);
    ++m_toCurl;
}

void CCookieBridge::OnWebCookieRemoved(const QNetworkCookie& cookie) {
    Fields f;
    if (!FieldsOf(cookie, f)) return;
    auto it = m_web.find(f.Key());
    if (it != m_web.end() && it->second == f.Line()) m_web.erase(it);
    // The pane also reports the old cookie when one is replaced. Curl drops
    // its copy only while it still holds the value that went: a newer value
    // curl received itself (and passed on, which replaced this one) stays.
    Fields held;
    std::string curlLine = CurlLineFor(f.Key());
    if (curlLine.empty() || !ParseLine(curlLine, held) || held.value != f.value) return;
    CCookieStore::Instance().AddCookie(ExpiredLine(curlLine));
    ++m_removedFromCurl;
}

void CCookieBridge::OnCurlCookie(const std::string& line) {
    Fields f;
    if (!ParseLine(line, f)) return;
    QNetworkCookie cookie;
    QUrl origin;
    if (!FromNetscapeLine(f.Line(), &cookie, &origin)) return;
    auto it = m_web.find(f.Key());
    if (f.Expired()) {
        if (it == m_web.end()) return;
        m_web.erase(it);
        m_pStore->deleteCookie(cookie, origin);
        ++m_removedFromWeb;
        return;
    }
    if (it != m_web.end() && it->second == f.Line()) return;
    // Noted before the pane reports it back, so the report is known as an echo.
    m_web[f.Key()] = f.Line();
    m_pStore->setCookie(cookie, origin);
    ++m_toWeb;
}

}  // namespace bexora
