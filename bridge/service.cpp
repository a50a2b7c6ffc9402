#include "bridge/service.h"

#include <chrono>
#include <csignal>
#include <algorithm>
#include <deque>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>

#include "bridge/method_table.h"
#include "bridge/service_rules.h"
#include "bridge/service_settings.h"
#include "platform/files.h"
#include "platform/path.h"

namespace bridge {

namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
namespace net = boost::asio;
using tcp = net::ip::tcp;

namespace {

// The bridge's message format; a client checks it in the first message.
constexpr std::uint32_t kProtocolVersion = 1;
constexpr std::size_t kMaxRequestHeaderBytes = 8 * 1024;
constexpr std::size_t kMaxServedFileBytes = 4u << 20;
constexpr auto kRequestTimeout = std::chrono::seconds(30);
constexpr const char* kServerName = "dociva-serve";

// What the service serves, by exact request target: nothing on the disk is
// reachable through a name the page makes up.
struct ServedFile {
    const char* target;
    const char16_t* file;
    const char* contentType;
    bool anyOrigin;  // the client script is imported by allowed pages of other origins
};
constexpr ServedFile kServed[] = {
    {"/", u"index.html", "text/html; charset=utf-8", false},
    {"/index.html", u"index.html", "text/html; charset=utf-8", false},
    {"/app.js", u"app.js", "text/javascript; charset=utf-8", false},
    {"/style.css", u"style.css", "text/css; charset=utf-8", false},
    {"/dociva.js", u"dociva.js", "text/javascript; charset=utf-8", true},
    {"/dociva.d.ts", u"dociva.d.ts", "text/plain; charset=utf-8", true},
};

// A connection the service closes when it ends, so that no handler of
// it is left waiting (each holds the service's state).
struct Closable {
    virtual ~Closable() = default;
    virtual void closeNow() = 0;
};

}  // namespace

struct Service::State : std::enable_shared_from_this<Service::State> {
    explicit State(ServiceOptions o)
        : options(std::move(o)),
          settings(options.settingsFile),
          hello(helloMessage(kProtocolVersion, methodTable(), eventTable())) {}

    ServiceOptions options;
    ServiceSettings settings;
    const std::string hello;  // every session's first message
    net::io_context ioc{1};
    std::vector<std::unique_ptr<tcp::acceptor>> acceptors;
    std::uint16_t port = 0;
    std::string problem;
    // Network thread only: every session's shell, until its control is gone.
    std::map<std::uint64_t, std::shared_ptr<ControlShell>> shells;
    std::uint64_t nextShell = 0;
    // Network thread only: every connection, to close them at the end.
    std::vector<std::weak_ptr<Closable>> connections;

    void track(const std::shared_ptr<Closable>& connection) {
        std::erase_if(connections, [](const auto& c) { return c.expired(); });
        connections.push_back(connection);
    }
    void accept(tcp::acceptor& acceptor);
    void shutdown() {
        for (auto& acceptor : acceptors) {
            boost::system::error_code ignored;
            acceptor->close(ignored);
        }
        for (auto& [key, shell] : shells) shell->stop();
        ioc.stop();
    }
};

namespace {

using StatePtr = std::shared_ptr<Service::State>;

std::string_view view(beast::string_view s) { return {s.data(), s.size()}; }

template <class Body>
void commonHeaders(http::response<Body>& response) {
    response.set(http::field::server, kServerName);
    response.set(http::field::cache_control, "no-store");
    response.set("X-Content-Type-Options", "nosniff");
    response.set("Referrer-Policy", "no-referrer");
}

class WebSocketSession final : public Outbox, public Closable, public std::enable_shared_from_this<WebSocketSession> {
public:
    WebSocketSession(tcp::socket socket, StatePtr state) : ws_(std::move(socket)), state_(std::move(state)) {}

    void closeNow() override {
        beast::error_code ignored;
        beast::get_lowest_layer(ws_).socket().close(ignored);
    }

    void accept(http::request<http::string_body> request) {
        request_ = std::move(request);
        beast::get_lowest_layer(ws_).expires_never();
        ws_.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
        ws_.set_option(websocket::stream_base::decorator(
            [](websocket::response_type& response) { response.set(http::field::server, kServerName); }));
        ws_.read_message_max(state_->options.maxMessageBytes);
        ws_.async_accept(request_, [self = shared_from_this()](beast::error_code ec) { self->onAccept(ec); });
    }

