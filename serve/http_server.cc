#include "serve/http_server.h"

#include <fcntl.h>
#include <httplib.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <mutex>
#include <string>
#include <thread>

#include "serve/byte_budget.h"
#include "serve/page.h"
#include "serve/tag_service.h"

namespace verrin::serve {
namespace {

using Clock = std::chrono::steady_clock;

// The request line and headers of one request, in bytes.
constexpr size_t kMaxHeaderBytes = 64 * 1024;
// How long a connection may idle between requests.
constexpr Clock::duration kIdle = std::chrono::seconds(5);
// How long answers being written may still take once the server stops.
constexpr Clock::duration kStopGrace = std::chrono::seconds(2);
// How long a connection closed with unread input is drained (see Close).
constexpr Clock::duration kLinger = std::chrono::milliseconds(500);
constexpr int kMaxRequestsPerConnection = 1000;

int MillisecondsUntil(Clock::time_point deadline, Clock::time_point now) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
  return static_cast<int>(std::clamp<int64_t>(left, 0, 60 * 60 * 1000));
}

// State that Stop shares with every connection.
struct CShared {
  int wake_fd = -1;  // readable once Stop was called
  std::atomic<bool> stopping{false};
  std::atomic<Clock::rep> stop_deadline{0};  // valid once stopping
  Clock::time_point StopDeadline() const {
    return Clock::time_point(Clock::duration(stop_deadline.load()));
  }
};

// A complete answer written without cpp-httplib (the connection is not, or
// no longer, read as HTTP).
std::string RawReply(int status, const char* reason, const std::string& message) {
  const std::string body = CTagService::Error(status, message).body;
  return "HTTP/1.1 " + std::to_string(status) + " " + reason +
         "\r\nContent-Type: application/json; charset=utf-8\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\nConnection: close\r\nRetry-After: 1\r\n\r\n" + body;
}

// One client connection as the stream cpp-httplib reads requests from and
// writes answers to. It keeps the bytes read ahead from one request to the
// next (pipelined requests), and holds each request to deadlines: its
// headers and body must arrive within the timeout of its first byte, its
// answer must be taken in time. Reads end when the server stops.
class CConnection final : public httplib::Stream {
 public:
  CConnection(int fd, const CShared& shared, Clock::duration timeout)
      : fd_(fd), shared_(shared), timeout_(timeout) {}

  // True when a next request has begun to arrive within the idle time.
  bool AwaitRequest() {
    if (pos_ < end_) return true;
    read_deadline_ = Clock::now() + std::min(kIdle, timeout_);
    const bool ready = Wait(POLLIN, true);
    timed_out_ = false;  // idling out is no fault of a request
    return ready;
  }
  void BeginRequest() {
    read_deadline_ = Clock::now() + timeout_;
    header_budget_ = kMaxHeaderBytes;
    answer_deadline_set_ = wrote_ = close_ = routed_ = timed_out_ = overflow_ = false;
  }
  void EndHeaders() { header_budget_ = SIZE_MAX; }
  // Moves the read deadline by the time the request waited for admission.
  void Postpone(Clock::duration waited) { read_deadline_ += waited; }
  // The answer of `bytes` bytes must be taken within the timeout plus one
  // second a MiB.
  void SetAnswerSize(size_t bytes) {
    write_deadline_ = Clock::now() + timeout_ + std::chrono::seconds(bytes >> 20);
    answer_deadline_set_ = true;
  }
  void Admitted(CByteBudget* budget, size_t bytes) {
    budget_ = budget;
    admitted_ = bytes;
  }
  // Gives back the admitted bytes beyond `bytes`.
  void ShrinkAdmission(size_t bytes) {
    if (budget_ != nullptr && bytes < admitted_) {
      budget_->Release(admitted_ - bytes);
      admitted_ = bytes;
    }
  }
  void ReleaseAdmission() {
    if (budget_ != nullptr) budget_->Release(admitted_);
    budget_ = nullptr;
    admitted_ = 0;
  }
  void MarkRouted() { routed_ = true; }
  bool Routed() const { return routed_; }
  void CloseAfterAnswer() { close_ = true; }
  bool CloseRequested() const { return close_; }
  bool TimedOut() const { return timed_out_; }
  bool HeadersTooLong() const { return overflow_; }
  bool Wrote() const { return wrote_; }
  bool Broken() const { return read_failed_ || write_failed_; }

