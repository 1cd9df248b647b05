#pragma once
// Puts a Site on the network: an HTTP and an HTTPS server on 127.0.0.1,
// a certificate made at start, and optionally a settings file for the
// client that points every site endpoint at this server.

#include <memory>
#include <string>
#include <thread>

namespace httplib {
class Server;
class SSLServer;
}  // namespace httplib

namespace bexora::auction {

class Site;

struct ServerOptions {
    int httpPort = 0;         // 0: a free port
    int httpsPort = 0;        // 0: a free port
    std::string dataDir;      // certificate and key; "" = beside settingsOut, else a temp folder
    std::string settingsOut;  // "" = write no settings file
    int threads = 64;         // per server; keep-alive connections each hold one
};

class Server {
public:
    explicit Server(Site& site);
    ~Server();  // stops
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    bool Start(const ServerOptions& options, std::string* error = nullptr);
    void Stop();

    int HttpPort() const { return m_httpPort; }
    int HttpsPort() const { return m_httpsPort; }
    std::string HttpBase() const { return "http://127.0.0.1:" + std::to_string(m_httpPort); }
    std::string HttpsBase() const { return "https://127.0.0.1:" + std::to_string(m_httpsPort); }
    const std::string& CertPath() const { return m_certPath; }
    const std::string& KeyPath() const { return m_keyPath; }

    // The settings file's text for these ports (the "Site" and "Update"
    // sections), merged into existing text: other sections and keys stay.
    std::string SettingsText(const std::string& existing = "") const;

private:
    Site& m_site;
    std::unique_ptr<httplib::Server> m_http;
    std::unique_ptr<httplib::SSLServer> m_https;
    std::thread m_httpThread, m_httpsThread;
    int m_httpPort = 0, m_httpsPort = 0;
    std::string m_certPath, m_keyPath, m_tempDir;
};

}  // namespace bexora::auction
