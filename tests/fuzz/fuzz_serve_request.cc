// The service's reading of requests. Each input is used twice:
//   - as the bytes a client sends on one connection, served by the HTTP layer
//     (request framing, pipelining, deadlines, routing, the byte limit) over
//     a socket pair; every answer must start with an HTTP status line;
//   - as a tagging request body (its first byte picks the media type and the
//     option query), read by ParseTagRequest: a request is either refused
//     with a UTF-8 message that makes a JSON error reply, or gives texts that
//     are valid UTF-8 without U+0000.
// No resources are loaded: /v1/tag answers 503 once its body is read.
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

#include "fuzz_util.h"
#include "serve/http_server.h"
#include "serve/tag_service.h"
#include "text/code_page.h"

namespace {

verrin::serve::CHttpServer& Server() {
  static verrin::serve::CTagService service;
  static verrin::serve::CHttpServer server(service, [] {
    verrin::serve::CServerLimits limits;
    limits.max_bytes = 2048;
    limits.max_inflight_bytes = 4096;
    limits.timeout_seconds = 2;
    return limits;
  }());
  return server;
}

// The client's side runs on this thread too (threads are costly under the
// sanitizers): the input is written and the socket half-closed before the
// connection is served, and the answers wait in a socket buffer large
// enough for every answer an input of libFuzzer's lengths can ask for.
void ServeBytes(const uint8_t* data, size_t size) {
  int pair[2];
  VERRIN_FUZZ_CHECK(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) == 0);
  const int buffer_bytes = 8 << 20;
  for (int fd : pair) {
    // Beyond the system's maximum only with SO_SNDBUFFORCE (root).
    if (setsockopt(fd, SOL_SOCKET, SO_SNDBUFFORCE, &buffer_bytes, sizeof buffer_bytes) != 0) {
      setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &buffer_bytes, sizeof buffer_bytes);
    }
  }
  size_t sent = 0;
  while (sent < size) {
    const ssize_t n = send(pair[1], data + sent, size - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n <= 0) break;
    sent += static_cast<size_t>(n);
  }
  shutdown(pair[1], SHUT_WR);
  Server().ServeConnection(pair[0]);  // closes pair[0]
  std::string answers;
  char buffer[65536];
  ssize_t n;
  while ((n = recv(pair[1], buffer, sizeof buffer, 0)) > 0) answers.append(buffer, n);
  close(pair[1]);
  VERRIN_FUZZ_CHECK(answers.empty() || answers.compare(0, 9, "HTTP/1.1 ") == 0);
}

void ParseBody(const uint8_t* data, size_t size) {
  if (size == 0) return;
  static const char* const kTypes[] = {"application/json", "text/plain",
                                       "Text/Plain; charset=utf-8", ""};
  static const char* const kOptions[] = {"", "0", "2", "x"};
  const std::string body(reinterpret_cast<const char*>(data) + 1, size - 1);
  verrin::serve::CTagRequest request;
  std::string error;
  if (verrin::serve::ParseTagRequest(kTypes[data[0] & 3], body, kOptions[(data[0] >> 2) & 3],
                                     &request, &error)) {
    VERRIN_FUZZ_CHECK(request.option >= 0 && request.option <= 2);
    for (const std::string& text : request.texts) {
      VERRIN_FUZZ_CHECK(verrin::IsValidUtf8(text));
      VERRIN_FUZZ_CHECK(text.find('\0') == std::string::npos);
    }
  } else {
    VERRIN_FUZZ_CHECK(verrin::IsValidUtf8(error));
    const std::string reply = verrin::serve::CTagService::Error(400, error).body;
    VERRIN_FUZZ_CHECK(nlohmann::json::parse(reply)["error"]["status"] == 400);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ServeBytes(data, size);
  ParseBody(data, size);
  return 0;
}
