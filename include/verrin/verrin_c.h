/* Verrin: the C interface.
 *
 * Plain C functions over the tagger, for C programs and for any language that
 * can call a C library (Python ctypes, C#, Go, ...). Compiles as C89 and C++.
 * Exported from the same library as the C++ classes (libverrin.so, Verrin.dll).
 *
 * Typical use:
 *
 *   verrin_resources* res = verrin_resources_new();
 *   if (!verrin_resources_load(res, "resources/default",
 *                              "resources/default/model.txt", 0)) {
 *     fprintf(stderr, "%s\n", verrin_last_error());
 *   }
 *   verrin_tagger* tagger = verrin_tagger_new(res);
 *   verrin_result* result = verrin_tag_utf8(tagger, "...", -1, 0);
 *   for (size_t i = 0; i < verrin_result_count(result); ++i) {
 *     const verrin_record* r = verrin_result_records(result) + i;
 *     printf("%s %s\n", r->word, r->tag ? r->tag : "-");
 *   }
 *   verrin_result_free(result);
 *   verrin_tagger_free(tagger);
 *   verrin_resources_free(res);
 *
 * Ownership: every object made by a *_new or returned by a tagging or
 * rendering call belongs to the caller and is released by the matching free
 * function of this library (never by free() of the caller's runtime). Free
 * functions accept NULL. Strings inside a result live as long as the result.
 *
 * Errors: calls that fail return 0 or NULL; verrin_last_error() then tells
 * why, with the library's messages about the failure (which file, which
 * line). Those messages also go to standard error as they come, unless a
 * message handler takes them (verrin_set_message_handler).
 *
 * Paths are narrow strings. On Windows they are UTF-8 and are opened as wide
 * (UTF-16) paths, so any file name works; a path that is not valid UTF-8 is
 * read as code page 936 (GBK). Elsewhere paths are passed to the system as
 * they are.
 *
 * Threads: one tagger serves one thread at a time; taggers made from one
 * resource set may tag at the same time on different threads (see verrin.h).
 * Loading runs while no other thread uses the set. verrin_last_error() is
 * kept per thread.
 */
#ifndef VERRIN_VERRIN_C_H_
#define VERRIN_VERRIN_C_H_

#include <stddef.h>

#if defined(_WIN32)
#if defined(VERRIN_BUILDING_LIBRARY)
#define VERRIN_C_API __declspec(dllexport)
#else
#define VERRIN_C_API __declspec(dllimport)
#endif
#else
#define VERRIN_C_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* A loaded resource set (lexicons, label table, model). */
typedef struct verrin_resources verrin_resources;
/* A tagger bound to one resource set. */
typedef struct verrin_tagger verrin_tagger;
/* The records of one tagging call. */
typedef struct verrin_result verrin_result;

/* Word types of verrin_record.type. */
#define VERRIN_WORD_PLAIN 0  /* ordinary word; tag is NULL */
#define VERRIN_WORD_MDW 1    /* word given in the input as "[mdw word]" */
#define VERRIN_WORD_CLASS 2  /* "number", "engstring" or the class of an input bracket */
#define VERRIN_WORD_ENTITY 3 /* named entity; tag is "P", "L" or "O" */

/* One word of a result.
 *
 * offset and length are counted in the units of the text given to the call:
 * bytes for verrin_tag_utf8, 16-bit units for verrin_tag_utf16. offset is the
 * sum of the lengths of the preceding records of the call: white space, line
 * ends, word separators and bracket marks of the input do not count. A word
 * longer than 255 UTF-16 units comes as several consecutive records of the
 * same type and tag.
 *
 * word and tag are UTF-8, word16 and tag16 the same texts in UTF-16; all are
 * NUL-terminated, tag and tag16 are NULL for plain words. */
typedef struct verrin_record {
  int offset;
  int length;
  int type;
  const char* word;
  const char* tag;
  const unsigned short* word16;
  const unsigned short* tag16;
} verrin_record;

