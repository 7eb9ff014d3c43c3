// The C interface: thin wrappers over CNEResourceManager and CKyVerrin.
//
// No exception may cross into a C caller, so every entry point catches
// everything and turns it into a 0/NULL result with a message for
// verrin_last_error().
#include "verrin/verrin_c.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "api/messages.h"
#include "io/protected_file.h"
#include "text/code_page.h"
#include "text/file_system.h"
#include "text/ustring.h"
#include "verrin/verrin.h"

struct verrin_resources {
  CNEResourceManager manager;
};

struct verrin_tagger {
  explicit verrin_tagger(CNEResourceManager* manager) : tagger(manager) {}
  CKyVerrin tagger;
};

struct verrin_result {
  // Texts of one record; the records point into them, so this vector is not
  // touched once the records are made.
  struct Texts {
    std::string word, tag;
    std::u16string word16, tag16;
    bool has_tag = false;
  };
  std::vector<Texts> texts;
  std::vector<verrin_record> records;
  std::u16string rendered;
};

namespace {

void SetError(const std::string& message) { verrin::SetLastError(message); }

// Runs `body`, turning any exception into `failed` and a message.
template <typename T, typename F>
T Guard(T failed, F body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    SetError("out of memory");
  } catch (const char* message) {
    SetError(message != nullptr ? message : "unknown error");
  } catch (const std::exception& e) {
    SetError(e.what());
  } catch (...) {
    SetError("unknown error");
  }
  return failed;
}

bool FileReadable(const std::string& path) {
  std::FILE* file = verrin::OpenFile(path, "rb");
  if (file == nullptr) return false;
  std::fclose(file);
  return true;
}

bool CheckOption(int option) {
  if (option >= 0 && option <= 2) return true;
  SetError("the word separator option must be 0 (raw text), 1 (\"/\") or 2 (spaces), not " +
           std::to_string(option));
  return false;
}

// Units a word occupies in the caller's encoding.
int32_t LengthIn(bool utf8, const verrin_result::Texts& t) {
  return static_cast<int32_t>(utf8 ? t.word.size() : t.word16.size());
}

// Tags every line of `text` (line feeds and NULs end lines; the tagger itself
// stops at the first of them) and fills `result`.
verrin_result* TagText(verrin_tagger* tagger, const std::u16string& text, int option, bool utf8) {
  if (tagger == nullptr) {
    SetError("no tagger (NULL)");
    return nullptr;
  }
  if (!CheckOption(option)) return nullptr;
  auto* result = new verrin_result();
  std::vector<int> types;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = start;
    while (end < text.size() && text[end] != u'\n' && text[end] != 0) ++end;
    const std::u16string line = text.substr(start, end - start);
    start = end + 1;
    if (line.empty()) continue;
    tag_WordInfoW* records = nullptr;
    int count = 0;
    tagger->tagger.KyTagNEInfo(line.c_str(), option, records, count);
    std::u16string rendered(static_cast<size_t>(CKyVerrin::RenderedLength(records, count)) + 1,
                            u'\0');
    tagger->tagger.OutputTaggedSentence(records, count, rendered.data());
    rendered.pop_back();
    result->rendered += rendered;
    for (int i = 0; i < count; ++i) {
      const tag_WordInfoW& r = records[i];
      verrin_result::Texts t;
      t.word16.assign(r.pWord != nullptr ? r.pWord : u"");
      t.word = verrin::ToUtf8(t.word16.c_str(), static_cast<int32_t>(t.word16.size()));
      if (r.pTag != nullptr) {
        t.has_tag = true;
        t.tag16.assign(r.pTag);
        t.tag = verrin::ToUtf8(t.tag16.c_str(), static_cast<int32_t>(t.tag16.size()));
      }
      result->texts.push_back(std::move(t));
      types.push_back(r.cWordType);
    }
    tagger->tagger.FreeWordSegResult(records, count);
  }
  result->records.resize(result->texts.size());
  int32_t offset = 0;
  for (size_t i = 0; i < result->texts.size(); ++i) {
    const verrin_result::Texts& t = result->texts[i];
    verrin_record& r = result->records[i];
    r.offset = offset;
    r.length = LengthIn(utf8, t);
    r.type = types[i];
    r.word = t.word.c_str();
    r.word16 = reinterpret_cast<const unsigned short*>(t.word16.c_str());
    r.tag = t.has_tag ? t.tag.c_str() : nullptr;
    r.tag16 = t.has_tag ? reinterpret_cast<const unsigned short*>(t.tag16.c_str()) : nullptr;
    offset += r.length;
  }
  return result;
}

// A malloc'd NUL-terminated copy, released by verrin_string_free.
template <typename Unit>
Unit* CopyOut(const Unit* text, size_t length) {
  auto* out = static_cast<Unit*>(std::malloc(sizeof(Unit) * (length + 1)));
  if (out == nullptr) throw std::bad_alloc();
  std::memcpy(out, text, sizeof(Unit) * length);
  out[length] = 0;
  return out;
}

}  // namespace

