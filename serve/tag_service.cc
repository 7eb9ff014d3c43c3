#include "serve/tag_service.h"

#include <cstdint>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <utility>

#include "engine/ne_resource.h"
#include "maxent/me_model.h"
#include "serve/utf8.h"
#include "verrin/verrin.h"
#include "verrin/word_alignment.h"

namespace verrin::serve {
namespace {

using json = nlohmann::ordered_json;

constexpr char kJsonType[] = "application/json; charset=utf-8";
constexpr char kJsonLinesType[] = "application/x-ndjson; charset=utf-8";

// Request bodies nest at most this deep ({"texts": [...]} needs 2); deeper
// documents are refused before they cost memory.
constexpr int kMaxJsonDepth = 16;

struct CRequestError {
  std::string message;
};

json WordJson(const std::string& text, int32_t start, int32_t end, int type,
              const std::u16string* tag) {
  json word = {{"text", text}, {"start", start}, {"end", end}, {"type", type}};
  word["tag"] = tag != nullptr ? json(Utf16ToUtf8(tag->data(), tag->size())) : json(nullptr);
  return word;
}

// Takes the library's messages of the calling thread while it lives. The
// messages of tagging name the clauses that could not be tagged, quoting the
// request's text; the answer counts those clauses instead, and the log gets
// one line without the text.
class CRequestMessages {
 public:
  CRequestMessages() { VerrinSetThreadMessageHandler(&Drop, nullptr); }
  ~CRequestMessages() { VerrinSetThreadMessageHandler(nullptr, nullptr); }
  CRequestMessages(const CRequestMessages&) = delete;
  CRequestMessages& operator=(const CRequestMessages&) = delete;

 private:
  static void Drop(void* /*context*/, const char* /*text*/, size_t /*length*/) {}
};

// Tags one UTF-8 text. The tagger reads one line per call, so the text is
// tagged line by line; offsets stay those of the whole text, and the
// renderings of the lines are joined by line feeds. Adds the clauses that
// could not be tagged to `untagged`.
json TagText(CKyVerrin& tagger, const std::string& utf8, int option, int& untagged) {
  const std::u16string text = Utf8ToUtf16(utf8);
  const std::vector<int32_t> code_point = CodePointIndex(text.data(), text.size());

  json words = json::array(), entities = json::array();
  std::u16string rendered;
  std::vector<char16_t> buffer;
  int text_untagged = 0;
  for (size_t line_start = 0; line_start <= text.size();) {
    size_t line_end = text.find(u'\n', line_start);
    if (line_end == std::u16string::npos) line_end = text.size();
    size_t content_end = line_end;
    if (content_end > line_start && text[content_end - 1] == u'\r') --content_end;
    const std::u16string line = text.substr(line_start, content_end - line_start);

    tag_WordInfoW* records = nullptr;
    int count = 0;
    tagger.KyTagNEInfo(line.c_str(), option, records, count);
    text_untagged += tagger.UntaggedClauses();
    std::vector<CAlignedWord> aligned = AlignWords(line.data(), line.size(), records, count);
    for (CAlignedWord& w : aligned) {
      w.start = code_point[line_start + w.unitStart];
      w.end = code_point[line_start + w.unitEnd];
      words.push_back(WordJson(Utf16ToUtf8(w.word.data(), w.word.size()), w.start, w.end, w.type,
                               w.hasTag ? &w.tag : nullptr));
    }
    for (const CAlignedEntity& e : AlignedEntities(aligned)) {
      entities.push_back(WordJson(Utf16ToUtf8(e.text.data(), e.text.size()), e.start, e.end,
                                  kWordEntity, &e.label));
    }
    buffer.assign(static_cast<size_t>(CKyVerrin::RenderedLength(records, count)) + 1, 0);
    tagger.OutputTaggedSentence(records, count, buffer.data());
    tagger.FreeWordSegResult(records, count);
    if (line_start > 0) rendered.push_back(u'\n');
    rendered += buffer.data();

    if (line_end == text.size()) break;
    line_start = line_end + 1;
  }
  json result = {{"words", std::move(words)},
                 {"entities", std::move(entities)},
                 {"rendered", Utf16ToUtf8(rendered.data(), rendered.size())}};
  // Their words are missing from the result: say so rather than answer as if whole.
  if (text_untagged > 0) result["untagged_clauses"] = text_untagged;
  untagged += text_untagged;
  return result;
}

void CheckText(const std::string& text, const char* where) {
  if (!IsValidUtf8(text)) throw CRequestError{std::string(where) + " is not valid UTF-8"};
  if (text.find('\0') != std::string::npos) {
    throw CRequestError{std::string(where) + " contains the character U+0000"};
  }
}

int ParseOption(const json& value) {
  if (!value.is_number_integer() || value.get<int64_t>() < 0 || value.get<int64_t>() > 2) {
    throw CRequestError{
        "\"option\" must be 0 (raw text), 1 (words separated by \"/\") or 2 "
        "(words separated by spaces)"};
  }
  return value.get<int>();
}

}  // namespace

// Hands out an idle tagger for the length of one request.
class CTagService::CTaggerLease {
 public:
  explicit CTaggerLease(const CTagService& service) : service_(service) {
    std::unique_lock<std::mutex> lock(service_.idle_mutex_);
    service_.idle_cv_.wait(lock, [this] { return !service_.idle_.empty(); });
    tagger_ = service_.idle_.back();
    service_.idle_.pop_back();
  }
  ~CTaggerLease() {
    {
      std::lock_guard<std::mutex> lock(service_.idle_mutex_);
      service_.idle_.push_back(tagger_);
    }
    service_.idle_cv_.notify_one();
  }
  CKyVerrin& tagger() { return *tagger_; }