    // Any thread: carried to the network thread, written in order.
    void send(std::string message) override {
        net::post(ws_.get_executor(), [self = shared_from_this(), m = std::move(message)]() mutable {
            self->queue(std::move(m));
        });
    }
    void sendBinary(std::string header, std::string bytes, bool picture) override {
        net::post(ws_.get_executor(),
                  [self = shared_from_this(), h = std::move(header), b = std::move(bytes), picture]() mutable {
                      self->queue(std::move(h), false, picture);
                      self->queue(std::move(b), true, picture);
                  });
    }

private:
    void onAccept(beast::error_code ec) {
        if (ec) return;
        ws_.text(true);
        queue(state_->hello);
        const std::uint64_t key = ++state_->nextShell;
        std::weak_ptr<Service::State> weak = state_;
        auto& ioc = state_->ioc;
        shell_ = std::make_shared<ControlShell>(shared_from_this(), state_->options.shell, [weak, key, &ioc] {
            // The shell's thread is ending: it is let go on the network
            // thread (its destruction joins the thread, now at its end).
            net::post(ioc, [weak, key] {
                if (auto state = weak.lock()) state->shells.erase(key);
            });
        });
        state_->shells[key] = shell_;
        read();
    }

    void read() {
        ws_.async_read(buffer_, [self = shared_from_this()](beast::error_code ec, std::size_t) { self->onRead(ec); });
    }

    void onRead(beast::error_code ec) {
        if (ec) {
            // Closed by the page, gone, or a message over the limit (the
            // stream has closed with "message too big" then).
            end();
            return;
        }
        if (!ws_.got_text()) {
            queue(serviceErrorMessage(nullptr, "malformed", "messages are JSON texts, not binary frames"));
        } else {
            const std::string_view textIn(static_cast<const char*>(buffer_.data().data()), buffer_.size());
            handle(parsePageMessage(textIn));
        }
        buffer_.consume(buffer_.size());
        if (!closing_) read();
    }

    void handle(PageMessage message) {
        if (auto* call = std::get_if<CallMessage>(&message)) {
            if (!shell_) return;
            CallId id = call->id;
            if (!shell_->enqueue(std::move(*call)))
                queue(serviceErrorMessage(id, "busy", "too many calls are waiting for the control"));
        } else if (auto* answer = std::get_if<AnswerMessage>(&message)) {
            if (shell_) shell_->answer(std::move(*answer));
        } else if (auto* mouse = std::get_if<MouseMessage>(&message)) {
            if (shell_) shell_->mouse(*mouse);
        } else if (auto* viewer = std::get_if<ViewerMessage>(&message)) {
            if (shell_) shell_->viewer(viewer->on);
        } else if (auto* file = std::get_if<FileMessage>(&message)) {
            if (!shell_) return;
            CallId id = file->id;
            if (!shell_->file(std::move(*file)))
                queue(serviceErrorMessage(id, "busy", "too many calls are waiting for the control"));
        } else {
            const auto& bad = std::get<BadMessage>(message);
            queue(serviceErrorMessage(bad.id, "malformed", bad.reason));
        }
    }

    void queue(std::string message, bool binary = false, bool picture = false) {
        if (closing_) return;
        if (picture) {
            // A picture still waiting is out of date: only the newest one
            // goes out, so a page that reads slowly gets fewer frames, not
            // an ever longer queue of them. (The front one may be being
            // written.)
            std::size_t inFlight = writing_ ? 1 : 0;
            // A header in flight keeps its bytes behind it.
            if (writing_ && queue_.front().picture && !queue_.front().binary) inFlight = 2;
            for (auto it = queue_.begin() + static_cast<std::ptrdiff_t>(std::min(inFlight, queue_.size()));
                 it != queue_.end();) {
                it = it->picture ? queue_.erase(it) : it + 1;
            }
        }
        if (queue_.size() >= state_->options.maxQueuedMessages) {
            // The page stopped reading: its session ends rather than the
            // service holding an ever longer queue. The socket is closed at
            // once; a closing handshake could not start behind the write
            // in progress.
            closing_ = true;
            queue_.clear();
            end();
            beast::error_code ignored;
            beast::get_lowest_layer(ws_).socket().close(ignored);
            return;
        }
        queue_.push_back({std::move(message), binary, picture});
        if (!writing_) write();
    }

