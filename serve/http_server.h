// The HTTP face of the tagging service: routes requests to a CTagService,
// serves the page, and answers every error with a JSON body.
//
//   GET  /          the page
//   GET  /healthz   200 once the resources are loaded, 503 before
//   GET  /v1/info   resource directory, model statistics, version
//   POST /v1/tag    tagging (see CTagService::Tag)
//
// Another method on these paths gets 405 with an Allow header, another path
// 404, a body over the byte limit 413.
#ifndef VERRIN_SERVE_HTTP_SERVER_H_
#define VERRIN_SERVE_HTTP_SERVER_H_

#include <cstddef>
#include <memory>
#include <string>

namespace verrin::serve {

class CTagService;

class CHttpServer {
 public:
  // `service` must outlive the server. Bodies longer than `max_bytes` are
  // refused; `connection_threads` connections are served at once (a
  // connection waits for a tagger of the service while it tags).
  CHttpServer(CTagService& service, size_t max_bytes, int connection_threads);
  ~CHttpServer();
  CHttpServer(const CHttpServer&) = delete;
  CHttpServer& operator=(const CHttpServer&) = delete;

  // Binds host:port; port 0 picks a free port. Returns the bound port, or -1
  // with a message in `error`.
  int Bind(const std::string& host, int port, std::string* error);
  // Serves until Stop; requests already received are answered first.
  // Returns false if serving could not start.
  bool Run();
  // Stops Run from any thread; safe to call more than once.
  void Stop();

 private:
  class CImpl;
  std::unique_ptr<CImpl> impl_;
};

}  // namespace verrin::serve

#endif  // VERRIN_SERVE_HTTP_SERVER_H_