 private:
  const CTagService& service_;
  CKyVerrin* tagger_;
};

CTagService::CTagService() = default;
CTagService::~CTagService() = default;

void CTagService::Attach(CNEResourceManager* manager, int workers, const CServiceInfo& info) {
  manager_ = manager;
  info_ = info;
  if (workers < 1) workers = 1;
  for (int i = 0; i < workers; ++i) {
    taggers_.push_back(std::make_unique<CKyVerrin>(manager));
    idle_.push_back(taggers_.back().get());
  }
  ready_.store(true);
}

CReply CTagService::Error(int status, const std::string& message) {
  json body = {{"error", {{"status", status}, {"message", message}}}};
  return CReply{status, kJsonType, body.dump() + "\n"};
}

CReply CTagService::Health() const {
  if (!Ready()) return CReply{503, kJsonType, "{\"status\":\"loading\"}\n"};
  return CReply{200, kJsonType, "{\"status\":\"ready\"}\n"};
}

CReply CTagService::Info() const {
  if (!Ready()) return Error(503, "the resources are still loading");
  json info = {{"version", VERRIN_VERSION},
               {"resource_dir", info_.resource_dir},
               {"protected", info_.protected_form},
               {"workers", taggers_.size()},
               {"max_bytes", info_.max_bytes}};
  info["model"] = info_.model_path.empty() ? json(nullptr) : json(info_.model_path);
  const CMEModel& model = manager_->Resource()->Classifier().Model();
  info["model_stats"] = {{"outcomes", model.OutcomeCount()},
                         {"predicates", model.PredicateCount()},
                         {"features", model.FeatureCount()}};
  return CReply{200, kJsonType, info.dump() + "\n"};
}

CReply CTagService::Tag(const std::string& content_type, const std::string& body,
                        const std::string& option_query) const {
  if (!Ready()) return Error(503, "the resources are still loading; try again shortly");
  const bool plain = content_type.rfind("text/plain", 0) == 0;
  std::vector<std::string> texts;
  int option = 0;
  bool single = false;
  try {
    if (plain) {
      if (!option_query.empty()) {
        if (option_query.size() != 1 || option_query[0] < '0' || option_query[0] > '2') {
          throw CRequestError{"the option parameter must be 0, 1 or 2"};
        }
        option = option_query[0] - '0';
      }
      CheckText(body, "the request body");
      for (size_t start = 0; start < body.size();) {
        size_t end = body.find('\n', start);
        if (end == std::string::npos) end = body.size();
        size_t content_end = end;
        if (content_end > start && body[content_end - 1] == '\r') --content_end;
        texts.push_back(body.substr(start, content_end - start));
        start = end + 1;
      }
    } else {
      json request;
      try {
        request = json::parse(body, [](int depth, json::parse_event_t, json&) {
          if (depth > kMaxJsonDepth) throw CRequestError{"the JSON body nests too deeply"};
          return true;
        });
      } catch (const json::parse_error& e) {
        const bool utf8 = !IsValidUtf8(body);
        throw CRequestError{utf8 ? "the request body is not valid UTF-8"
                                 : std::string("malformed JSON: ") + e.what()};
      }
      if (!request.is_object()) {
        throw CRequestError{"the body must be a JSON object with \"text\" or \"texts\""};
      }
      const bool has_text = request.contains("text"), has_texts = request.contains("texts");
      if (has_text == has_texts) {
        throw CRequestError{has_text ? "give either \"text\" or \"texts\", not both"
                                     : "missing field \"text\" (or \"texts\")"};
      }
      if (request.contains("option")) option = ParseOption(request["option"]);
      if (has_text) {
        if (!request["text"].is_string()) throw CRequestError{"\"text\" must be a string"};
        texts.push_back(request["text"].get<std::string>());
        single = true;
      } else {
        if (!request["texts"].is_array()) {
          throw CRequestError{"\"texts\" must be an array of strings"};
        }
        for (const json& t : request["texts"]) {
          if (!t.is_string()) throw CRequestError{"\"texts\" must be an array of strings"};
          texts.push_back(t.get<std::string>());
        }
      }
      for (const std::string& t : texts) CheckText(t, single ? "\"text\"" : "a text of \"texts\"");
    }
  } catch (const CRequestError& e) {
    return Error(400, e.message);
  }

  std::vector<json> results;
  results.reserve(texts.size());
  int untagged = 0;
  {
    CTaggerLease lease(*this);
    CRequestMessages messages;
    for (const std::string& t : texts) {
      results.push_back(TagText(lease.tagger(), t, option, untagged));
    }
  }
  if (untagged > 0) {
    std::fprintf(stderr,
                 "verrin serve: %d %s of a request could not be tagged (the model lacks an "
                 "outcome every path through %s needs)\n",
                 untagged, untagged == 1 ? "clause" : "clauses", untagged == 1 ? "it" : "them");
  }
  if (plain) {
    std::string out;
    for (const json& r : results) out += r.dump() + "\n";
    return CReply{200, kJsonLinesType, std::move(out)};
  }
  json answer = {{"results", std::move(results)}};
  return CReply{200, kJsonType, answer.dump() + "\n"};
}

}  // namespace verrin::serve