  // Closes the socket. When the request was not read to its end, the input
  // still coming is read and dropped for a moment first, so that the
  // client reads the answer instead of a reset.
  void Close() {
    if (!eof_ && !write_failed_ && !shared_.stopping.load()) {
      shutdown(fd_, SHUT_WR);
      const Clock::time_point until = Clock::now() + kLinger;
      char sink[4096];
      for (Clock::time_point now; (now = Clock::now()) < until;) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, MillisecondsUntil(until, now)) <= 0) break;
        if (recv(fd_, sink, sizeof sink, 0) <= 0) break;
      }
    }
    close(fd_);
  }

  void WriteRaw(const std::string& bytes) {
    if (!answer_deadline_set_) SetAnswerSize(0);
    write(bytes.data(), bytes.size());
  }

  bool is_readable() const override {
    if (pos_ < end_) return true;
    pollfd p{fd_, POLLIN, 0};
    return poll(&p, 1, 0) > 0;
  }
  bool is_writable() const override { return !write_failed_; }

  ssize_t read(char* ptr, size_t size) override {
    if (read_failed_) return -1;
    if (pos_ == end_) {
      if (!Wait(POLLIN, true)) {
        read_failed_ = true;
        return -1;
      }
      ssize_t n;
      do {
        n = recv(fd_, buffer_, sizeof buffer_, 0);
      } while (n < 0 && errno == EINTR);
      if (n <= 0) {
        read_failed_ = true;
        eof_ = n == 0;
        return n < 0 ? -1 : 0;
      }
      pos_ = 0;
      end_ = static_cast<size_t>(n);
    }
    const size_t n = std::min(size, end_ - pos_);
    if (header_budget_ != SIZE_MAX) {
      // Request line and headers too long: the read fails, the request is
      // answered 400 and the connection closed.
      if (n > header_budget_) {
        read_failed_ = overflow_ = true;
        return -1;
      }
      header_budget_ -= n;
    }
    std::memcpy(ptr, buffer_ + pos_, n);
    pos_ += n;
    return static_cast<ssize_t>(n);
  }

  ssize_t write(const char* ptr, size_t size) override {
    if (write_failed_) return -1;
    if (!answer_deadline_set_) SetAnswerSize(0);
    size_t done = 0;
    while (done < size) {
      const ssize_t n = send(fd_, ptr + done, size - done, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n > 0) {
        done += static_cast<size_t>(n);
        wrote_ = true;
      } else if (n < 0 && errno == EINTR) {
        continue;
      } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        if (!Wait(POLLOUT, false)) {
          write_failed_ = true;
          return -1;
        }
      } else {
        write_failed_ = true;
        return -1;
      }
    }
    return static_cast<ssize_t>(size);
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    Address(getpeername, ip, port);
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    Address(getsockname, ip, port);
  }
  socket_t socket() const override { return fd_; }

 private:
  // Waits until the socket is ready for `events`. A read waits until the
  // read deadline and ends when the server stops; a write waits until the
  // write deadline, or the stop's grace if that comes first.
  bool Wait(short events, bool reading) {
    for (;;) {
      const bool stopping = shared_.stopping.load();
      if (stopping && reading) return false;
      Clock::time_point deadline = reading ? read_deadline_ : write_deadline_;
      if (stopping) deadline = std::min(deadline, shared_.StopDeadline());
      const Clock::time_point now = Clock::now();
      if (now >= deadline) {
        timed_out_ = true;
        return false;
      }
      pollfd fds[2] = {{fd_, events, 0}, {shared_.wake_fd, POLLIN, 0}};
      const int n = poll(fds, stopping ? 1 : 2, MillisecondsUntil(deadline, now));
      if (n < 0 && errno != EINTR) return false;
      if (n > 0 && fds[0].revents != 0) return true;
      // Time is up, or a signal, or the stop: look again.
    }
  }

  void Address(int (*get)(int, sockaddr*, socklen_t*), std::string& ip, int& port) const {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    ip.clear();
    port = 0;
    if (get(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) return;
    char host[NI_MAXHOST], service[NI_MAXSERV];
    if (getnameinfo(reinterpret_cast<sockaddr*>(&address), length, host, sizeof host, service,
                    sizeof service, NI_NUMERICHOST | NI_NUMERICSERV) == 0) {
      ip = host;
      port = std::atoi(service);
    }
  }

  const int fd_;
  const CShared& shared_;
  const Clock::duration timeout_;
  char buffer_[16384];
  size_t pos_ = 0, end_ = 0;
  size_t header_budget_ = SIZE_MAX;  // SIZE_MAX: not reading headers
  Clock::time_point read_deadline_{}, write_deadline_{};
  bool answer_deadline_set_ = false;
  bool read_failed_ = false, write_failed_ = false, eof_ = false;
  bool timed_out_ = false, overflow_ = false, wrote_ = false, close_ = false, routed_ = false;
  CByteBudget* budget_ = nullptr;
  size_t admitted_ = 0;
};

