// The HTTP layer of the server: libmicrohttpd with its limits, handing each
// request to one handler function.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct MHD_Connection;
struct MHD_Daemon;

namespace tarvel {
namespace server {

// Limits of the HTTP layer, each with its reason.
// Memory of one connection: its request line and headers must fit in about
// half of it (the rest holds the response headers), or the request is
// answered 414 or 431 and the connection closed.
constexpr unsigned kConnectionMemory = 32768;
// Headers beyond this count are refused with 431 even when they fit.
constexpr int kMaxHeaders = 64;
// A connection that sends nothing for this long is closed, so idle or
// trickling clients cannot hold connections for ever.
constexpr unsigned kIdleSeconds = 15;
// Connections open at once; further ones wait in the listen queue.
constexpr unsigned kMaxConnections = 1024;
constexpr unsigned kListenBacklog = 256;

// One request as the handler sees it. Valid during the handler call only.
class http_request {
  public:
    std::string_view method;
    std::string_view path;  // percent-decoded, without the query
    // A header's value, or null.
    const char* Header(const char* name) const;
    // A query argument's value (percent-decoded), or null.
    const char* Query(const char* name) const;

  private:
    friend struct http_callbacks;
    MHD_Connection* m_connection = nullptr;
};

struct http_response {
    int status = 200;
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;

    // Sets a header, replacing an earlier value of the same name.
    void Set(std::string name, std::string value) {
        for (auto& h : headers) {
            if (h.first == name) {
                h.second = std::move(value);
                return;
            }
        }
        headers.emplace_back(std::move(name), std::move(value));
    }
};

using http_handler = std::function<void(const http_request&, http_response&)>;

struct http_settings {
    std::string bind = "127.0.0.1";  // an IPv4 or IPv6 address
    int port = 8182;                 // 0 picks a free port
    int threads = 1;                 // threads serving connections
};

// A listening HTTP server. Requests are read and answered on `threads`
// threads, each multiplexing many connections (epoll), and handed to the
// handler on the thread that read them: the handler runs on up to `threads`
// threads at once. Methods other than GET, HEAD and OPTIONS are answered 405;
// a request with a body 413; HEAD responses carry headers only.
//
// Owns: the daemon and its threads. Failure: Start returns false with a
// reason and leaves nothing running. Threads: Start and Stop from one thread.
class http_server {
  public:
    http_server() = default;
    ~http_server() { Stop(); }
    http_server(const http_server&) = delete;
    http_server& operator=(const http_server&) = delete;

    bool Start(const http_settings& settings, http_handler handler, std::string& error);
    // Closes the listening socket and every connection; waits for the
    // threads, letting handlers that run finish.
    void Stop();
    // The port it listens on (after Start).
    int Port() const { return m_port; }

  private:
    friend struct http_callbacks;

    MHD_Daemon* m_daemon = nullptr;
    http_handler m_handler;
    int m_port = 0;
    // What the daemon said while it started; it may speak from its threads.
    std::mutex m_logMutex;
    std::atomic<bool> m_started{false};
    std::string m_startMessage;
};

}  // namespace server
}  // namespace tarvel
