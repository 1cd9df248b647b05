#pragma once
// A cpp-httplib server on 127.0.0.1 and a free port, serving on its own
// thread from construction until destruction.

#include <httplib.h>

#include <chrono>
#include <string>
#include <thread>

namespace bexora::test {

class LocalServer {
public:
    LocalServer() {
        // Short keep-alive so that stopping does not wait on idle clients.
        m_server.set_keep_alive_timeout(1);
        m_server.set_tcp_nodelay(true);  // else Nagle stalls every kept-alive answer
        m_port = m_server.bind_to_any_port("127.0.0.1");
    }
    ~LocalServer() { Stop(); }
    LocalServer(const LocalServer&) = delete;
    LocalServer& operator=(const LocalServer&) = delete;

    httplib::Server& Server() { return m_server; }

    // Starts serving; register handlers before.
    void Start() {
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        while (!m_server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    void Stop() {
        m_server.stop();
        if (m_thread.joinable()) m_thread.join();
    }

    int Port() const { return m_port; }
    std::string Host() const { return "127.0.0.1:" + std::to_string(m_port); }
    std::string Url(const std::string& path = "/") const { return "http://" + Host() + path; }

private:
    httplib::Server m_server;
    int m_port = -1;
    std::thread m_thread;
};

}  // namespace bexora::test