    void write() {
        writing_ = true;
        ws_.binary(queue_.front().binary);
        ws_.async_write(net::buffer(queue_.front().bytes), [self = shared_from_this()](beast::error_code ec, std::size_t) {
            self->onWrite(ec);
        });
    }

    void onWrite(beast::error_code ec) {
        writing_ = false;
        if (ec) {
            queue_.clear();
            end();
            return;
        }
        if (!queue_.empty()) queue_.pop_front();
        if (!queue_.empty() && !closing_) write();
    }

    void end() {
        if (shell_) shell_->stop();
        shell_.reset();
    }

    websocket::stream<beast::tcp_stream> ws_;
    StatePtr state_;
    http::request<http::string_body> request_;
    beast::flat_buffer buffer_;
    struct Frame {
        std::string bytes;
        bool binary;
        bool picture;  // a picture's header or bytes
    };
    std::deque<Frame> queue_;
    bool writing_ = false;
    bool closing_ = false;
    std::shared_ptr<ControlShell> shell_;
};

class HttpSession final : public Closable, public std::enable_shared_from_this<HttpSession> {
public:
    HttpSession(tcp::socket socket, StatePtr state) : stream_(std::move(socket)), state_(std::move(state)) {}

    void closeNow() override {
        beast::error_code ignored;
        stream_.socket().close(ignored);
    }

    void read() {
        parser_.emplace();
        parser_->header_limit(kMaxRequestHeaderBytes);
        parser_->body_limit(kMaxRequestHeaderBytes);
        stream_.expires_after(kRequestTimeout);
        http::async_read(stream_, buffer_, *parser_,
                         [self = shared_from_this()](beast::error_code ec, std::size_t) { self->onRead(ec); });
    }

private:
    void onRead(beast::error_code ec) {
        if (ec == http::error::end_of_stream) {
            stream_.socket().shutdown(tcp::socket::shutdown_send, ec);
            return;
        }
        if (ec) {
            // Not HTTP, or larger than any request of a page: a plain
            // refusal, then the connection ends.
            if (ec != beast::error::timeout) refuse(http::status::bad_request, "bad request", 11);
            return;
        }
        http::request<http::string_body> request = parser_->release();
        const unsigned version = request.version();
        if (!hostAllowed(view(request[http::field::host]), state_->port)) {
            refuse(http::status::forbidden, "Host is not this service on loopback", version);
            return;
        }
        if (websocket::is_upgrade(request)) {
            upgrade(std::move(request));
            return;
        }
        if (request.method() != http::verb::get && request.method() != http::verb::head) {
            refuse(http::status::method_not_allowed, "only GET", version);
            return;
        }
        serve(request);
    }

    void upgrade(http::request<http::string_body> request) {
        const std::string_view origin = view(request[http::field::origin]);
        if (!originAllowed(origin, state_->port, state_->settings.allowedOrigins())) {
            refuse(http::status::forbidden, "Origin is not allowed to use this service", request.version());
            return;
        }
        if (state_->shells.size() >= state_->options.maxSessions) {
            refuse(http::status::service_unavailable, "too many sessions", request.version());
            return;
        }
        stream_.expires_never();
        auto session = std::make_shared<WebSocketSession>(stream_.release_socket(), state_);
        state_->track(session);
        session->accept(std::move(request));
    }

    void serve(const http::request<http::string_body>& request) {
        std::string_view target = view(request.target());
        target = target.substr(0, target.find('?'));
        const ServedFile* served = nullptr;
        for (const auto& candidate : kServed) {
            if (target == candidate.target) served = &candidate;
        }
        std::string body;
        if (!served || state_->options.webFolder.empty() ||
            !platform::readFile(platform::joinPath(state_->options.webFolder, served->file), body, kMaxServedFileBytes)) {
            refuse(http::status::not_found, "not found", request.version(), request.keep_alive());
            return;
        }
        auto response = std::make_shared<http::response<http::string_body>>(http::status::ok, request.version());
        commonHeaders(*response);
        response->set(http::field::content_type, served->contentType);
        if (served->anyOrigin) response->set(http::field::access_control_allow_origin, "*");
        if (std::string_view(served->contentType).starts_with("text/html")) {
            response->set("Content-Security-Policy",
                          "default-src 'self'; img-src 'self' blob: data:; connect-src 'self'; frame-ancestors 'none'");
        }
        const bool head = request.method() == http::verb::head;
        response->body() = std::move(body);
        response->prepare_payload();
        if (head) response->body().clear();
        response->keep_alive(request.keep_alive());
        respond(std::move(response));
    }