/* An empty resource set, or NULL when memory is exhausted. */
VERRIN_C_API verrin_resources* verrin_resources_new(void);
/* Frees the set. Taggers made from it must be freed first. */
VERRIN_C_API void verrin_resources_free(verrin_resources* resources);
/* Loads "PeInfo.txt", "NeItem.txt", "NeAffix.txt", "dict.txt" and
 * "charset_lableInfo_tr.txt" from the directory `dir` and the model file
 * `model_path` (NULL: no model). With `protected_form` non-zero the protected
 * forms (names ending in "des") are read. Returns 1 on success; 0 leaves the
 * set empty. Loading again replaces the set for taggers made afterwards;
 * taggers made before keep the set they were made with. */
VERRIN_C_API int verrin_resources_load(verrin_resources* resources, const char* dir,
                                       const char* model_path, int protected_form);

/* A tagger on a loaded set, or NULL (set not loaded, no memory). The set must
 * outlive the tagger. */
VERRIN_C_API verrin_tagger* verrin_tagger_new(verrin_resources* resources);
VERRIN_C_API void verrin_tagger_free(verrin_tagger* tagger);

/* Tags `length` bytes of UTF-8 text (-1: up to the terminating NUL). Every
 * line of the text is tagged. `option`: 0 raw text, 1 words separated by "/",
 * 2 words separated by spaces. Ill-formed UTF-8 is read as U+FFFD. Returns a
 * new result (free it with verrin_result_free), or NULL on failure. */
VERRIN_C_API verrin_result* verrin_tag_utf8(verrin_tagger* tagger, const char* text,
                                            ptrdiff_t length, int option);
/* The same for `length` UTF-16 units (-1: up to the terminating 0). */
VERRIN_C_API verrin_result* verrin_tag_utf16(verrin_tagger* tagger, const unsigned short* text,
                                             ptrdiff_t length, int option);

/* Number of records, and the first of them (NULL when there are none). */
VERRIN_C_API size_t verrin_result_count(const verrin_result* result);
VERRIN_C_API const verrin_record* verrin_result_records(const verrin_result* result);
VERRIN_C_API void verrin_result_free(verrin_result* result);

/* The bracketed text of a result: each record followed by one space, entities
 * and class words as "[P word]", "[mdw word]", "[number word]". A new
 * NUL-terminated string; free it with verrin_string_free. NULL on failure. */
VERRIN_C_API char* verrin_render_utf8(const verrin_result* result);
VERRIN_C_API unsigned short* verrin_render_utf16(const verrin_result* result);
VERRIN_C_API void verrin_string_free(void* text);

/* Tags the GBK text file `in_path` line by line into the GBK file `out_path`
 * (one line of bracketed clauses per non-empty input line). Returns 1 on
 * success, 0 when a file cannot be opened. */
VERRIN_C_API int verrin_tag_file(verrin_tagger* tagger, const char* in_path, int option,
                                 const char* out_path);

/* The message of the last failed call of this thread (UTF-8), or "" when no
 * call has failed yet. Valid until the next failing call of the thread. */
VERRIN_C_API const char* verrin_last_error(void);

/* Receives the library's messages (load errors naming file and line,
 * warnings, progress) instead of standard error: `length` bytes of `text`,
 * not NUL-terminated, a message or a piece of one; messages end with "\n".
 * The handler must not call the library. */
typedef void (*verrin_message_handler)(void* context, const char* text, size_t length);
/* For every thread without a handler of its own (NULL: standard error); may
 * be called on several threads at once. Set it while no other thread uses
 * the library. */
VERRIN_C_API void verrin_set_message_handler(verrin_message_handler handler, void* context);
/* For the library calls of the calling thread only (NULL: back to the
 * handler of the process). */
VERRIN_C_API void verrin_set_thread_message_handler(verrin_message_handler handler, void* context);

#ifdef __cplusplus
}
#endif

#endif /* VERRIN_VERRIN_C_H_ */
