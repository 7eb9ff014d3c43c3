#include "serve/http_server.h"

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <exception>
#include <string>
#include <thread>

#include "serve/page.h"
#include "serve/tag_service.h"

namespace verrin::serve {
namespace {

void Send(httplib::Response& res, const CReply& reply) {
  res.status = reply.status;
  res.set_content(reply.body, reply.content_type.c_str());
}

std::string DefaultMessage(int status, const httplib::Request& req, size_t max_bytes) {
  switch (status) {
    case 400:
      return "the request could not be read as HTTP";
    case 404:
      return "no such path: " + req.path +
             " (the service answers /, /healthz, /v1/info and "
             "/v1/tag)";
    case 413:
      return "the request body is larger than " + std::to_string(max_bytes) + " bytes";
    default:
      return "the request was refused (HTTP status " + std::to_string(status) + ")";
  }
}

}  // namespace

class CHttpServer::CImpl {
 public:
  CImpl(CTagService& service, size_t max_bytes, int connection_threads)
      : service_(service), max_bytes_(max_bytes) {
    const size_t threads = connection_threads < 1 ? 1 : static_cast<size_t>(connection_threads);
    server_.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
    server_.set_payload_max_length(max_bytes);
    // A client that stops sending or reading loses its connection after
    // this long, so it cannot hold a connection thread for good.
    server_.set_read_timeout(5, 0);
    server_.set_write_timeout(5, 0);
    server_.set_keep_alive_timeout(5);

    server_.Get("/", [](const httplib::Request&, httplib::Response& res) {
      res.set_content(PageHtml(), "text/html; charset=utf-8");
    });
    server_.Get("/healthz", [this](const httplib::Request&, httplib::Response& res) {
      Send(res, service_.Health());
    });
    server_.Get("/v1/info", [this](const httplib::Request&, httplib::Response& res) {
      Send(res, service_.Info());
    });
    // The body is read here rather than by the server so that its size is
    // bounded however it is sent: the server checks a declared length, but
    // not the total of a chunked body.
    server_.Post("/v1/tag", [this](const httplib::Request& req, httplib::Response& res,
                                   const httplib::ContentReader& read) {
      std::string body;
      bool too_big = false;
      const bool complete = read([&](const char* data, size_t length) {
        if (length > max_bytes_ - body.size()) {
          too_big = true;
          return false;
        }
        body.append(data, length);
        return true;
      });
      if (too_big || res.status == 413) {
        res.set_header("Connection", "close");  // the rest of the body is not read
        Send(res, CTagService::Error(413, DefaultMessage(413, req, max_bytes_)));
        return;
      }
      if (!complete) {
        res.set_header("Connection", "close");
        Send(res, CTagService::Error(400, "the request body could not be read"));
        return;
      }
      Send(res,
           service_.Tag(req.get_header_value("Content-Type"), body, req.get_param_value("option")));
    });
    for (const char* path : {"/", "/healthz", "/v1/info"}) RefuseOtherMethods(path, "GET, HEAD");
    RefuseOtherMethods("/v1/tag", "POST");

    server_.set_error_handler(httplib::Server::HandlerWithResponse(
        [this](const httplib::Request& req, httplib::Response& res) {
          // Answers made by the service already carry their JSON body.
          if (!res.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
          Send(res, CTagService::Error(res.status, DefaultMessage(res.status, req, max_bytes_)));
          return httplib::Server::HandlerResponse::Handled;
        }));
    server_.set_exception_handler(
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
  }

  int Bind(const std::string& host, int port, std::string* error) {
    const int bound =
        port == 0 ? server_.bind_to_any_port(host) : (server_.bind_to_port(host, port) ? port : -1);
    if (bound < 0) {
      *error = "cannot listen on " + host + ":" + std::to_string(port) +
               " (address in use, or not an address of this machine)";
    }
    return bound;
  }

  bool Run() {
    running_.store(true);
    bool ok = true;
    if (!stop_requested_.load()) ok = server_.listen_after_bind();
    running_.store(false);
    return ok;
  }

  void Stop() {
    stop_requested_.store(true);
    // Run may be between its check of stop_requested_ and the start of
    // listening; the server ignores a stop before it runs, so wait for it.
    while (running_.load() && !server_.is_running()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    server_.stop();
  }

 private:
  void RefuseOtherMethods(const char* path, const char* allow) {
    auto refuse = [this, allow](const httplib::Request& req, httplib::Response& res) {
      res.set_header("Allow", allow);
      Send(res, CTagService::Error(405, "method " + req.method + " is not allowed on " + req.path +
                                            " (allowed: " + allow + ")"));
    };
    const std::string p = path;
    if (p == "/v1/tag") {
      server_.Get(p, refuse);
    } else {
      server_.Post(p, refuse);
    }
    server_.Put(p, refuse);
    server_.Patch(p, refuse);
    server_.Delete(p, refuse);
    server_.Options(p, refuse);
  }

  CTagService& service_;
  size_t max_bytes_;
  httplib::Server server_;
  std::atomic<bool> running_{false};
  std::atomic<bool> stop_requested_{false};
};

CHttpServer::CHttpServer(CTagService& service, size_t max_bytes, int connection_threads)
    : impl_(std::make_unique<CImpl>(service, max_bytes, connection_threads)) {}
CHttpServer::~CHttpServer() = default;

int CHttpServer::Bind(const std::string& host, int port, std::string* error) {
  return impl_->Bind(host, port, error);
}
bool CHttpServer::Run() { return impl_->Run(); }
void CHttpServer::Stop() { impl_->Stop(); }

}  // namespace verrin::serve
