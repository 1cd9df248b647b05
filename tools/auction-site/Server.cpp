#include "Server.h"

#include <fcntl.h>
#include <httplib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "UpdateSigning.h"
#include "Certificate.h"
#include "base/AtomicFile.h"
#include "Site.h"

namespace bexora::auction {

namespace {

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return "";
    return s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
}

std::string AbsolutePath(const std::string& path) {
    char buf[PATH_MAX];
    if (::realpath(path.c_str(), buf)) return buf;
    return path;
}

std::string Folder(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The settings file written before, if it is a plain file of ours: a link
// planted in its place is neither read (its target would be copied into
// the new file) nor written through.
std::string ReadOwnFile(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return "";
    struct stat st {};
    std::string text;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size < (16 << 20)) {
        char buf[65536];
        ssize_t n;
        while ((n = ::read(fd, buf, sizeof buf)) > 0) text.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return text;
}

void RemoveTree(const std::string& dir, const std::vector<std::string>& files) {
    for (const std::string& f : files) ::unlink(f.c_str());
    ::rmdir(dir.c_str());
}

}  // namespace

Server::Server(Site& site) : m_site(site) {}

Server::~Server() {
    Stop();
}

bool Server::Start(const ServerOptions& options, std::string* error) {
    auto fail = [&](const std::string& e) {
        if (error) *error = e;
        Stop();
        return false;
    };
    std::string dir = options.dataDir;
    if (dir.empty() && !options.settingsOut.empty()) dir = Folder(options.settingsOut);
    if (dir.empty()) {
        char pattern[] = "/tmp/auction-site-XXXXXX";
        if (!::mkdtemp(pattern)) return fail("cannot make a temporary folder");
        dir = m_tempDir = pattern;
    } else {
        ::mkdir(dir.c_str(), 0700);
    }
    dir = AbsolutePath(dir);
    m_certPath = dir + "/auction-site-cert.pem";
    m_keyPath = dir + "/auction-site-key.pem";
    std::string certError;
    if (!MakeSelfSignedCertificate(m_certPath, m_keyPath, &certError)) return fail(certError);

    m_http = std::make_unique<httplib::Server>();
    m_https = std::make_unique<httplib::SSLServer>(m_certPath.c_str(), m_keyPath.c_str());
    if (!m_https->is_valid()) return fail("the HTTPS server does not accept the certificate");

    auto setUp = [&](httplib::Server& server, bool https) {
        int threads = std::max(4, options.threads);
        server.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
        server.set_tcp_nodelay(true);  // headers and body go in separate writes
        server.set_keep_alive_max_count(1000);
        // An idle kept-alive connection holds a server thread, and stopping
        // waits for it: keep the idle time short, as a busy site does.
        server.set_keep_alive_timeout(2);
        server.set_payload_max_length(64 * 1024 * 1024);
        auto handler = [this, https](const httplib::Request& req, httplib::Response& res) {
            m_site.Handle(req, res, https);
        };
        server.Get(".*", handler);
        server.Post(".*", handler);
        server.Delete(".*", handler);
        server.Put(".*", handler);
    };
    setUp(*m_http, false);
    setUp(*m_https, true);

    auto bind = [](httplib::Server& server, int port) {
        if (port > 0) return server.bind_to_port("127.0.0.1", port) ? port : -1;
        return server.bind_to_any_port("127.0.0.1");
    };
    m_httpPort = bind(*m_http, options.httpPort);
    if (m_httpPort <= 0)
        return fail("cannot listen on the HTTP port " + std::to_string(options.httpPort));
    m_httpsPort = bind(*m_https, options.httpsPort);
    if (m_httpsPort <= 0)
        return fail("cannot listen on the HTTPS port " + std::to_string(options.httpsPort));
    m_site.SetPorts(m_httpPort, m_httpsPort);

    m_httpThread = std::thread([this] { m_http->listen_after_bind(); });
    m_httpsThread = std::thread([this] { m_https->listen_after_bind(); });
    for (int i = 0; i < 500 && !(m_http->is_running() && m_https->is_running()); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));

    if (!options.settingsOut.empty()) {
        // The program's own atomic writer: a temporary file of mode 0600 made
        // with O_EXCL, renamed over the path (a planted link is replaced,
        // never followed).
        std::string writeError;
        if (!AtomicWriteFile(options.settingsOut, SettingsText(ReadOwnFile(options.settingsOut)),
                             0600, &writeError))
            return fail(writeError);
    }
    return true;
}

void Server::Stop() {
    m_site.SetStopping();
    if (m_http) m_http->stop();
    if (m_https) m_https->stop();
    if (m_httpThread.joinable()) m_httpThread.join();
    if (m_httpsThread.joinable()) m_httpsThread.join();
    m_http.reset();
    m_https.reset();
    if (!m_tempDir.empty()) {
        RemoveTree(m_tempDir, {m_certPath, m_keyPath});
        m_tempDir.clear();
    }
}

std::string Server::SettingsText(const std::string& existing) const {
    const std::string http = "127.0.0.1:" + std::to_string(m_httpPort);
    const std::string https = "127.0.0.1:" + std::to_string(m_httpsPort);
    const std::string vendor = "http://" + http + "/vendor";
    const std::vector<std::pair<std::string, std::string>> site = {
        {"SiteItemHost", http},      {"SiteTimeHost", http},
        {"SiteSignInHost", https},   {"SiteOfferHost", http},
        {"SiteMyHost", http},        {"SiteHomeUrl", "http://" + http + "/"},
        {"SiteDomain", "127.0.0.1"}, {"VendorSiteUrl", vendor},
        {"CAFile", m_certPath},
    };
    // The update folder over TLS, signed with the site's test key.
    const std::vector<std::pair<std::string, std::string>> update = {
        {"Update URL", "https://" + https + "/vendor/"}, {"UpdateKey", kTestUpdatePublicKey}};

    // Keep every line of the old file except the keys written here; our
    // keys go at the end of their section (sections and keys match without
    // regard to case, as the client reads them).
    std::vector<std::string> lines;
    std::istringstream in(existing);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    auto ours = [&](const std::string& section, const std::string& key) {
        const auto& list = Lower(section) == "site" ? site : update;
        return std::any_of(list.begin(), list.end(),
                           [&](const auto& kv) { return Lower(kv.first) == Lower(key); });
    };
    std::string out, section;
    bool doneSite = false, doneUpdate = false;
    auto flush = [&]() {
        std::string s = Lower(section);
        if (s == "site" && !doneSite) {
            for (const auto& [k, v] : site) out += k + "=" + v + "\n";
            doneSite = true;
        } else if (s == "update" && !doneUpdate) {
            for (const auto& [k, v] : update) out += k + "=" + v + "\n";
            doneUpdate = true;
        }
    };
    for (const std::string& raw : lines) {
        std::string line = Trim(raw);
        if (!line.empty() && line.front() == '[' && line.back() == ']') {
            flush();
            section = Trim(line.substr(1, line.size() - 2));
            out += raw + "\n";
            continue;
        }
        size_t eq = line.find('=');
        std::string s = Lower(section);
        if (eq != std::string::npos && (s == "site" || s == "update") &&
            ours(section, Trim(line.substr(0, eq))))
            continue;
        out += raw + "\n";
    }
    flush();
    if (!doneSite) {
        section = "Site";
        out += "[Site]\n";
        flush();
    }
    if (!doneUpdate) {
        section = "Update";
        out += "[Update]\n";
        flush();
    }
    return out;
}

}  // namespace bexora::auction
