// The tagging service behind `verrin serve`, free of any HTTP code: it turns
// a request body into an answer body and a status, so the server only routes.
//
// Texts are UTF-8. Offsets in answers count Unicode code points of the text
// as submitted (a character outside the BMP counts one), start inclusive,
// end exclusive.
#ifndef VERRIN_SERVE_TAG_SERVICE_H_
#define VERRIN_SERVE_TAG_SERVICE_H_

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class CKyVerrin;
class CNEResourceManager;

namespace verrin::serve {

// One answer: HTTP status, media type and body.
struct CReply {
  int status = 200;
  std::string content_type;
  std::string body;
};

// What /v1/info reports about the loaded resource set.
struct CServiceInfo {
  std::string resource_dir;
  std::string model_path;  // empty: no model
  bool protected_form = false;
  size_t max_bytes = 0;
  // Why that directory: "--res", "installed" or "the source tree of this build".
  std::string resource_origin;
};

// A tagging request read from its body: the texts (valid UTF-8, no U+0000),
// the option, and whether the answer is one JSON line per text.
struct CTagRequest {
  std::vector<std::string> texts;
  int option = 0;
  bool plain = false;
};

// Reads a request body as CTagService::Tag describes. On failure returns
// false with the reason (valid UTF-8) in `error`. Keeps no state.
bool ParseTagRequest(const std::string& content_type, const std::string& body,
                     const std::string& option_query, CTagRequest* request, std::string* error);

// Tags requests on a fixed number of workers that share one resource set.
// Until Attach, every tagging request is answered 503 and /healthz says
// "loading". Tag, Health and Info may be called from any thread at once.
class CTagService {
 public:
  CTagService();
  ~CTagService();
  CTagService(const CTagService&) = delete;
  CTagService& operator=(const CTagService&) = delete;

  // Makes `workers` taggers over `manager` (loaded, outliving the service)
  // and starts answering. Called once.
  void Attach(CNEResourceManager* manager, int workers, const CServiceInfo& info);
  bool Ready() const { return ready_.load(); }

  // POST /v1/tag. A body of media type text/plain (any letter case) holds
  // one text a line and gets one JSON object a line back; any other body must
  // be a JSON object {"text": "..."} or {"texts": ["...", ...]} with an
  // optional "option" 0, 1 or 2, nested at most 16 deep. `option_query` is
  // the "option" query parameter ("" if none), which the plain-text form
  // uses. Waits for an idle tagger; 503 once Close was called.
  CReply Tag(const std::string& content_type, const std::string& body,
             const std::string& option_query) const;
  // Requests waiting for a tagger, and those that come later, are answered
  // 503; requests being tagged finish. For a service that stops.
  void Close();
  CReply Health() const;
  CReply Info() const;

  // {"error": {"status": S, "message": M}} with status S.
  static CReply Error(int status, const std::string& message);

 private:
  class CTaggerLease;

  std::atomic<bool> ready_{false};
  CNEResourceManager* manager_ = nullptr;
  CServiceInfo info_;
  std::vector<std::unique_ptr<CKyVerrin>> taggers_;
  mutable std::vector<CKyVerrin*> idle_;
  mutable std::mutex idle_mutex_;
  mutable std::condition_variable idle_cv_;
  bool closed_ = false;  // guarded by idle_mutex_
};

}  // namespace verrin::serve

#endif  // VERRIN_SERVE_TAG_SERVICE_H_
