// The HTTP face of the tagging service: accepts connections, routes requests
// to a CTagService, serves the page, and answers every error with a JSON body.
//
//   GET  /          the page
//   GET  /healthz   200 once the resources are loaded, 503 before
//   GET  /v1/info   resource directory, model statistics, version
//   POST /v1/tag    tagging (see CTagService::Tag)
//
// Another method on these paths gets 405 with an Allow header, another path
// 404, a body over the byte limit 413, a request not received whole within
// the timeout 408, a connection beyond the bound 503 at once.
//
// Each connection has a thread of its own while it is open, so a slow client
// holds only its own connection, and a health check never waits behind
// tagging. HTTP is read and written by cpp-httplib; the sockets, the
// deadlines and the bounds are kept here.
#ifndef VERRIN_SERVE_HTTP_SERVER_H_
#define VERRIN_SERVE_HTTP_SERVER_H_

#include <cstddef>
#include <memory>
#include <string>

namespace verrin::serve {

class CTagService;

struct CServerLimits {
  // Largest request body accepted.
  size_t max_bytes = 1 << 20;
  // Request bodies admitted at once, in bytes, from the first byte read to
  // the last byte of the answer written. A request that does not fit waits
  // for others to finish (503 after `admission_wait_seconds`). A body larger
  // than this bound is admitted alone.
  size_t max_inflight_bytes = 2 << 20;
  // Connections open at once; one more is answered 503 and closed.
  int max_connections = 256;
  // A request's headers and body must arrive within this many seconds of its
  // first byte; an answer must be taken within this many seconds plus one a
  // MiB. An idle connection is closed after at most 5 s.
  int timeout_seconds = 10;
  int admission_wait_seconds = 120;
};

class CHttpServer {
 public:
  // `service` must outlive the server.
  CHttpServer(CTagService& service, const CServerLimits& limits);
  ~CHttpServer();
  CHttpServer(const CHttpServer&) = delete;
  CHttpServer& operator=(const CHttpServer&) = delete;

  // Binds host:port; port 0 picks a free port. Returns the bound port, or -1
  // with a message in `error`.
  int Bind(const std::string& host, int port, std::string* error);
  // Serves until Stop, then returns once every connection is closed: requests
  // being tagged are answered, requests waiting for a tagger get 503,
  // requests still arriving are cut. Returns false if serving could not start.
  bool Run();
  // Stops Run from any thread; safe to call more than once, and before Run.
  void Stop();

  // Serves one connected socket on the calling thread until the client
  // closes it, it idles, or Stop; then closes `fd`. Run calls it for every
  // connection; the fuzz harness calls it on one end of a socket pair.
  void ServeConnection(int fd);

 private:
  class CImpl;
  std::unique_ptr<CImpl> impl_;
};

}  // namespace verrin::serve

#endif  // VERRIN_SERVE_HTTP_SERVER_H_
