#pragma once
// One cookie store for the whole program. The page fetches of every thread
// keep their cookies in CCookieStore (curl's engine, persisted in the jar);
// the browser pane keeps its own in the WebEngine profile. The bridge keeps
// the two equal: what the user's sign-in in the pane sets is sent by the
// next fetch of the bid worker, and a sign-in made by the worker is seen by
// the pane. A sign-out (a cookie removed) travels the same way.
//
// Only the jar is kept on disk: the pane's profile keeps nothing itself.

#include <QObject>
#include <map>
#include <memory>
#include <string>

class QNetworkCookie;
class QUrl;
class QWebEngineCookieStore;

namespace bexora {

class CCookieBridge : public QObject {
    Q_OBJECT
public:
    // Starts at once: every cookie of the curl store goes into webStore, and
    // from then on changes on either side are copied to the other.
    explicit CCookieBridge(QWebEngineCookieStore* webStore, QObject* parent = nullptr);
    ~CCookieBridge() override;

    // A curl cookie-file line ("#HttpOnly_" prefix, domain, tailmatch,
    // path, secure, expires, name, value) as a WebEngine cookie and the
    // origin to set it under. False for a line that is not a cookie.
    static bool FromNetscapeLine(const std::string& line, QNetworkCookie* cookie, QUrl* origin);
    // A WebEngine cookie as a curl line; "" when it cannot be one (no
    // domain, or a name or value that would break the line).
    static std::string ToNetscapeLine(const QNetworkCookie& cookie);
    // The same line marked as expired: handing it to curl removes the cookie.
    static std::string ExpiredLine(const std::string& line);

    // How many cookies were copied each way (tests check that nothing echoes).
    int CopiedToCurl() const { return m_toCurl; }
    int CopiedToWeb() const { return m_toWeb; }
    int RemovedFromCurl() const { return m_removedFromCurl; }
    int RemovedFromWeb() const { return m_removedFromWeb; }
    // Cookies the pane holds, as far as the bridge has been told.
    size_t WebCookieCount() const { return m_web.size(); }

    // Makes this bridge the one the curl store tells of new cookies (the
    // constructor does it; the store has one listener).
    void Listen();

    // Applies a cookie the curl side received (UI thread). The curl store's
    // listener lands here through a queued call.
    void OnCurlCookie(const std::string& line);

private:
    struct Relay;

    void OnWebCookieAdded(const QNetworkCookie& cookie);
    void OnWebCookieRemoved(const QNetworkCookie& cookie);
    // The live (not expired) line curl holds under key, or "".
    static std::string CurlLineFor(const std::string& key);

    QWebEngineCookieStore* m_pStore;
    std::shared_ptr<Relay> m_relay;
    // What the pane holds: key (domain, path, name) -> normalised line.
    std::map<std::string, std::string> m_web;
    int m_toCurl = 0;
    int m_toWeb = 0;
    int m_removedFromCurl = 0;
    int m_removedFromWeb = 0;
};

}  // namespace bexora
