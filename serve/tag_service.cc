#include "serve/tag_service.h"

#include <cstdint>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <utility>

#include "engine/ne_resource.h"
#include "maxent/me_model.h"
#include "text/code_page.h"
#include "text/json_escape.h"
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

// Appends `text` (valid UTF-8) as a JSON string, escaped as nlohmann::json
// writes it, so that answers read the same whichever writer made them.
void AppendJsonString(std::string& out, const std::string& text) {
  out.push_back('"');
  AppendJsonEscaped(out, text, JsonControlEscapes::kShort);
  out.push_back('"');
}

void AppendWord(std::string& out, const std::u16string& word, int32_t start, int32_t end, int type,
                const std::u16string* tag) {
  out += "{\"text\":";
  AppendJsonString(out, ToUtf8(word.data(), static_cast<int32_t>(word.size())));
  out += ",\"start\":" + std::to_string(start) + ",\"end\":" + std::to_string(end) +
         ",\"type\":" + std::to_string(type) + ",\"tag\":";
  if (tag != nullptr) {
    AppendJsonString(out, ToUtf8(tag->data(), static_cast<int32_t>(tag->size())));
  } else {
    out += "null";
  }
  out.push_back('}');
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

// Tags one UTF-8 text and appends its result object
// {"words": [...], "entities": [...], "rendered": "..."} to `out`, with
// "untagged_clauses" when clauses could not be tagged (their words are
// missing); adds those clauses to `untagged`. The answer is written as text
// rather than built as a JSON tree: a tree costs hundreds of bytes a word, and
// a body of punctuation is a word a character. The tagger reads one line per
// call, so the text is tagged line by line; offsets stay those of the whole
// text, and the renderings of the lines are joined by line feeds.
void AppendTagged(CKyVerrin& tagger, const std::string& utf8, int option, std::string& out,
                  int& untagged) {
  const CUString decoded = FromUtf8(utf8);
  const std::u16string text(decoded.c_str(), static_cast<size_t>(decoded.Length()));
  const std::vector<int32_t> code_point = CodePointIndex(text.data(), text.size());

  // The words go straight into `out`; the entities, usually few, wait in a
  // string of their own.
  std::string entities;
  std::u16string rendered;
  std::vector<char16_t> buffer;
  int text_untagged = 0;
  out += "{\"words\":[";
  bool first = true;
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
    const std::vector<CAlignedWord> aligned = AlignWords(line.data(), line.size(), records, count);
    for (const CAlignedWord& w : aligned) {
      if (!first) out.push_back(',');
      first = false;
      AppendWord(out, w.word, code_point[line_start + w.unitStart],
                 code_point[line_start + w.unitEnd], w.type, w.hasTag ? &w.tag : nullptr);
    }
    for (const CAlignedEntity& e : AlignedEntities(aligned)) {
      if (!entities.empty()) entities.push_back(',');
      AppendWord(entities, e.text, code_point[line_start + e.unitStart],
                 code_point[line_start + e.unitEnd], kWordEntity, &e.label);
    }
    buffer.assign(static_cast<size_t>(CKyVerrin::RenderedLength(records, count)) + 1, 0);
    tagger.OutputTaggedSentence(records, count, buffer.data());
    tagger.FreeWordSegResult(records, count);
    if (line_start > 0) rendered.push_back(u'\n');
    rendered += buffer.data();

    if (line_end == text.size()) break;
    line_start = line_end + 1;
  }
  out += "],\"entities\":[";
  out += entities;
  out += "],\"rendered\":";
  AppendJsonString(out, ToUtf8(rendered.data(), static_cast<int32_t>(rendered.size())));
  if (text_untagged > 0) out += ",\"untagged_clauses\":" + std::to_string(text_untagged);
  out.push_back('}');
  untagged += text_untagged;
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

// True when the media type of a Content-Type value (before any parameter) is
// text/plain; media types are matched without regard to letter case.
bool IsPlainText(const std::string& content_type) {
  size_t begin = content_type.find_first_not_of(" \t");
  if (begin == std::string::npos) return false;
  size_t end = content_type.find(';', begin);
  if (end == std::string::npos) end = content_type.size();
  while (end > begin && (content_type[end - 1] == ' ' || content_type[end - 1] == '\t')) --end;
  static constexpr char kPlain[] = "text/plain";
  if (end - begin != sizeof kPlain - 1) return false;
  for (size_t i = 0; i < end - begin; ++i) {
    char c = content_type[begin + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kPlain[i]) return false;
  }
  return true;
}

void ParsePlain(const std::string& body, const std::string& option_query, CTagRequest* request) {
  if (!option_query.empty()) {
    if (option_query.size() != 1 || option_query[0] < '0' || option_query[0] > '2') {
      throw CRequestError{"the option parameter must be 0, 1 or 2"};
    }
    request->option = option_query[0] - '0';
  }
  CheckText(body, "the request body");
  for (size_t start = 0; start < body.size();) {
    size_t end = body.find('\n', start);
    if (end == std::string::npos) end = body.size();
    size_t content_end = end;
    if (content_end > start && body[content_end - 1] == '\r') --content_end;
    request->texts.push_back(body.substr(start, content_end - start));
    start = end + 1;
  }
}

void ParseJson(const std::string& body, CTagRequest* request) {
  json document;
  try {
    document = json::parse(body, [](int depth, json::parse_event_t event, json&) {
      // `depth` counts the containers already open around the event.
      const bool opens =
          event == json::parse_event_t::object_start || event == json::parse_event_t::array_start;
      if (opens && depth >= kMaxJsonDepth) {
        throw CRequestError{"the JSON body nests deeper than " + std::to_string(kMaxJsonDepth) +
                            " levels"};
      }
      return true;
    });
  } catch (const json::parse_error& e) {
    if (!IsValidUtf8(body)) throw CRequestError{"the request body is not valid UTF-8"};
    // The parser's text quotes the bytes it stopped at, which may be part of
    // a character: the quote is made valid UTF-8.
    const CUString repaired = FromUtf8(e.what());
    throw CRequestError{"malformed JSON at byte " + std::to_string(e.byte) + ": " +
                        ToUtf8(repaired)};
  } catch (const json::exception& e) {
    // A number out of range (1e400) and the like.
    throw CRequestError{"the JSON body cannot be read: " + ToUtf8(FromUtf8(e.what()))};
  }
  if (!document.is_object()) {
    throw CRequestError{"the body must be a JSON object with \"text\" or \"texts\""};
  }
  const bool has_text = document.contains("text"), has_texts = document.contains("texts");
  if (has_text == has_texts) {
    throw CRequestError{has_text ? "give either \"text\" or \"texts\", not both"
                                 : "missing field \"text\" (or \"texts\")"};
  }
  if (document.contains("option")) request->option = ParseOption(document["option"]);
  if (has_text) {
    if (!document["text"].is_string()) throw CRequestError{"\"text\" must be a string"};
    request->texts.push_back(document["text"].get<std::string>());
    CheckText(request->texts.back(), "\"text\"");
  } else {
    if (!document["texts"].is_array()) throw CRequestError{"\"texts\" must be an array of strings"};
    for (const json& t : document["texts"]) {
      if (!t.is_string()) throw CRequestError{"\"texts\" must be an array of strings"};
      request->texts.push_back(t.get<std::string>());
      CheckText(request->texts.back(), "a text of \"texts\"");
    }
  }
}

}  // namespace