    void refuse(http::status status, std::string_view why, unsigned version, bool keepAlive = false) {
        auto response = std::make_shared<http::response<http::string_body>>(status, version);
        commonHeaders(*response);
        response->set(http::field::content_type, "text/plain; charset=utf-8");
        response->body() = std::string(why) + "\n";
        response->prepare_payload();
        response->keep_alive(keepAlive);
        respond(std::move(response));
    }

    void respond(std::shared_ptr<http::response<http::string_body>> response) {
        const bool keepAlive = response->keep_alive();
        http::async_write(stream_, *response,
                          [self = shared_from_this(), response, keepAlive](beast::error_code ec, std::size_t) {
                              if (ec) return;
                              if (!keepAlive) {
                                  self->stream_.socket().shutdown(tcp::socket::shutdown_send, ec);
                                  return;
                              }
                              self->read();
                          });
    }

    beast::tcp_stream stream_;
    StatePtr state_;
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::string_body>> parser_;
};

}  // namespace

void Service::State::accept(tcp::acceptor& acceptor) {
    acceptor.async_accept([self = shared_from_this(), &acceptor](beast::error_code ec, tcp::socket socket) {
        if (ec == net::error::operation_aborted || !acceptor.is_open()) return;
        if (!ec) {
            auto session = std::make_shared<HttpSession>(std::move(socket), self);
            self->track(session);
            session->read();
        }
        self->accept(acceptor);
    });
}

Service::Service(ServiceOptions options) : state_(std::make_shared<State>(std::move(options))) {}

Service::~Service() {
    // Sessions still open when the service ends: every control is stopped
    // and destroyed on its own thread before the network objects go.
    for (auto& [key, shell] : state_->shells) shell->stop();
    state_->shells.clear();
}

const std::string& Service::problem() const { return state_->problem; }

int Service::run() {
    State& s = *state_;
    const auto bind = [&](const net::ip::address& address, std::uint16_t port) -> bool {
        auto acceptor = std::make_unique<tcp::acceptor>(s.ioc);
        boost::system::error_code ec;
        const tcp::endpoint endpoint(address, port);
        acceptor->open(endpoint.protocol(), ec);
        if (!ec && address.is_v6()) acceptor->set_option(net::ip::v6_only(true), ec);
        if (!ec) acceptor->set_option(net::socket_base::reuse_address(true), ec);
        if (!ec) acceptor->bind(endpoint, ec);
        if (!ec) acceptor->listen(net::socket_base::max_listen_connections, ec);
        if (ec) {
            if (s.problem.empty()) s.problem = address.to_string() + " port " + std::to_string(port) + ": " + ec.message();
            return false;
        }
        if (s.port == 0) s.port = acceptor->local_endpoint().port();
        s.acceptors.push_back(std::move(acceptor));
        return true;
    };
    if (!bind(net::ip::address_v4::loopback(), s.options.port)) return 1;
    // ::1 on the same port; a machine without IPv6 is served on 127.0.0.1.
    const bool ipv6 = bind(net::ip::address_v6::loopback(), s.port);
    s.problem.clear();
    for (auto& acceptor : s.acceptors) s.accept(*acceptor);

    net::signal_set signals(s.ioc, SIGINT, SIGTERM);
    signals.async_wait([state = state_](const boost::system::error_code& ec, int) {
        if (!ec) state->shutdown();
    });
    if (s.options.listening) s.options.listening(s.port, ipv6);
    s.ioc.run();
    // Every control ends on its own thread first (nothing posts from then
    // on); then every connection is closed and the handlers still waiting
    // run to their end, so none is left holding the service's state.
    for (auto& [key, shell] : s.shells) shell->stop();
    s.shells.clear();
    for (auto& connection : s.connections) {
        if (auto open = connection.lock()) open->closeNow();
    }
    s.connections.clear();
    for (auto& acceptor : s.acceptors) {
        boost::system::error_code ignored;
        acceptor->close(ignored);
    }
    boost::system::error_code ignored;
    signals.cancel(ignored);
    s.ioc.restart();
    s.ioc.run();
    return 0;
}

void Service::stop() {
    net::post(state_->ioc, [state = state_] { state->shutdown(); });
}

}  // namespace bridge