// The connection the calling thread serves (handlers run on that thread).
thread_local CConnection* t_connection = nullptr;

// cpp-httplib's request reading and routing over a CConnection.
class CRouter : public httplib::Server {
 public:
  bool Process(CConnection& connection, bool close_connection, bool& connection_closed) {
    return process_request(connection, close_connection, connection_closed,
                           [&connection](httplib::Request& req) {
                             // Answers are always whole: a Range header is
                             // ignored rather than multiplying the page.
                             req.ranges.clear();
                             connection.EndHeaders();
                           });
  }
};

void Send(httplib::Response& res, CReply reply) {
  res.status = reply.status;
  res.body = std::move(reply.body);
  res.set_header("Content-Type", reply.content_type);
}

// Answers and closes the connection: the rest of the request is not read.
void SendAndClose(httplib::Response& res, CReply reply) {
  res.set_header("Connection", "close");
  if (t_connection != nullptr) t_connection->CloseAfterAnswer();
  Send(res, std::move(reply));
}

bool HasBody(const httplib::Request& req) {
  if (req.has_header("Transfer-Encoding")) return true;
  const std::string length = req.get_header_value("Content-Length");
  return !length.empty() && length.find_first_not_of('0') != std::string::npos;
}

// The methods a path takes, null for an unknown path.
const char* AllowedMethods(const std::string& path) {
  if (path == "/" || path == "/healthz" || path == "/v1/info") return "GET, HEAD";
  if (path == "/v1/tag") return "POST";
  return nullptr;
}

}  // namespace