bool ParseTagRequest(const std::string& content_type, const std::string& body,
                     const std::string& option_query, CTagRequest* request, std::string* error) {
  *request = CTagRequest();
  request->plain = IsPlainText(content_type);
  try {
    if (request->plain) {
      ParsePlain(body, option_query, request);
    } else {
      ParseJson(body, request);
    }
  } catch (const CRequestError& e) {
    *error = e.message;
    *request = CTagRequest();
    return false;
  }
  return true;
}

// Hands out an idle tagger for the length of one request; none (tagger()
// null) once the service is closed.
class CTagService::CTaggerLease {
 public:
  explicit CTaggerLease(const CTagService& service) : service_(service) {
    std::unique_lock<std::mutex> lock(service_.idle_mutex_);
    service_.idle_cv_.wait(lock, [this] { return service_.closed_ || !service_.idle_.empty(); });
    if (service_.closed_) return;
    tagger_ = service_.idle_.back();
    service_.idle_.pop_back();
  }
  ~CTaggerLease() {
    if (tagger_ == nullptr) return;
    {
      std::lock_guard<std::mutex> lock(service_.idle_mutex_);
      service_.idle_.push_back(tagger_);
    }
    service_.idle_cv_.notify_one();
  }
  CKyVerrin* tagger() { return tagger_; }

 private:
  const CTagService& service_;
  CKyVerrin* tagger_ = nullptr;
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

void CTagService::Close() {
  {
    std::lock_guard<std::mutex> lock(idle_mutex_);
    closed_ = true;
  }
  idle_cv_.notify_all();
}

CReply CTagService::Error(int status, const std::string& message) {
  json body = {{"error", {{"status", status}, {"message", message}}}};
  // Bytes that are not UTF-8 in a message become U+FFFD rather than an
  // exception.
  return CReply{status, kJsonType,
                body.dump(-1, ' ', false, json::error_handler_t::replace) + "\n"};
}

CReply CTagService::Health() const {
  if (!Ready()) return CReply{503, kJsonType, "{\"status\":\"loading\"}\n"};
  return CReply{200, kJsonType, "{\"status\":\"ready\"}\n"};
}

CReply CTagService::Info() const {
  if (!Ready()) return Error(503, "the resources are still loading");
  json info = {{"version", VERRIN_VERSION},
               {"resource_dir", info_.resource_dir},
               {"resource_origin", info_.resource_origin},
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
  CTagRequest request;
  std::string error;
  if (!ParseTagRequest(content_type, body, option_query, &request, &error)) {
    return Error(400, error);
  }
  std::string out = request.plain ? "" : "{\"results\":[";
  int untagged = 0;
  {
    CTaggerLease lease(*this);
    if (lease.tagger() == nullptr) return Error(503, "the service is stopping");
    CRequestMessages messages;
    for (size_t i = 0; i < request.texts.size(); ++i) {
      if (i > 0 && !request.plain) out.push_back(',');
      AppendTagged(*lease.tagger(), request.texts[i], request.option, out, untagged);
      if (request.plain) out.push_back('\n');
      // Each text is let go once tagged: its answer is the larger copy.
      std::string().swap(request.texts[i]);
    }
  }
  if (untagged > 0) {
    std::fprintf(stderr,
                 "verrin serve: %d %s of a request could not be tagged (the model lacks an "
                 "outcome every path through %s needs)\n",
                 untagged, untagged == 1 ? "clause" : "clauses", untagged == 1 ? "it" : "them");
  }
  if (request.plain) return CReply{200, kJsonLinesType, std::move(out)};
  out += "]}\n";
  return CReply{200, kJsonType, std::move(out)};
}

}  // namespace verrin::serve
