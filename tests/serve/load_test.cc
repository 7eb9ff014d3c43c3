// Many concurrent clients over loopback, mixing good and bad requests: every
// answer is checked (tagging results against `verrin tag --format json`),
// no connection may fail, and the server's memory must not keep growing.
//
// VERRIN_SERVE_LOAD_REQUESTS sets the number of requests (default 2000);
// scripts/bench-serve.sh runs 20,000 and reports the rates printed here.
#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "serve/server_process.h"
#include "test_util.h"

namespace verrin::testing {
namespace {

using nlohmann::json;

constexpr int kClients = 8;
constexpr int kMaxBytes = 16384;

// Texts made from the clauses of the bundled example, in varied orders and
// lengths, plus a few that exercise the offsets (a character outside the BMP,
// Latin letters and digits, spaces).
std::vector<std::string> MakeTexts() {
  std::ifstream in(std::string(VERRIN_DEFAULT_RESOURCE_DIR) + "/../example.txt");
  std::vector<std::string> clauses;
  std::string line;
  while (std::getline(in, line)) {
    size_t start = 0;
    for (size_t i = 0; i + 3 <= line.size(); i += 3) {
      const std::string ch = line.substr(i, 3);
      if (ch == "，" || ch == "。") {
        clauses.push_back(line.substr(start, i + 3 - start));
        start = i + 3;
      }
    }
  }
  std::vector<std::string> texts = {"😀江泽民在北京会见了外宾。", "IBM公司2024年在上海开会",
                                    "李鹏 在 北京", "", "。。。"};
  std::mt19937 random(7);
  while (texts.size() < 300 && !clauses.empty()) {
    std::string text;
    const int n = 1 + static_cast<int>(random() % 4);
    for (int k = 0; k < n; ++k) text += clauses[random() % clauses.size()];
    texts.push_back(text);
  }
  return texts;
}

std::vector<std::string> CodePoints(const std::string& utf8) {
  std::vector<std::string> out;
  for (size_t i = 0; i < utf8.size(); ++i) {
    if ((static_cast<unsigned char>(utf8[i]) & 0xC0) != 0x80 || out.empty()) {
      out.emplace_back();
    }
    out.back().push_back(utf8[i]);
  }
  return out;
}

// What `verrin tag --format json` prints for each text, one object a text.
std::vector<json> ExpectedAnswers(const std::vector<std::string>& texts) {
  const std::string dir = MakeTempDir("serve_load");
  std::string input;
  for (const std::string& t : texts) input += t + "\n";
  WriteFile(dir + "/texts.txt", input);
  std::string output;
  EXPECT_EQ(RunCommand(std::string(VERRIN_CLI_PATH) + " tag --format json --res " +
                           VERRIN_DEFAULT_RESOURCE_DIR + " " + dir + "/texts.txt",
                       &output),
            0);
  std::vector<json> expected;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) expected.push_back(json::parse(line));
  return expected;
}

// Empty when the service's result for `text` agrees with the command's
// records [offset, length, word, type, tag] and rendering; else what differs.
std::string Compare(const json& result, const json& expected, const std::string& text) {
  const json& words = result["words"];
  const json& records = expected["records"];
  if (result["rendered"] != expected["rendered"]) return "rendered differs";
  if (words.size() != records.size()) return "word count differs";
  const std::vector<std::string> chars = CodePoints(text);
  size_t entities = 0;
  for (size_t i = 0; i < words.size(); ++i) {
    const json& w = words[i];
    if (w["text"] != records[i][2] || w["type"] != records[i][3] || w["tag"] != records[i][4]) {
      return "word " + std::to_string(i) + " differs: " + w.dump();
    }
    // The span holds the word itself (these texts have no bracket marks).
    std::string span;
    const int start = w["start"], end = w["end"];
    if (start < 0 || end > static_cast<int>(chars.size()) || start > end) return "bad span";
    for (int c = start; c < end; ++c) span += chars[static_cast<size_t>(c)];
    if (span != w["text"]) return "span of word " + std::to_string(i) + " is \"" + span + "\"";
    entities += w["type"] == 3;
  }
  if (result["entities"].size() != entities) return "entity list differs";
  return "";
}

struct CTally {
  std::atomic<long> requests{0}, connection_errors{0}, wrong{0}, characters{0};
  std::mutex mutex;
  std::vector<std::string> first_faults;
  void Fault(const std::string& what) {
    ++wrong;
    std::lock_guard<std::mutex> lock(mutex);
    if (first_faults.size() < 5) first_faults.push_back(what);
  }
};

// Sends `count` requests; request n is of kind n % 10 (seven good kinds in
// ten, three bad).
void RunClient(int port, int client_id, long first, long count,
               const std::vector<std::string>& texts, const std::vector<json>& expected,
               CTally& tally) {
  httplib::Client client("127.0.0.1", port);
  client.set_read_timeout(30, 0);
  const std::string oversize = "{\"text\": \"" + std::string(kMaxBytes, 'a') + "\"}";
  for (long n = first; n < first + count; ++n) {
    const size_t t = static_cast<size_t>(n * 7 + client_id) % texts.size();
    const size_t t2 = (t + 1) % texts.size(), t3 = (t + 2) % texts.size();
    const int kind = static_cast<int>((n + client_id) % 10);
    int want_status = 200;
    auto send = [&]() -> httplib::Result {
      switch (kind) {
        case 7:
          want_status = 400;
          return client.Post("/v1/tag", "{\"text\": \"\xff\xfe\"}", "application/json");
        case 8:
          want_status = (n / 10) % 3 == 0 ? 400 : (n / 10) % 3 == 1 ? 404 : 405;
          return (n / 10) % 3 == 0   ? client.Post("/v1/tag", "{\"text\": [", "application/json")
                 : (n / 10) % 3 == 1 ? client.Get("/v1/tags")
                                     : client.Delete("/v1/tag");
        case 9:
          want_status = 413;
          return client.Post("/v1/tag", oversize, "application/json");
        case 5:
          return client.Post("/v1/tag", json{{"texts", {texts[t], texts[t2], texts[t3]}}}.dump(),
                             "application/json");
        case 6:
          return client.Post("/v1/tag", texts[t] + "\n" + texts[t2] + "\n", "text/plain");
        default:
          return client.Post("/v1/tag", json{{"text", texts[t]}}.dump(), "application/json");
      }
    };
    httplib::Result res = send();
    ++tally.requests;
    if (!res) {
      ++tally.connection_errors;
      tally.Fault("request " + std::to_string(n) + ": " + httplib::to_string(res.error()));
      continue;
    }
    if (res->status != want_status) {
      tally.Fault("request " + std::to_string(n) + ": status " + std::to_string(res->status));
      continue;
    }
    json body = json::parse(res->body, nullptr, false);
    if (want_status != 200) {
      if (body.is_discarded() || body["error"]["status"] != want_status) {
        tally.Fault("request " + std::to_string(n) + ": error body " + res->body);
      }
      continue;
    }
    std::vector<json> results;
    std::vector<size_t> which;
    if (kind == 6) {
      std::istringstream lines(res->body);
      for (std::string line; std::getline(lines, line);) results.push_back(json::parse(line));
      which = {t, t2};
    } else {
      for (const json& r : body["results"]) results.push_back(r);
      which = kind == 5 ? std::vector<size_t>{t, t2, t3} : std::vector<size_t>{t};
    }
    if (results.size() != which.size()) {
      tally.Fault("request " + std::to_string(n) + ": " + std::to_string(results.size()) +
                  " results");
      continue;
    }
    for (size_t k = 0; k < which.size(); ++k) {
      const std::string fault = Compare(results[k], expected[which[k]], texts[which[k]]);
      if (!fault.empty()) tally.Fault("text \"" + texts[which[k]] + "\": " + fault);
      tally.characters += static_cast<long>(CodePoints(texts[which[k]]).size());
    }
  }
}

// Runs `total` requests spread over the clients; returns the seconds taken.
double RunRound(int port, long first, long total, const std::vector<std::string>& texts,
                const std::vector<json>& expected, CTally& tally) {
  const auto started = std::chrono::steady_clock::now();
  std::vector<std::thread> clients;
  for (int c = 0; c < kClients; ++c) {
    const long share = total / kClients + (c < total % kClients ? 1 : 0);
    clients.emplace_back(RunClient, port, c, first + c * (total / kClients + 1), share,
                         std::cref(texts), std::cref(expected), std::ref(tally));
  }
  for (std::thread& t : clients) t.join();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
}

TEST(ServeLoadTest, EveryAnswerRightUnderConcurrentLoad) {
  long total = 2000;
  if (const char* env = std::getenv("VERRIN_SERVE_LOAD_REQUESTS")) total = std::atol(env);
  ASSERT_GE(total, 100);
  const std::vector<std::string> texts = MakeTexts();
  const std::vector<json> expected = ExpectedAnswers(texts);
  ASSERT_EQ(expected.size(), texts.size());

  CServerProcess server({"--threads", "2", "--max-bytes", std::to_string(kMaxBytes)});
  ASSERT_NE(server.port(), 0);
  // Warm-up: the first fifth settles the allocator's arenas and buffers.
  CTally warm_up;
  RunRound(server.port(), 0, total / 5, texts, expected, warm_up);
  const long warm_kib = server.ResidentKib();
  CTally tally;
  const double seconds = RunRound(server.port(), total, total - total / 5, texts, expected, tally);
  const long end_kib = server.ResidentKib();

  std::printf(
      "serve load: %ld requests from %d clients (after %ld to warm up) in %.2f s: "
      "%.0f requests/s, %.0f characters/s tagged; resident memory %ld KiB after "
      "warm-up, %ld KiB at end\n",
      tally.requests.load(), kClients, warm_up.requests.load(), seconds,
      static_cast<double>(tally.requests) / seconds,
      static_cast<double>(tally.characters) / seconds, warm_kib, end_kib);
  for (const CTally* t : {&warm_up, &tally}) {
    EXPECT_EQ(t->connection_errors.load(), 0);
    EXPECT_EQ(t->wrong.load(), 0);
    for (const std::string& fault : t->first_faults) ADD_FAILURE() << fault;
  }
  EXPECT_EQ(warm_up.requests + tally.requests, total);
  // Flat: what the later four fifths add stays within 8 MiB.
  EXPECT_GT(warm_kib, 0);
#if !defined(__SANITIZE_ADDRESS__)
  // (AddressSanitizer holds freed blocks in quarantine, so there resident
  // memory grows by design.)
  EXPECT_LT(end_kib - warm_kib, 8 * 1024);
#endif
  EXPECT_EQ(server.Stop(SIGTERM), 0);
}

}  // namespace
}  // namespace verrin::testing