extern "C" {

verrin_resources* verrin_resources_new(void) {
  return Guard<verrin_resources*>(nullptr, [] { return new verrin_resources(); });
}

void verrin_resources_free(verrin_resources* resources) { delete resources; }

int verrin_resources_load(verrin_resources* resources, const char* dir, const char* model_path,
                          int protected_form) {
  return Guard(0, [&] {
    if (resources == nullptr || dir == nullptr) {
      SetError(resources == nullptr ? "no resource set (NULL)" : "no resource directory (NULL)");
      return 0;
    }
    std::string model_note;
    if (model_path != nullptr) {
      const std::string model =
          protected_form != 0 ? verrin::ProtectedPathFor(model_path) : std::string(model_path);
      if (!FileReadable(model)) {
        SetError("cannot open the model file " + model);
        return 0;
      }
      model_note = std::string(" with the model ") + model_path;
    }
    if (!resources->manager.LoadResource(dir, model_path, protected_form != 0)) {
      SetError(std::string("could not load the resources in ") + dir + model_note + ": " +
               VerrinLastError());
      return 0;
    }
    return 1;
  });
}

verrin_tagger* verrin_tagger_new(verrin_resources* resources) {
  return Guard<verrin_tagger*>(nullptr, [&]() -> verrin_tagger* {
    if (resources == nullptr || resources->manager.Resource() == nullptr) {
      SetError(resources == nullptr
                   ? "no resource set (NULL)"
                   : "the resource set is not loaded (call verrin_resources_load)");
      return nullptr;
    }
    return new verrin_tagger(&resources->manager);
  });
}

void verrin_tagger_free(verrin_tagger* tagger) { delete tagger; }

verrin_result* verrin_tag_utf8(verrin_tagger* tagger, const char* text, ptrdiff_t length,
                               int option) {
  return Guard<verrin_result*>(nullptr, [&]() -> verrin_result* {
    if (text == nullptr) text = "";
    const std::string bytes =
        length < 0 ? std::string(text) : std::string(text, static_cast<size_t>(length));
    const verrin::CUString units = verrin::FromUtf8(bytes);
    return TagText(tagger, std::u16string(units.View()), option, true);
  });
}

verrin_result* verrin_tag_utf16(verrin_tagger* tagger, const unsigned short* text, ptrdiff_t length,
                                int option) {
  return Guard<verrin_result*>(nullptr, [&]() -> verrin_result* {
    const char16_t* units = text != nullptr ? reinterpret_cast<const char16_t*>(text) : u"";
    if (length < 0) length = verrin::UStrLen(units);
    return TagText(tagger, std::u16string(units, static_cast<size_t>(length)), option, false);
  });
}

size_t verrin_result_count(const verrin_result* result) {
  return result != nullptr ? result->records.size() : 0;
}

const verrin_record* verrin_result_records(const verrin_result* result) {
  return result != nullptr && !result->records.empty() ? result->records.data() : nullptr;
}

void verrin_result_free(verrin_result* result) { delete result; }

char* verrin_render_utf8(const verrin_result* result) {
  return Guard<char*>(nullptr, [&]() -> char* {
    if (result == nullptr) {
      SetError("no result (NULL)");
      return nullptr;
    }
    const std::string text =
        verrin::ToUtf8(result->rendered.c_str(), static_cast<int32_t>(result->rendered.size()));
    return CopyOut(text.c_str(), text.size());
  });
}

unsigned short* verrin_render_utf16(const verrin_result* result) {
  return Guard<unsigned short*>(nullptr, [&]() -> unsigned short* {
    if (result == nullptr) {
      SetError("no result (NULL)");
      return nullptr;
    }
    return CopyOut(reinterpret_cast<const unsigned short*>(result->rendered.c_str()),
                   result->rendered.size());
  });
}

void verrin_string_free(void* text) { std::free(text); }

int verrin_tag_file(verrin_tagger* tagger, const char* in_path, int option, const char* out_path) {
  return Guard(0, [&] {
    if (tagger == nullptr || in_path == nullptr || out_path == nullptr) {
      SetError(tagger == nullptr ? "no tagger (NULL)" : "no file path (NULL)");
      return 0;
    }
    if (!CheckOption(option)) return 0;
    if (!FileReadable(in_path)) {
      SetError(std::string("cannot open the input file ") + in_path);
      return 0;
    }
    if (!tagger->tagger.KyTagNEInfo(in_path, option, out_path)) {
      SetError(std::string("cannot tag ") + in_path + " into " + out_path + ": " +
               VerrinLastError());
      return 0;
    }
    return 1;
  });
}

const char* verrin_last_error(void) { return VerrinLastError(); }

void verrin_set_message_handler(verrin_message_handler handler, void* context) {
  VerrinSetMessageHandler(handler, context);
}

void verrin_set_thread_message_handler(verrin_message_handler handler, void* context) {
  VerrinSetThreadMessageHandler(handler, context);
}

}  // extern "C"
