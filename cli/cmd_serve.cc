// verrin serve
#include <cstdio>
#include <string>

#include "cli/command.h"

#ifdef VERRIN_WITH_SERVE
#include <pthread.h>
#include <signal.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <cstdlib>
#include <thread>

#include "serve/http_server.h"
#include "serve/tag_service.h"
#include "verrin/verrin.h"
#endif

namespace verrin::cli {
namespace {

constexpr char kName[] = "serve";
constexpr char kUsage[] =
    "Usage: verrin serve [options]\n"
    "\n"
    "Runs an HTTP service that tags text, with a page to try it in a browser.\n"
    "Prints the address it listens on, loads the resources, then serves until\n"
    "interrupted (SIGINT or SIGTERM: requests in flight are answered first).\n"
    "\n"
    "Options:\n"
    "  --res DIR          resource directory (default: the bundled resources)\n"
    "  --model PATH       model file (default: DIR/model.txt when it exists)\n"
    "  --protected        read the protected (.des) forms of every file\n"
    "                     (a fixed key built into verrin: not encryption)\n"
    "  --host HOST        address to listen on (default 127.0.0.1; 0.0.0.0 opens\n"
    "                     the service to other machines)\n"
    "  --port N           port (default 8080; 0 picks a free one)\n"
    "  --threads N        taggers working at once (default: the number of cores)\n"
    "  --max-bytes B      largest request body accepted (default 1048576)\n"
    "  --max-inflight-bytes B\n"
    "                     request bodies tagged or answered at once, in bytes\n"
    "                     (default 2 times --max-bytes); the memory of requests in\n"
    "                     flight grows with it (docs/serve.md); others wait\n"
    "  --max-connections N  connections open at once (default 256); one more is\n"
    "                     answered 503 at once\n"
    "  --timeout S        seconds a request's headers and body may take to arrive,\n"
    "                     and an answer to be taken, plus 1 s a MiB (default 10)\n"
    "\n"
    "Endpoints:\n"
    "  GET  /          a page: type a text, see its entities highlighted\n"
    "  POST /v1/tag    {\"text\": \"...\", \"option\": 0} or {\"texts\": [...], \"option\": 0}\n"
    "                  -> {\"results\": [{\"words\": [{\"text\", \"start\", \"end\", \"type\",\n"
    "                  \"tag\"}, ...], \"entities\": [...], \"rendered\": \"...\"}]};\n"
    "                  a text/plain body holds one text a line and gets one JSON\n"
    "                  object a line back (option as ?option=N)\n"
    "  GET  /healthz   200 once the resources are loaded, 503 before\n"
    "  GET  /v1/info   resource directory, model statistics, version\n"
    "\n"
    "Offsets (start inclusive, end exclusive) count Unicode code points of the\n"
    "submitted text. Word types: 0 word, 1 mdw word, 2 class word, 3 entity\n"
    "(tag P person, L location, O organization). Errors come back as\n"
    "{\"error\": {\"status\", \"message\"}}: 400 bad JSON, missing field or invalid\n"
    "UTF-8, 404 unknown path, 405 wrong method, 408 request not received in\n"
    "time, 413 body over --max-bytes, 503 too many connections or stopping.\n"
#ifndef VERRIN_WITH_SERVE
    "\n"
    "This build has no service: it was built without the Debian packages\n"
    "libcpp-httplib-dev and nlohmann-json3-dev (scripts/build.sh installs them\n"
    "when run as root).\n"
#endif
    ;

#ifdef VERRIN_WITH_SERVE

int Run(int argc, char** argv) {
  ResourceOptions resources;
  std::string host = "127.0.0.1", port_text = "8080", threads_text, max_bytes_text = "1048576";
  std::string inflight_text, connections_text = "256", timeout_text = "10";
  ArgParser parser;
  resources.AddTo(parser);
  parser.AddOption("host", &host);
  parser.AddOption("port", &port_text);
  parser.AddOption("threads", &threads_text);
  parser.AddOption("max-bytes", &max_bytes_text);
  parser.AddOption("max-inflight-bytes", &inflight_text);
  parser.AddOption("max-connections", &connections_text);
  parser.AddOption("timeout", &timeout_text);
  std::string error;
  if (!parser.Parse(argc, argv, &error)) return UsageError(kName, error);
  if (!parser.Positional().empty()) return UsageError(kName, "unexpected argument");
  int port = 0, threads = 0, max_bytes = 0;
  if (!ParseIntArg(port_text, &port) || port < 0 || port > 65535) {
    return UsageError(kName, "--port must be a number from 0 to 65535");
  }
  if (threads_text.empty()) {
    threads = static_cast<int>(std::thread::hardware_concurrency());
    if (threads < 1) threads = 1;
  } else if (!ParseIntArg(threads_text, &threads) || threads < 1 || threads > 256) {
    return UsageError(kName, "--threads must be a number from 1 to 256");
  }
#if defined(__GLIBC__) && defined(M_ARENA_MAX)
  // Every connection has a thread, and glibc gives threads malloc arenas of
  // their own (up to eight per core); memory freed in one arena is not reused
  // for a request served from another, so a burst of large requests over many
  // connections would keep many requests' worth of memory. One arena per
  // tagger and one more keep the in-flight bound; MALLOC_ARENA_MAX, when set,
  // is left to rule.
  if (std::getenv("MALLOC_ARENA_MAX") == nullptr) mallopt(M_ARENA_MAX, threads + 1);
#endif
  if (!ParseIntArg(max_bytes_text, &max_bytes) || max_bytes < 1) {
    return UsageError(kName, "--max-bytes must be a positive number of bytes");
  }
  serve::CServerLimits limits;
  limits.max_bytes = static_cast<size_t>(max_bytes);
  limits.max_inflight_bytes = 2 * limits.max_bytes;
  int inflight = 0;
  if (!inflight_text.empty()) {
    if (!ParseIntArg(inflight_text, &inflight) || inflight < 1) {
      return UsageError(kName, "--max-inflight-bytes must be a positive number of bytes");
    }
    limits.max_inflight_bytes = static_cast<size_t>(inflight);
  }
  // cpp-httplib refuses sockets numbered 1024 (FD_SETSIZE) or more when it
  // waits with select().
  if (!ParseIntArg(connections_text, &limits.max_connections) || limits.max_connections < 1 ||
      limits.max_connections > 900) {
    return UsageError(kName, "--max-connections must be a number from 1 to 900");
  }
  if (!ParseIntArg(timeout_text, &limits.timeout_seconds) || limits.timeout_seconds < 1 ||
      limits.timeout_seconds > 3600) {
    return UsageError(kName, "--timeout must be a number of seconds from 1 to 3600");
  }
  if (host.empty()) return UsageError(kName, "--host must not be empty");

  // SIGINT and SIGTERM are taken by one thread with sigwait; every thread
  // made from here on inherits the blocked mask.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  // A client that goes away before its answer is written must cost only its
  // connection: without this, the write would end the process.
  signal(SIGPIPE, SIG_IGN);

  // The taggers of the service use the manager's resource set, so the
  // manager is made first and destroyed last.
  CNEResourceManager manager;
  serve::CTagService service;
  serve::CHttpServer server(service, limits);
  const int bound = server.Bind(host, port, &error);
  if (bound < 0) return Fail(kName, error);
  const bool ipv6 = host.find(':') != std::string::npos;
  std::printf("verrin serve: listening on http://%s%s%s:%d/\n", ipv6 ? "[" : "", host.c_str(),
              ipv6 ? "]" : "", bound);
  std::fflush(stdout);

  bool served = true;
  std::thread http([&] { served = server.Run(); });
  std::thread stopper([&] {
    int signal_number = 0;
    sigwait(&stop_signals, &signal_number);
    server.Stop();
  });
  auto finish = [&] {
    server.Stop();
    http.join();
    pthread_kill(stopper.native_handle(), SIGTERM);  // wakes the stopper if no signal came
    stopper.join();
  };

  if (!LoadManager(kName, resources, manager)) {
    finish();
    return kExitFailure;
  }
  serve::CServiceInfo info;
  if (resources.res.empty()) {
    const ResourceDirChoice choice = ChooseDefaultResourceDir();
    info.resource_dir = choice.dir;
    info.resource_origin = choice.origin;
  } else {
    info.resource_dir = ResolveResourceDir(resources.res);
    info.resource_origin = "--res";
  }
  info.model_path = resources.model.empty() ? DefaultModelPath(info.resource_dir) : resources.model;
  info.protected_form = resources.protected_form;
  info.max_bytes = static_cast<size_t>(max_bytes);
  service.Attach(&manager, threads, info);
  std::fprintf(stderr, "verrin serve: ready (%d tagger%s)\n", threads, threads == 1 ? "" : "s");

  http.join();
  pthread_kill(stopper.native_handle(), SIGTERM);
  stopper.join();
  std::fprintf(stderr, "verrin serve: stopped\n");
  if (!served) return Fail(kName, "the service stopped on an error");
  return kExitOk;
}

#else

int Run(int, char**) {
  return Fail(kName,
              "this build has no service (built without libcpp-httplib-dev and "
              "nlohmann-json3-dev; see 'verrin serve --help')");
}

#endif

}  // namespace

VERRIN_COMMAND(serve, kName, "run an HTTP service and a page that tag text", kUsage, Run);

}  // namespace verrin::cli
