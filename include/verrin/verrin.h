// Verrin: named-entity tagging of Chinese text.
//
// A host loads one resource set with CNEResourceManager::LoadResource and then
// tags UTF-16 text with one or more CKyVerrin taggers made from that manager.
// Persons, locations and organizations come back as records of type 3 with the
// class texts "P", "L" and "O".
//
// Threading: once LoadResource has returned, a manager's resource set is only
// read. Any number of taggers made from one manager (or from several) may tag
// at the same time on different threads, each with its own word separator
// option. One tagger serves one thread at a time: give every thread its own
// tagger. LoadResource sets the process locale and replaces the manager's
// set, so run it while no other thread tags or makes taggers. Text
// conversions use converters private to each thread, so making and
// destroying taggers never disturbs another thread.
#ifndef VERRIN_VERRIN_H_
#define VERRIN_VERRIN_H_

#include <cstddef>
#include <cstdint>
#include <string>

#if defined(_WIN32)
#if defined(VERRIN_BUILDING_LIBRARY)
#define VERRIN_API __declspec(dllexport)
#else
#define VERRIN_API __declspec(dllimport)
#endif
#else
#define VERRIN_API __attribute__((visibility("default")))
#endif

// Version of the library. The major number is the SONAME's
// (libverrin.so.VERRIN_VERSION_MAJOR); the build reads these lines.
#define VERRIN_VERSION_MAJOR 0
#define VERRIN_VERSION_MINOR 1
#define VERRIN_VERSION_PATCH 0
#define VERRIN_VERSION "0.1.0"

// Version of the library actually loaded ("0.1.0"), for a host that wants to
// check it against the VERRIN_VERSION it was compiled with.
VERRIN_API const char* VerrinVersion();

// The bundled default resource directory (holding model.txt) of this
// installation, without a trailing separator: share/verrin/default next to
// the installed library (or program, when linked statically), else the
// directory configured at build time (CMAKE_INSTALL_PREFIX/share/verrin/default),
// which may not exist when the resources were never installed. The string is
// static; never free it.
VERRIN_API const char* VerrinDefaultResourceDir();

// Messages of the library: why a load failed and which file and line it
// could not read, warnings about resource lines, progress of file tagging,
// clauses that could not be tagged. By default they are written to standard
// error as they come. A handler receives them instead: `length` bytes of
// `text` (not NUL-terminated), a whole message or a piece of one; lines of
// messages end with a line feed. File names are the bytes the host gave; quoted text
// is in the encoding its file has (GBK for resource files). The handler must
// not call the library.
typedef void (*VerrinMessageHandler)(void* context, const char* text, size_t length);

// Sends the messages of the library calls made on the calling thread to
// `handler` (called on this thread, with `context`) until it is replaced;
// null gives the thread back to the process-wide handler. A thread's handler
// ends with the thread.
VERRIN_API void VerrinSetThreadMessageHandler(VerrinMessageHandler handler, void* context);
// Sends the messages of every thread that has no handler of its own to
// `handler` (null: standard error). It may be called on several threads at
// once. Install it before other threads call the library, or while none does.
VERRIN_API void VerrinSetMessageHandler(VerrinMessageHandler handler, void* context);

// Why the last failed call of the calling thread failed (UTF-8 where the
// library wrote the text, else the bytes of the names it quotes), without a
// trailing line feed; "" when no call has failed on this thread. Failed calls
// are those that return false: LoadResource (the messages of the load) and
// the file overload of KyTagNEInfo, and those of the C interface
// (verrin_last_error() returns the same text). The text lives until the next
// failed call of the thread.
VERRIN_API const char* VerrinLastError();

// The file LoadResource reads for `path` when it reads the protected forms:
// the last "txt" of the path replaced by "des" ("res/model.txt" gives
// "res/model.des"); a path without "txt" is read as it is.
VERRIN_API std::string VerrinProtectedPath(const std::string& path);

