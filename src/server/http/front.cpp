// SPDX-License-Identifier: MIT
#include "front.h"

#include "requesthead.h"

#include <microhttpd.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdarg>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <unordered_set>

namespace erp::http {

namespace {

using Clock = std::chrono::steady_clock;

std::int64_t nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count();
}

// Refusals, as the contract words them: a JSON body with a Portuguese sentence.
struct Refusal {
    int status;
    const char* message;
};
constexpr Refusal kTooManyConnections{503, "O servidor de aplicação está com conexões demais. Tente novamente em instantes."};
constexpr Refusal kStopping{503, "O servidor de aplicação está sendo encerrado. Tente novamente em instantes."};
constexpr Refusal kHeadersTooLarge{431, "Os cabeçalhos da requisição são grandes demais."};
constexpr Refusal kUnauthorized{401, "Acesso não autorizado."};
constexpr Refusal kMalformedHeader{400, "A requisição tem um cabeçalho malformado."};
constexpr Refusal kLengthTwice{400, "A requisição informa o tamanho do corpo (Content-Length) mais de uma vez."};
constexpr Refusal kLengthMalformed{400, "O tamanho do corpo da requisição (Content-Length) é inválido."};
constexpr Refusal kLengthAndChunks{400, "A requisição não pode informar Content-Length e Transfer-Encoding juntos."};
constexpr Refusal kBadIdempotencyKey{400, "O cabeçalho Idempotency-Key deve aparecer uma vez só, com 1 a 64 caracteres e sem caracteres de controle."};
constexpr Refusal kNotFound{404, "Caminho não encontrado."};
constexpr Refusal kLengthRequired{411, "O tamanho do corpo da requisição deve ser informado (Content-Length)."};
constexpr Refusal kTooLarge{413, "Requisição grande demais."};
constexpr Refusal kCompressed{415, "Corpo de requisição compactado não é aceito."};
constexpr Refusal kInternal{500, "Falha interna do servidor de aplicação."};

QByteArray errorBody(const char* message)
{
    // The sentences above hold no quote or backslash.
    return QByteArray("{\"error\":\"") + message + "\"}";
}

// What the front knows of one connection, from its opening to its closing.
struct Connection {
    enum Phase : int { Receiving, Handling, Sending };
    int fd = -1;
    std::string address; // raw address bytes: the per-address cap's key
    bool admitted = true; // within the caps; otherwise its request gets a 503
    bool closing = false; // the sweep has shut it down (guarded by the registry's mutex)
    std::atomic<int> phase{Receiving};
    std::atomic<std::int64_t> since{0}; // when the phase began, steady clock in ms
};

// One request on its way through the front.
struct Exchange {
    Connection* connection = nullptr;
    const Route* route = nullptr;
    Request request;
    bool inFlight = false; // counted in the front's requests in flight
};

std::string addressKey(const sockaddr* a)
{
    if (!a)
        return {};
    if (a->sa_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(a);
        return std::string(reinterpret_cast<const char*>(&v4->sin_addr), 4);
    }
    if (a->sa_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(a);
        // An IPv4 client on a dual-stack socket is the same client.
        if (IN6_IS_ADDR_V4MAPPED(&v6->sin6_addr))
            return std::string(reinterpret_cast<const char*>(&v6->sin6_addr) + 12, 4);
        return std::string(reinterpret_cast<const char*>(&v6->sin6_addr), 16);
    }
    return {};
}

std::string printableAddress(const std::string& key)
{
    char text[INET6_ADDRSTRLEN] = "?";
    if (key.size() == 4)
        ::inet_ntop(AF_INET, key.data(), text, sizeof text);
    else if (key.size() == 16)
        ::inet_ntop(AF_INET6, key.data(), text, sizeof text);
    return text;
}

MHD_Result collectField(void* cls, MHD_ValueKind, const char* key, size_t keySize, const char* value, size_t valueSize)
{
    static_cast<std::vector<Field>*>(cls)->push_back({{key, keySize}, {value, valueSize}});
    return MHD_YES;
}

void freeBody(void* body)
{
    delete static_cast<QByteArray*>(body);
}

} // namespace

struct Front::Impl {
    Limits limits;
    Authenticate authenticate;
    std::vector<Route> routes;
    Log log;
    MHD_Daemon* daemon = nullptr;

    std::mutex mutex; // the registry below
    std::unordered_set<Connection*> open;
    std::map<std::string, int> perAddress; // admitted connections per client address
    int admitted = 0;

