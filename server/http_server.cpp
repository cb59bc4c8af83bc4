// libmicrohttpd behind http_server: options and limits, method and body
// checks, turning handler responses into HTTP responses.
#include "server/http_server.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace tarvel {
namespace server {

namespace {

// Marks a request whose headers have been checked.
char g_seen;

MHD_Result send(MHD_Connection* connection, const http_response& response) {
    MHD_Response* r = MHD_create_response_from_buffer(
        response.body.size(), const_cast<char*>(response.body.data()), MHD_RESPMEM_MUST_COPY);
    if (r == nullptr) return MHD_NO;
    for (const auto& h : response.headers)
        MHD_add_response_header(r, h.first.c_str(), h.second.c_str());
    const MHD_Result result =
        MHD_queue_response(connection, static_cast<unsigned>(response.status), r);
    MHD_destroy_response(r);
    return result;
}

MHD_Result refuse(MHD_Connection* connection, int status, const char* message) {
    http_response response;
    response.status = status;
    response.body = std::string(message) + "\n";
    response.Set("Content-Type", "text/plain; charset=utf-8");
    response.Set("Access-Control-Allow-Origin", "*");
    if (status == MHD_HTTP_METHOD_NOT_ALLOWED) response.Set("Allow", "GET, HEAD, OPTIONS");
    if (status >= 413) response.Set("Connection", "close");
    return send(connection, response);
}

}  // namespace

// What libmicrohttpd calls back; a struct so that it may reach the private parts.
struct http_callbacks {
    static MHD_Result answer(void* self, MHD_Connection* connection, const char* url,
                             const char* method, const char*, const char*, std::size_t* uploadSize,
                             void** state) {
        // The first call comes with the headers: refuse what will not be
        // served before any body is read. The next call, once the request is
        // complete, answers; answering earlier would cost the connection its
        // keep-alive.
        if (*state == nullptr) {
            *state = &g_seen;
            const std::string_view m = method;
            if (m != MHD_HTTP_METHOD_GET && m != MHD_HTTP_METHOD_HEAD &&
                m != MHD_HTTP_METHOD_OPTIONS)
                return refuse(connection, MHD_HTTP_METHOD_NOT_ALLOWED, "method not allowed");
            const char* length = MHD_lookup_connection_value(connection, MHD_HEADER_KIND,
                                                             MHD_HTTP_HEADER_CONTENT_LENGTH);
            if ((length != nullptr && std::strspn(length, "0") != std::strlen(length)) ||
                MHD_lookup_connection_value(connection, MHD_HEADER_KIND,
                                            MHD_HTTP_HEADER_TRANSFER_ENCODING) != nullptr)
                return refuse(connection, MHD_HTTP_CONTENT_TOO_LARGE, "requests carry no body");
            if (MHD_get_connection_values(connection, MHD_HEADER_KIND, nullptr, nullptr) >
                kMaxHeaders)
                return refuse(connection, MHD_HTTP_REQUEST_HEADER_FIELDS_TOO_LARGE,
                              "too many headers");
            return MHD_YES;
        }
        if (*uploadSize != 0) {
            *uploadSize = 0;  // a body after a refusal: dropped
            return MHD_YES;
        }
        http_request request;
        request.method = method;
        request.path = url;
        request.m_connection = connection;
        http_response response;
        static_cast<http_server*>(self)->m_handler(request, response);
        return send(connection, response);
    }

    // Messages of the daemon: kept while it starts (to say why it could not),
    // dropped afterwards (clients that hang up are not the server's errors).
    static void log(void* self, const char* format, va_list args) {
        auto* server = static_cast<http_server*>(self);
        if (server->m_started) return;
        char line[512];
        std::vsnprintf(line, sizeof line, format, args);
        std::lock_guard<std::mutex> guard(server->m_logMutex);
        server->m_startMessage = line;
        while (!server->m_startMessage.empty() && server->m_startMessage.back() == '\n')
            server->m_startMessage.pop_back();
    }
};

const char* http_request::Header(const char* name) const {
    return MHD_lookup_connection_value(m_connection, MHD_HEADER_KIND, name);
}

const char* http_request::Query(const char* name) const {
    return MHD_lookup_connection_value(m_connection, MHD_GET_ARGUMENT_KIND, name);
}

bool http_server::Start(const http_settings& settings, http_handler handler, std::string& error) {
    Stop();
    sockaddr_storage address{};
    auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
    unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | MHD_USE_ERROR_LOG;
    if (settings.port < 0 || settings.port > 65535) {
        error = "the port must be between 0 and 65535";
        return false;
    }
    if (inet_pton(AF_INET, settings.bind.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(static_cast<uint16_t>(settings.port));
    } else if (inet_pton(AF_INET6, settings.bind.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(static_cast<uint16_t>(settings.port));
        flags |= MHD_USE_IPv6;
    } else {
        error = "cannot bind to " + settings.bind + ": not an IPv4 or IPv6 address";
        return false;
    }
    m_handler = std::move(handler);
    m_started = false;
    m_startMessage.clear();
    const unsigned threads = settings.threads > 1 ? static_cast<unsigned>(settings.threads) : 0;
    m_daemon = MHD_start_daemon(
        flags, 0, nullptr, nullptr, &http_callbacks::answer, this, MHD_OPTION_SOCK_ADDR, &address,
        MHD_OPTION_EXTERNAL_LOGGER, &http_callbacks::log, this, MHD_OPTION_CONNECTION_MEMORY_LIMIT,
        static_cast<std::size_t>(kConnectionMemory), MHD_OPTION_CONNECTION_LIMIT, kMaxConnections,
        MHD_OPTION_CONNECTION_TIMEOUT, kIdleSeconds, MHD_OPTION_LISTEN_BACKLOG_SIZE, kListenBacklog,
        MHD_OPTION_STRICT_FOR_CLIENT, 1, threads > 1 ? MHD_OPTION_THREAD_POOL_SIZE : MHD_OPTION_END,
        threads, MHD_OPTION_END);
    if (m_daemon == nullptr) {
        error = "cannot listen on " + settings.bind + " port " + std::to_string(settings.port);
        std::lock_guard<std::mutex> guard(m_logMutex);
        if (!m_startMessage.empty()) error += ": " + m_startMessage;
        return false;
    }
    m_started = true;
    const MHD_DaemonInfo* info = MHD_get_daemon_info(m_daemon, MHD_DAEMON_INFO_BIND_PORT);
    m_port = info != nullptr ? info->port : settings.port;
    return true;
}

void http_server::Stop() {
    if (m_daemon == nullptr) return;
    MHD_stop_daemon(m_daemon);
    m_daemon = nullptr;
}

}  // namespace server
}  // namespace tarvel