namespace verrin {
class CNEEngine;
class CNEResource;
class CUString;

// Values of tag_WordInfoW::cWordType.
enum WordType : uint8_t {
  kWordPlain = 0,   // ordinary word; pTag null
  kWordMdw = 1,     // word given in the input as "[mdw word]"; pTag its class text
  kWordClass = 2,   // "number", "engstring" or the class of an input bracket
  kWordEntity = 3,  // named entity; pTag "P", "L" or "O"
};

// Units a record holds (cLength has 8 bits); longer words take several.
inline constexpr int kMaxRecordUnits = 255;
}  // namespace verrin

// One word of a tagging result.
//
// Layout (fields in this order, natural alignment):
//   32-bit targets (32 bytes):  0 nReserved0, 4 nOffset, 8 nReserved8,
//     12 cLength, 16 pWord, 20 cWordType, 24 pTag, 28 nReserved28.
//   64-bit targets (48 bytes): pointers are 8 bytes, so pWord is at 16,
//     cWordType at 24, pTag at 32 and nReserved28 at 40; order and types are
//     the same. Padding bytes are not initialised.
//
// cWordType: verrin::kWordPlain (0) plain word (pTag null); kWordMdw (1)
// word given in an "mdw" bracket; kWordClass (2) class word ("number",
// "engstring", or the class of an input bracket); kWordEntity (3) named
// entity with pTag "P", "L" or "O".
//
// nOffset is the sum of cLength over the preceding records of the same call:
// white space, separators and bracket marks of the input do not count.
//
// cLength holds 8 bits. A word longer than 255 units is returned as several
// consecutive records of at most 255 units each, all with the same type and
// class text, so offsets and lengths still add up and no unit is lost.
//
// Each record owns pWord and pTag (UTF-16, NUL-terminated); arrays are
// released with CKyVerrin::FreeWordSegResult, never with delete.
struct VERRIN_API tag_WordInfoW {
  int32_t nReserved0;
  int32_t nOffset;
  int32_t nReserved8;
  uint8_t cLength;
  char16_t* pWord;
  uint8_t cWordType;
  char16_t* pTag;
  int32_t nReserved28;

  tag_WordInfoW();
  ~tag_WordInfoW();
  // Replaces pWord / pTag with a copy of n units of text (null text: null field).
  void SetWord(const char16_t* text, int32_t n);
  void SetTag(const char16_t* text, int32_t n);

 private:
  tag_WordInfoW(const tag_WordInfoW&);
  tag_WordInfoW& operator=(const tag_WordInfoW&);
};

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(tag_WordInfoW) == 32, "tag_WordInfoW must be 32 bytes on 32-bit targets");
static_assert(offsetof(tag_WordInfoW, pWord) == 16, "pWord at offset 16");
static_assert(offsetof(tag_WordInfoW, cWordType) == 20, "cWordType at offset 20");
static_assert(offsetof(tag_WordInfoW, pTag) == 24, "pTag at offset 24");
static_assert(offsetof(tag_WordInfoW, nReserved28) == 28, "nReserved28 at offset 28");
#endif

// Loads and owns one resource set, shared by the taggers made from it.
class VERRIN_API CNEResourceManager {
 public:
  CNEResourceManager();
  ~CNEResourceManager();
  // Copies the pointer: both managers then share one set; destroy only one.
  CNEResourceManager& operator=(const CNEResourceManager& other);