class CHttpServer::CImpl {
 public:
  CImpl(CTagService& service, const CServerLimits& limits)
      : service_(service),
        limits_(limits),
        timeout_(std::chrono::seconds(std::max(1, limits.timeout_seconds))),
        budget_(std::max(limits.max_inflight_bytes, size_t{1})) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
      wake_read_ = shared_.wake_fd = fds[0];
      wake_write_ = fds[1];
    }
    // A second guard behind the handlers' own checks.
    router_.set_payload_max_length(limits.max_bytes);
    // Only for the Keep-Alive header of answers: ServeConnection keeps to them.
    router_.set_keep_alive_max_count(kMaxRequestsPerConnection);
    router_.set_keep_alive_timeout(std::chrono::duration_cast<std::chrono::seconds>(kIdle).count());
    AddRoutes();
    AddGuards();
  }

  ~CImpl() {
    if (listen_fd_ >= 0) close(listen_fd_);
    if (wake_read_ >= 0) close(wake_read_);
    if (wake_write_ >= 0) close(wake_write_);
  }

  int Bind(const std::string& host, int port, std::string* error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string where = host + ":" + std::to_string(port);
    if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) {
      *error = "cannot listen on " + where + " (not an address of this machine)";
      return -1;
    }
    int last_errno = 0;
    for (addrinfo* a = found; a != nullptr && listen_fd_ < 0; a = a->ai_next) {
      const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
      if (fd < 0) continue;
      const int yes = 1;
      setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
      if (bind(fd, a->ai_addr, a->ai_addrlen) == 0 && listen(fd, 128) == 0) {
        listen_fd_ = fd;
      } else {
        last_errno = errno;
        close(fd);
      }
    }
    freeaddrinfo(found);
    if (listen_fd_ < 0) {
      *error = "cannot listen on " + where + " (" +
               (last_errno != 0 ? std::strerror(last_errno) : "no usable address") + ")";
      return -1;
    }
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&address), &length);
    return address.ss_family == AF_INET6
               ? ntohs(reinterpret_cast<sockaddr_in6*>(&address)->sin6_port)
               : ntohs(reinterpret_cast<sockaddr_in*>(&address)->sin_port);
  }

  bool Run() {
    if (listen_fd_ < 0 || wake_read_ < 0) return false;
    while (!shared_.stopping.load()) {
      pollfd fds[2] = {{listen_fd_, POLLIN, 0}, {wake_read_, POLLIN, 0}};
      if (poll(fds, 2, -1) < 0) {
        if (errno == EINTR) continue;
        break;
      }
      if (fds[1].revents != 0) break;
      if ((fds[0].revents & POLLIN) == 0) continue;
      const int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) {
        // Out of descriptors or memory: let connections close first.
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
          std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        continue;
      }
      if (!Enter()) {
        Refuse(fd);
        continue;
      }
      try {
        std::thread([this, fd] {
          ServeConnection(fd);
          Leave();
        }).detach();
      } catch (const std::exception&) {
        Leave();
        Refuse(fd);
      }
    }
    close(listen_fd_);
    listen_fd_ = -1;
    service_.Close();
    budget_.Wake();
    std::unique_lock<std::mutex> lock(active_mutex_);
    active_cv_.wait(lock, [this] { return active_ == 0; });
    return true;
  }

  void Stop() {
    if (shared_.stopping.load()) return;
    shared_.stop_deadline.store((Clock::now() + kStopGrace).time_since_epoch().count());
    shared_.stopping.store(true);
    if (wake_write_ >= 0) {
      const ssize_t written = write(wake_write_, "x", 1);
      (void)written;  // the pipe is readable already when it is full
    }
    budget_.Wake();
  }

  void ServeConnection(int fd) {
    const int yes = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    CConnection connection(fd, shared_, timeout_);
    t_connection = &connection;
    for (int served = 0; served < kMaxRequestsPerConnection; ++served) {
      if (!connection.AwaitRequest()) break;
      connection.BeginRequest();
      const bool last = shared_.stopping.load() || served + 1 == kMaxRequestsPerConnection;
      bool closed = false;
      const bool ok = router_.Process(connection, last, closed);
      connection.ReleaseAdmission();
      if (connection.TimedOut() && !connection.Wrote()) {
        connection.WriteRaw(RawReply(408, "Request Timeout", Timeout()));
        break;
      }
      if (connection.HeadersTooLong() && !connection.Wrote()) {
        connection.WriteRaw(RawReply(431, "Request Header Fields Too Large", HeadersTooLong()));
        break;
      }
      // A request refused before routing (unreadable, URI too long) may have
      // left its body unread: what follows cannot be trusted to be a request.
      if (!ok || closed || last || !connection.Routed() || connection.CloseRequested() ||
          connection.Broken()) {
        break;
      }
    }
    t_connection = nullptr;
    connection.Close();
  }

 private:
  // The paths served and their handlers.
  void AddRoutes() {
    router_.Get("/", [](const httplib::Request&, httplib::Response& res) {
      res.set_content(PageHtml(), "text/html; charset=utf-8");
    });
    router_.Get("/healthz", [this](const httplib::Request&, httplib::Response& res) {
      Send(res, service_.Health());
    });
    router_.Get("/v1/info", [this](const httplib::Request&, httplib::Response& res) {
      Send(res, service_.Info());
    });
    router_.Post("/v1/tag", [this](const httplib::Request& req, httplib::Response& res,
                                   const httplib::ContentReader& read) { Tag(req, res, read); });
  }

  // The checks and error answers around the handlers.
  void AddGuards() {
    // Paths and methods are checked before any body is read; a refused
    // request's body is never read, so its connection is closed.
    router_.set_pre_routing_handler([](const httplib::Request& req, httplib::Response& res) {
      if (t_connection != nullptr) t_connection->MarkRouted();
      const bool body = HasBody(req);
      const char* allow = AllowedMethods(req.path);
      auto refuse = [&](int status, const std::string& message) {
        CReply reply = CTagService::Error(status, message);
        if (body) {
          SendAndClose(res, std::move(reply));
        } else {
          Send(res, std::move(reply));
        }
        return httplib::Server::HandlerResponse::Handled;
      };
      if (allow == nullptr) {
        return refuse(404, "no such path: " + req.path +
                               " (the service answers /, /healthz, /v1/info and /v1/tag)");
      }
      const std::string allowed = allow;
      const bool get_path = allowed != "POST";
      if (get_path ? req.method != "GET" && req.method != "HEAD" : req.method != "POST") {
        res.set_header("Allow", allowed);
        return refuse(405, "method " + req.method + " is not allowed on " + req.path +
                               " (allowed: " + allowed + ")");
      }
      if (get_path && body) return refuse(400, "a " + req.method + " request takes no body");
      return httplib::Server::HandlerResponse::Unhandled;
    });
    // Errors found by cpp-httplib itself (a request that cannot be read, a
    // URI too long) get a JSON body too.
    router_.set_error_handler(httplib::Server::HandlerWithResponse(
        [this](const httplib::Request& req, httplib::Response& res) {
          if (!res.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
          if (t_connection != nullptr && t_connection->TimedOut()) res.status = 408;
          if (t_connection != nullptr && t_connection->HeadersTooLong()) res.status = 431;
          Send(res, CTagService::Error(res.status, DefaultMessage(res.status, req)));
          return httplib::Server::HandlerResponse::Handled;
        }));
    router_.set_exception_handler(
        [](const httplib::Request&, httplib::Response& res, std::exception_ptr error) {
          std::string what = "unknown error";
          try {
            if (error) std::rethrow_exception(error);
          } catch (const std::exception& e) {
            what = e.what();
          } catch (...) {
          }
          Send(res, CTagService::Error(500, "internal error: " + what));
        });
    router_.set_post_routing_handler([](const httplib::Request&, httplib::Response& res) {
      if (t_connection != nullptr) t_connection->SetAnswerSize(res.body.size());
    });
  }

  // POST /v1/tag: the body is admitted, read and bounded here rather than by
  // cpp-httplib, so that its size is bounded however it is sent (a declared
  // length, or chunks) and no byte is read before the request is admitted.
  void Tag(const httplib::Request& req, httplib::Response& res,
           const httplib::ContentReader& read) {
    CConnection* connection = t_connection;
    const std::string length_header = req.get_header_value("Content-Length");
    const bool chunked =
        strcasecmp(req.get_header_value("Transfer-Encoding").c_str(), "chunked") == 0;
    size_t declared = 0;
    if (!chunked && !length_header.empty()) {
      char* end = nullptr;
      errno = 0;
      const unsigned long long value = std::strtoull(length_header.c_str(), &end, 10);
      if (*end != '\0' || errno == ERANGE || length_header[0] == '-') {
        SendAndClose(res, CTagService::Error(400, "the Content-Length header is not a number"));
        return;
      }
      if (value > limits_.max_bytes) {
        SendAndClose(res, CTagService::Error(413, TooLarge()));
        return;
      }
      declared = static_cast<size_t>(value);
    }
    const size_t charge = chunked ? limits_.max_bytes : declared;
    const Clock::time_point asked = Clock::now();
    if (!budget_.Acquire(charge, asked + std::chrono::seconds(limits_.admission_wait_seconds),
                         shared_.stopping)) {
      res.set_header("Retry-After", "1");
      SendAndClose(res, CTagService::Error(503, shared_.stopping.load()
                                                    ? "the service is stopping"
                                                    : "the service is busy; try again shortly"));
      return;
    }
    if (connection != nullptr) {
      connection->Admitted(&budget_, charge);
      connection->Postpone(Clock::now() - asked);
    }

    std::string body;
    if (chunked || declared > 0) {
      body.reserve(declared);
      bool too_big = false;
      const bool complete = read([&](const char* data, size_t length) {
        if (length > limits_.max_bytes - body.size()) {
          too_big = true;
          return false;
        }
        body.append(data, length);
        return true;
      });
      if (too_big || res.status == 413) {
        SendAndClose(res, CTagService::Error(413, TooLarge()));
        return;
      }
      if (!complete) {
        const bool late = connection != nullptr && connection->TimedOut();
        SendAndClose(res,
                     CTagService::Error(late ? 408 : 400,
                                        late ? Timeout() : "the request body could not be read"));
        return;
      }
    }
    if (connection != nullptr && chunked) connection->ShrinkAdmission(body.size());
    Send(res,
         service_.Tag(req.get_header_value("Content-Type"), body, req.get_param_value("option")));
  }

  std::string TooLarge() const {
    return "the request body is larger than " + std::to_string(limits_.max_bytes) + " bytes";
  }
  static std::string HeadersTooLong() {
    return "the request line and headers exceed " + std::to_string(kMaxHeaderBytes) + " bytes";
  }
  std::string Timeout() const {
    return "the request did not arrive whole within " + std::to_string(limits_.timeout_seconds) +
           " s";
  }
  std::string DefaultMessage(int status, const httplib::Request& req) const {
    switch (status) {
      case 400:
        return "the request could not be read as HTTP";
      case 404:
        return "no such path: " + req.path;
      case 408:
        return Timeout();
      case 413:
        return TooLarge();
      case 414:
        return "the request target is too long";
      case 431:
        return HeadersTooLong();
      default:
        return "the request was refused (HTTP status " + std::to_string(status) + ")";
    }
  }

  bool Enter() {
    std::lock_guard<std::mutex> lock(active_mutex_);
    if (active_ >= limits_.max_connections) return false;
    ++active_;
    return true;
  }
  void Leave() {
    std::lock_guard<std::mutex> lock(active_mutex_);
    --active_;
    active_cv_.notify_all();
  }
  // A connection beyond the bound: 503 at once, nothing read.
  void Refuse(int fd) const {
    const std::string reply =
        RawReply(503, "Service Unavailable",
                 "too many connections (the service serves " +
                     std::to_string(limits_.max_connections) + " at once); try again shortly");
    send(fd, reply.data(), reply.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    shutdown(fd, SHUT_WR);
    close(fd);
  }

  CTagService& service_;
  const CServerLimits limits_;
  const Clock::duration timeout_;
  CRouter router_;
  CShared shared_;
  CByteBudget budget_;
  int listen_fd_ = -1;
  int wake_read_ = -1, wake_write_ = -1;
  std::mutex active_mutex_;
  std::condition_variable active_cv_;
  int active_ = 0;
};

CHttpServer::CHttpServer(CTagService& service, const CServerLimits& limits)
    : impl_(std::make_unique<CImpl>(service, limits)) {}
CHttpServer::~CHttpServer() = default;

int CHttpServer::Bind(const std::string& host, int port, std::string* error) {
  return impl_->Bind(host, port, error);
}
bool CHttpServer::Run() { return impl_->Run(); }
void CHttpServer::Stop() { impl_->Stop(); }
void CHttpServer::ServeConnection(int fd) { impl_->ServeConnection(fd); }

}  // namespace verrin::serve