    std::atomic<int> inFlight{0};
    std::atomic<bool> draining{false};

    std::thread sweeper;
    std::mutex sweepMutex;
    std::condition_variable sweepWake;
    bool sweeping = false;

    // The log of refusals and of the library's own messages is bounded: a
    // flood of bad requests must not become a flood of lines.
    std::mutex logMutex;
    std::int64_t logWindow = 0;
    int logCount = 0, logDropped = 0;

    void note(const std::string& line)
    {
        std::unique_lock lock(logMutex);
        const std::int64_t second = nowMs() / 1000;
        if (second != logWindow) {
            const int dropped = logDropped;
            logWindow = second;
            logCount = 0;
            logDropped = 0;
            if (dropped > 0) {
                lock.unlock();
                log("http: " + std::to_string(dropped) + " mensagens omitidas no último segundo");
                lock.lock();
            }
        }
        if (++logCount > 20) {
            ++logDropped;
            return;
        }
        lock.unlock();
        log(line);
    }

    static Connection* connectionOf(MHD_Connection* c)
    {
        const MHD_ConnectionInfo* info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
        return info ? static_cast<Connection*>(info->socket_context) : nullptr;
    }

    // --- connections: caps on opening, the registry the sweep walks ---

    void opened(MHD_Connection* c, void** context)
    {
        auto conn = std::make_unique<Connection>();
        if (const MHD_ConnectionInfo* info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_CONNECTION_FD))
            conn->fd = info->connect_fd;
        if (const MHD_ConnectionInfo* info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_CLIENT_ADDRESS))
            conn->address = addressKey(info->client_addr);
        conn->since = nowMs();
        if (conn->fd >= 0) {
            const int one = 1;
            ::setsockopt(conn->fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        }
        bool refused = false;
        {
            std::lock_guard lock(mutex);
            int& mine = perAddress[conn->address];
            if (admitted >= limits.maxConnections || mine >= limits.maxConnectionsPerAddress) {
                conn->admitted = false;
                refused = true;
                if (mine == 0)
                    perAddress.erase(conn->address);
            } else {
                ++admitted;
                ++mine;
            }
            open.insert(conn.get());
        }
        if (refused)
            note("http: limite de conexões atingido; " + printableAddress(conn->address) + " recebe 503");
        *context = conn.release();
    }

    void closed(void** context)
    {
        std::unique_ptr<Connection> conn(static_cast<Connection*>(*context));
        *context = nullptr;
        if (!conn)
            return;
        std::lock_guard lock(mutex);
        open.erase(conn.get());
        if (conn->admitted) {
            --admitted;
            auto it = perAddress.find(conn->address);
            if (it != perAddress.end() && --it->second <= 0)
                perAddress.erase(it);
        }
    }

    // Closes connections past their deadline. Shutting the socket down makes
    // the library see the end of the stream and close the connection in its
    // own thread; the socket stays open (and its number unused) until the
    // library reports the connection closed, which takes this mutex.
    void sweep()
    {
        const std::int64_t now = nowMs();
        const std::int64_t receive = std::chrono::milliseconds(limits.requestTimeout).count();
        const std::int64_t send = std::chrono::milliseconds(limits.sendTimeout).count();
        // A connection beyond the caps only has to say what it wants: a short wait.
        const std::int64_t refused = std::min<std::int64_t>(receive, 2000);
        int slowRequests = 0, slowReaders = 0;
        {
            std::lock_guard lock(mutex);
            for (Connection* conn : open) {
                if (conn->closing || conn->fd < 0)
                    continue;
                const int phase = conn->phase.load(std::memory_order_relaxed);
                const std::int64_t age = now - conn->since.load(std::memory_order_relaxed);
                const bool late = (phase == Connection::Receiving && age > (conn->admitted ? receive : refused)) ||
                                  (phase == Connection::Sending && age > send);
                if (!late)
                    continue;
                ::shutdown(conn->fd, SHUT_RDWR);
                conn->closing = true;
                ++(phase == Connection::Receiving ? slowRequests : slowReaders);
            }
        }
        if (slowRequests > 0)
            note("http: " + std::to_string(slowRequests) + " conexões fechadas sem completar a requisição no prazo");
        if (slowReaders > 0)
            note("http: " + std::to_string(slowReaders) + " conexões fechadas sem receber a resposta no prazo");
    }

    void sweepLoop()
    {
        std::unique_lock lock(sweepMutex);
        while (sweeping) {
            sweepWake.wait_for(lock, std::chrono::milliseconds(250));
            if (!sweeping)
                break;
            lock.unlock();
            sweep();
            lock.lock();
        }
    }

    // --- requests ---

    MHD_Result respond(MHD_Connection* c, Exchange& x, int status, QByteArray body, bool close, bool challenge = false)
    {
        MHD_Response* r = nullptr;
        if (body.isEmpty()) {
            r = MHD_create_response_from_buffer(0, nullptr, MHD_RESPMEM_PERSISTENT);
        } else {
            auto* held = new QByteArray(std::move(body));
            r = MHD_create_response_from_buffer_with_free_callback_cls(std::size_t(held->size()), held->data(), freeBody, held);
            if (!r)
                delete held;
        }
        if (!r)
            return MHD_NO;
        if (status != 204)
            MHD_add_response_header(r, "Content-Type", "application/json; charset=utf-8");
        if (challenge)
            MHD_add_response_header(r, "WWW-Authenticate", "Bearer");
        if (close)
            MHD_add_response_header(r, "Connection", "close");
        const MHD_Result queued = MHD_queue_response(c, unsigned(status), r);
        MHD_destroy_response(r);
        if (x.connection) {
            x.connection->since.store(nowMs(), std::memory_order_relaxed);
            x.connection->phase.store(Connection::Sending, std::memory_order_relaxed);
        }
        return queued;
    }

    MHD_Result refuse(MHD_Connection* c, Exchange& x, const Refusal& why)
    {
        if (why.status != 503 || !x.connection || x.connection->admitted)
            note("http: " + std::to_string(why.status) + " " + x.request.method + " " + x.request.path.substr(0, 100) + " de " +
                 (x.connection ? printableAddress(x.connection->address) : std::string("?")));
        // Nothing of the body is read: the connection closes after the answer.
        return respond(c, x, why.status, errorBody(why.message), true, why.status == 401);
    }

    const Route* route(const std::string& method, const std::string& path) const
    {
        for (const Route& r : routes) {
            if (r.method != method)
                continue;
            if (r.path.back() == '/' ? path.size() > r.path.size() && path.compare(0, r.path.size(), r.path) == 0 : path == r.path)
                return &r;
        }
        return nullptr;
    }

    // The first call for a request: its head is whole, nothing of its body
    // has been read. Everything that can be refused is refused here.
    MHD_Result begin(MHD_Connection* c, const char* url, const char* method, const char* version, void** context)
    {
        auto* x = new Exchange;
        *context = x;
        x->connection = connectionOf(c);
        x->request.method = method;
        x->request.path = url;
        if (draining)
            return refuse(c, *x, kStopping);
        if (x->connection && !x->connection->admitted)
            return refuse(c, *x, kTooManyConnections);

        RequestHead head;
        head.method = method;
        head.version = version;
        head.fields.reserve(16);
        MHD_get_connection_values_n(c, MHD_HEADER_KIND, collectField, &head.fields);
        if (const MHD_ConnectionInfo* info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_REQUEST_HEADER_SIZE))
            head.size = info->header_size;
        if (head.fields.size() > std::size_t(limits.maxHeaders) || head.size > limits.maxHeaderBytes)
            return refuse(c, *x, kHeadersTooLarge);
        const HiddenBytes hidden = hiddenBytes(head);

        std::string_view authorization;
        if (authenticate.required) {
            int seen = 0;
            bool whole = false;
            for (std::size_t i = 0; i < head.fields.size(); ++i) {
                if (!equalsIgnoringCase(head.fields[i].name, "Authorization"))
                    continue;
                ++seen;
                whole = !hidden.field[i];
                authorization = head.fields[i].value;
            }
            if (seen != 1 || !whole)
                return refuse(c, *x, kUnauthorized);
        }
        if (authenticate.identify) {
            std::optional<std::any> who = authenticate.identify(authorization);
            if (!who)
                return refuse(c, *x, kUnauthorized);
            x->request.identity = std::move(*who);
        }
        if (hidden.any)
            return refuse(c, *x, kMalformedHeader);

        int lengths = 0, keys = 0;
        std::string_view lengthText, key;
        bool chunked = false, encoded = false;
        for (const Field& f : head.fields) {
            if (!isToken(f.name))
                return refuse(c, *x, kMalformedHeader);
            if (equalsIgnoringCase(f.name, "Content-Length")) {
                ++lengths;
                lengthText = f.value;
            } else if (equalsIgnoringCase(f.name, "Transfer-Encoding")) {
                chunked = true;
            } else if (equalsIgnoringCase(f.name, "Content-Encoding")) {
                encoded = true;
            } else if (equalsIgnoringCase(f.name, "Idempotency-Key")) {
                ++keys;
                key = f.value;
            }
        }
        if (lengths > 1)
            return refuse(c, *x, kLengthTwice);
        const std::optional<std::uint64_t> length = lengths ? parseLength(lengthText) : std::optional<std::uint64_t>(0);
        if (!length)
            return refuse(c, *x, kLengthMalformed);
        if (chunked && lengths)
            return refuse(c, *x, kLengthAndChunks);
        if (keys > 1 || (keys == 1 && !validIdempotencyKey(key)))
            return refuse(c, *x, kBadIdempotencyKey);

        x->route = route(x->request.method, x->request.path);
        if (!x->route)
            return refuse(c, *x, kNotFound);
        // A body must declare its length, so it can be held against the limit
        // before it is read.
        if (chunked || (!lengths && x->request.method == "POST"))
            return refuse(c, *x, kLengthRequired);
        if (*length > limits.maxBody)
            return refuse(c, *x, kTooLarge);
        if (encoded)
            return refuse(c, *x, kCompressed);
        x->request.idempotencyKey = key;
        x->request.body.reserve(std::size_t(std::min<std::uint64_t>(*length, 64 * 1024)));
        return MHD_YES;
    }

    MHD_Result finish(MHD_Connection* c, Exchange& x)
    {
        if (x.connection) {
            x.connection->since.store(nowMs(), std::memory_order_relaxed);
            x.connection->phase.store(Connection::Handling, std::memory_order_relaxed);
        }
        x.inFlight = true;
        ++inFlight;
        Response answer;
        try {
            answer = x.route->handler(x.request);
        } catch (const std::exception& e) {
            log(std::string("http: falha ao atender ") + x.request.method + " " + x.request.path.substr(0, 100) + ": " + e.what());
            answer = {kInternal.status, errorBody(kInternal.message)};
        } catch (...) {
            log("http: falha desconhecida ao atender " + x.request.method + " " + x.request.path.substr(0, 100));
            answer = {kInternal.status, errorBody(kInternal.message)};
        }
        x.request.body = std::string(); // the answer may be large: the request's memory goes first
        if (draining)
            return respond(c, x, answer.status, std::move(answer.body), true);
        return respond(c, x, answer.status, std::move(answer.body), answer.status >= 500);
    }

    MHD_Result onRequest(MHD_Connection* c, const char* url, const char* method, const char* version, const char* upload, size_t* uploadSize,
                         void** context)
    {
        if (!*context)
            return begin(c, url, method, version, context);
        auto* x = static_cast<Exchange*>(*context);
        if (*uploadSize > 0) {
            // The library hands over no more than the declared length.
            if (x->request.body.size() + *uploadSize > limits.maxBody)
                return MHD_NO;
            x->request.body.append(upload, *uploadSize);
            *uploadSize = 0;
            return MHD_YES;
        }
        return finish(c, *x);
    }

    void completed(void** context)
    {
        auto* x = static_cast<Exchange*>(*context);
        *context = nullptr;
        if (!x)
            return;
        if (x->connection) {
            x->connection->since.store(nowMs(), std::memory_order_relaxed);
            x->connection->phase.store(Connection::Receiving, std::memory_order_relaxed);
        }
        if (x->inFlight)
            --inFlight;
        delete x;
    }

    // --- the library's callbacks: no exception may cross into it ---

    static MHD_Result onRequestCb(void* cls, MHD_Connection* c, const char* url, const char* method, const char* version, const char* upload,
                                  size_t* uploadSize, void** context)
    {
        auto* d = static_cast<Impl*>(cls);
        try {
            return d->onRequest(c, url, method, version, upload, uploadSize, context);
        } catch (const std::exception& e) {
            d->log(std::string("http: falha interna: ") + e.what());
        } catch (...) {
            d->log("http: falha interna desconhecida");
        }
        return MHD_NO; // the connection is dropped
    }

    static void onCompletedCb(void* cls, MHD_Connection*, void** context, MHD_RequestTerminationCode)
    {
        static_cast<Impl*>(cls)->completed(context);
    }

    static void onConnectionCb(void* cls, MHD_Connection* c, void** context, MHD_ConnectionNotificationCode code)
    {
        auto* d = static_cast<Impl*>(cls);
        try {
            if (code == MHD_CONNECTION_NOTIFY_STARTED)
                d->opened(c, context);
            else
                d->closed(context);
        } catch (const std::exception& e) {
            d->log(std::string("http: falha interna: ") + e.what());
        } catch (...) {
            d->log("http: falha interna desconhecida");
        }
    }

    static void onLibraryMessageCb(void* cls, const char* format, va_list args)
    {
        char text[512];
        std::vsnprintf(text, sizeof text, format, args);
        std::string line = text;
        while (!line.empty() && (line.back() == '\n' || line.back() == ' '))
            line.pop_back();
        static_cast<Impl*>(cls)->note("http (libmicrohttpd): " + line);
    }
};