  // Loads "/PeInfo.txt", "/NeItem.txt", "/NeAffix.txt", "/dict.txt" below
  // `dir` (no trailing separator), then the model at `modelPath` (may be
  // null), then "/charset_lableInfo_tr.txt". With `encrypted`, the protected
  // forms (names ending in "des") are read instead. On failure the set is
  // discarded, the manager is empty and false is returned; the messages go
  // to the message handler (standard error by default) and VerrinLastError()
  // holds them. A second call loads a new set for taggers made after it;
  // taggers made earlier keep the set they were made with, which lives on
  // until the manager is destroyed. Paths are byte strings handed to the
  // operating system unchanged (on Windows: UTF-8, or GBK when not valid
  // UTF-8).
  //
  // Process locale: every call first sets the locale of the whole process
  // (setlocale(LC_ALL, ...)) to the first simplified-Chinese GBK locale the
  // system has ("chs", "zh_CN.GBK", "zh_CN.GB18030", "zh_CN.GB2312" in their
  // spellings), and keeps the locale when there is none. Tagging itself does
  // not depend on it; a host that needs its own locale sets it again after
  // loading.
  bool LoadResource(const char* dir, const char* modelPath, bool encrypted);

  // The loaded set, or null (internal use).
  verrin::CNEResource* Resource() const { return resource_; }

 private:
  verrin::CNEResource* resource_;
  void* retired_;  // sets replaced by a later LoadResource, freed with the manager
};

// Tags UTF-16 text. Construct only from a manager whose LoadResource succeeded.
class VERRIN_API CKyVerrin {
 public:
  explicit CKyVerrin(CNEResourceManager* manager);
  ~CKyVerrin();
  // Copies the references: both taggers then share one engine; destroy only one.
  CKyVerrin& operator=(const CKyVerrin& other);

  // Tags `text` up to its first line feed. option: 0 raw text, 1 words
  // separated by "/", 2 words separated by spaces (others: message, raw).
  // The text is tagged clause by clause. Where 4,096 units follow a clause's
  // start without a delimiter, the clause is a short piece of that run: it
  // ends after the first "的" from its 16th unit on (options 1 and 2: after
  // the separator that follows that "的"), else after 256 units (255 before
  // a surrogate pair it would part; before a bracket "[class word]" it would
  // part), and the text goes on in the next clause;
  // clauses below 4,096 units are cut as if there were no limit. Time and
  // working memory stay linear in the text. The result array holds one
  // record slot per unit of `text`; hand very long texts over in pieces.
  // `records` receives a new array (free it with FreeWordSegResult), `count`
  // its length. Returns true once the array is made.
  bool KyTagNEInfo(const char16_t* text, int option, tag_WordInfoW*& records, int& count);
  // Tags a GBK file line by line into a GBK file of bracketed sentences.
  // OUT appears only once it is complete. False when IN cannot be read, OUT
  // cannot be written, or a clause could not be tagged (the other clauses and
  // lines are still written; see UntaggedClauses).
  bool KyTagNEInfo(const char* inPath, int option, const char* outPath);
  // Re-tags an earlier result: records are rendered, joined by spaces and
  // tagged again; "P", "L" and "O" words are decided anew.
  bool KyTagNEInfo(const tag_WordInfoW* words, int wordCount, tag_WordInfoW*& records, int& count);
  // True when flags & 3 is not zero and the text yields at least one clause.
  bool KyHasNE(const char16_t* text, int option, int flags);
  // Clauses of the last KyTagNEInfo call that could not be tagged (the model
  // lacks an outcome every path through them needs); their words are missing
  // from the records or the file, and a message (to the message handler,
  // standard error by default) names them.
  int UntaggedClauses() const;
  // Releases an array made by KyTagNEInfo (null is accepted; count is unused).
  void FreeWordSegResult(tag_WordInfoW* records, int count);
  // Writes each record with OutputWordInfo (mdw words bracketed) followed by
  // one space. `out` must hold the whole rendering; see RenderedLength.
  void OutputTaggedSentence(const tag_WordInfoW* records, int count, char16_t* out);
  // Units OutputTaggedSentence writes for these records, terminator excluded.
  static int RenderedLength(const tag_WordInfoW* records, int count);

 private:
  // Renders one record (no trailing separator) into `out`, replacing it.
  void OutputWordInfo(const tag_WordInfoW& record, verrin::CUString& out, bool markMdw);

  verrin::CNEEngine* engine_;
  CNEResourceManager* manager_;
};

#endif  // VERRIN_VERRIN_H_