Front::Front(Limits limits, Authenticate authenticate, std::vector<Route> routes, Log log) : d(std::make_unique<Impl>())
{
    d->limits = limits;
    d->authenticate = std::move(authenticate);
    d->routes = std::move(routes);
    d->log = std::move(log);
}

Front::~Front()
{
    stop(std::chrono::seconds(0));
}

int Front::start(const sockaddr* address, socklen_t length)
{
    if (d->daemon)
        throw std::logic_error("the HTTP front is already started");
    (void)length;
    const Limits& l = d->limits;
    // The library's own limits stand behind the caps: connections beyond a
    // cap still get their 503 up to these, past them the library stops
    // accepting and the kernel's queue holds them.
    const unsigned reserve = unsigned(std::max(64, l.maxConnections / 4));
    const unsigned hardTotal = unsigned(l.maxConnections) + reserve;
    const unsigned hardPerAddress = unsigned(l.maxConnectionsPerAddress) + std::min(reserve, 64u);
    unsigned flags = MHD_USE_EPOLL_INTERNAL_THREAD | MHD_USE_ITC | MHD_USE_ERROR_LOG;
    if (address->sa_family == AF_INET6)
        flags |= MHD_USE_IPv6;
    d->daemon = MHD_start_daemon(
        flags, 0, nullptr, nullptr, &Impl::onRequestCb, d.get(), MHD_OPTION_EXTERNAL_LOGGER, &Impl::onLibraryMessageCb, d.get(),
        MHD_OPTION_SOCK_ADDR, address, MHD_OPTION_THREAD_POOL_SIZE, unsigned(l.threads),
        MHD_OPTION_CONNECTION_TIMEOUT, unsigned(l.idleTimeout.count()), MHD_OPTION_CONNECTION_LIMIT, hardTotal, MHD_OPTION_PER_IP_CONNECTION_LIMIT,
        hardPerAddress,
        // The head must fit in the connection's memory with room for the
        // library's records of its fields: a head past the front's own bound
        // gets its JSON 431 from the front, one past this the library's 431.
        // The library clears this memory for every request: no bigger.
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, std::max<std::size_t>(32 * 1024, l.maxHeaderBytes * 2), MHD_OPTION_LISTEN_BACKLOG_SIZE,
        unsigned(SOMAXCONN), MHD_OPTION_NOTIFY_CONNECTION, &Impl::onConnectionCb, d.get(), MHD_OPTION_NOTIFY_COMPLETED, &Impl::onCompletedCb, d.get(), MHD_OPTION_END);
    if (!d->daemon)
        throw std::runtime_error("the HTTP library could not listen");
    const MHD_DaemonInfo* info = MHD_get_daemon_info(d->daemon, MHD_DAEMON_INFO_BIND_PORT);
    const int port = info ? int(info->port) : 0;
    {
        std::lock_guard lock(d->sweepMutex);
        d->sweeping = true;
    }
    d->sweeper = std::thread([this] { d->sweepLoop(); });
    return port;
}

void Front::stop(std::chrono::seconds grace)
{
    if (!d->daemon)
        return;
    d->draining = true;
    const MHD_socket listener = MHD_quiesce_daemon(d->daemon);
    if (listener != MHD_INVALID_SOCKET)
        ::close(listener);
    const auto deadline = Clock::now() + grace;
    while (d->inFlight > 0 && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    MHD_stop_daemon(d->daemon);
    d->daemon = nullptr;
    {
        std::lock_guard lock(d->sweepMutex);
        d->sweeping = false;
    }
    d->sweepWake.notify_all();
    if (d->sweeper.joinable())
        d->sweeper.join();
}

int Front::connections() const
{
    std::lock_guard lock(d->mutex);
    return int(d->open.size());
}

} // namespace erp::http
