/* The C interface seen from a C program, linked against the shared library.
 *
 * Usage: test_c_interface RESOURCE_DIR WORK_DIR
 * RESOURCE_DIR holds the hand-made tagger resources (tests/data/tagger); the
 * model there decides labels from the character alone. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "verrin/verrin_c.h"

static int failures = 0;

#define CHECK(cond)                                                            \
  do {                                                                         \
    if (!(cond)) {                                                             \
      fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
      ++failures;                                                              \
    }                                                                          \
  } while (0)

/* The library's messages, collected by the handler below. */
static char messages[4096];

static void collect(void* context, const char* text, size_t length) {
  size_t used = strlen(messages);
  (void)context;
  if (length > sizeof messages - 1 - used) length = sizeof messages - 1 - used;
  memcpy(messages + used, text, length);
  messages[used + length] = 0;
}

struct expected {
  int offset, length, type;
  const char* word;
  const char* tag;
};

static int same_tag(const char* got, const char* want) {
  if (got == NULL || want == NULL) return got == want;
  return strcmp(got, want) == 0;
}

static void check_records(const verrin_result* result, const struct expected* want, size_t n) {
  const verrin_record* r = verrin_result_records(result);
  size_t i;
  CHECK(verrin_result_count(result) == n);
  if (verrin_result_count(result) != n) return;
  for (i = 0; i < n; ++i) {
    if (r[i].offset != want[i].offset || r[i].length != want[i].length ||
        r[i].type != want[i].type || strcmp(r[i].word, want[i].word) != 0 ||
        !same_tag(r[i].tag, want[i].tag) || (r[i].tag == NULL) != (r[i].tag16 == NULL)) {
      fprintf(stderr, "record %u: got %d %d %d %s %s, want %d %d %d %s %s\n", (unsigned)i,
              r[i].offset, r[i].length, r[i].type, r[i].word, r[i].tag ? r[i].tag : "(null)",
              want[i].offset, want[i].length, want[i].type, want[i].word,
              want[i].tag ? want[i].tag : "(null)");
      ++failures;
    }
  }
}

static char* read_file(const char* path) {
  FILE* f = fopen(path, "rb");
  char* text;
  long n;
  if (f == NULL) return NULL;
  fseek(f, 0, SEEK_END);
  n = ftell(f);
  fseek(f, 0, SEEK_SET);
  text = (char*)malloc((size_t)n + 1);
  n = (long)fread(text, 1, (size_t)n, f);
  text[n] = 0;
  fclose(f);
  return text;
}

int main(int argc, char** argv) {
  verrin_resources* res;
  verrin_tagger* tagger;
  verrin_result* result;
  char model[1024], in_path[1024], out_path[1024], missing[1024];
  char* text;
  if (argc != 3) {
    fprintf(stderr, "usage: %s RESOURCE_DIR WORK_DIR\n", argv[0]);
    return 2;
  }
  snprintf(model, sizeof model, "%s/model.txt", argv[1]);
  snprintf(missing, sizeof missing, "%s/no-such-dir", argv[2]);

  /* A failed load names the cause; an unloaded set makes no tagger. */
  res = verrin_resources_new();
  verrin_set_message_handler(collect, NULL);
  CHECK(verrin_resources_load(res, missing, NULL, 0) == 0);
  verrin_set_message_handler(NULL, NULL);
  CHECK(strstr(verrin_last_error(), "no-such-dir") != NULL);
  /* The handler got the library's own message, naming the file. */
  CHECK(messages[0] != 0 && strstr(messages, "no-such-dir") != NULL);
  CHECK(verrin_resources_load(res, argv[1], missing, 0) == 0);
  CHECK(strstr(verrin_last_error(), "model") != NULL);
  CHECK(verrin_tagger_new(res) == NULL);
  CHECK(strstr(verrin_last_error(), "not loaded") != NULL);

  CHECK(verrin_resources_load(res, argv[1], model, 0) == 1);
  tagger = verrin_tagger_new(res);
  CHECK(tagger != NULL);
  if (tagger == NULL) return 1;

  /* UTF-8: offsets and lengths in bytes; every line is tagged and offsets run
   * on over the line feed (which, like spaces, takes no room). */
  {
    static const struct expected want[] = {{0, 6, 3, "张三", "P"},      {6, 3, 0, "在", NULL},
                                           {9, 6, 3, "北京", "L"},      {15, 6, 0, "工作", NULL},
                                           {21, 3, 0, "。", NULL},      {24, 6, 3, "张三", "P"},
                                           {30, 4, 2, "2007", "number"}};
    char* rendered;
    result = verrin_tag_utf8(tagger, "张三在北京工作。\n张三 2007", -1, 0);
    CHECK(result != NULL);
    check_records(result, want, sizeof want / sizeof want[0]);
    rendered = verrin_render_utf8(result);
    CHECK(rendered != NULL &&
          strcmp(rendered, "[P 张三] 在 [L 北京] 工作 。 [P 张三] [number 2007] ") == 0);
    verrin_string_free(rendered);
    verrin_result_free(result);
  }

  /* UTF-16 with an explicit length that cuts the text: offsets in units. */
  {
    static const unsigned short text16[] = {0x5F20, 0x4E09, 0x5728, 0x5317, 0x4EAC, 0x5DE5, 0};
    static const struct expected want[] = {
        {0, 2, 3, "张三", "P"}, {2, 1, 0, "在", NULL}, {3, 2, 3, "北京", "L"}};
    unsigned short* rendered;
    const verrin_record* r;
    result = verrin_tag_utf16(tagger, text16, 5, 0);
    CHECK(result != NULL);
    check_records(result, want, 3);
    r = verrin_result_records(result);
    CHECK(r != NULL && r[0].word16[0] == 0x5F20 && r[0].word16[2] == 0 && r[0].tag16[0] == 'P');
    rendered = verrin_render_utf16(result);
    CHECK(rendered != NULL && rendered[0] == '[' && rendered[1] == 'P' && rendered[3] == 0x5F20);
    verrin_string_free(rendered);
    verrin_result_free(result);
  }

  /* Segmented input keeps its words; bad options are refused, not guessed. */
  {
    static const struct expected want[] = {{0, 6, 3, "张三", "P"}, {6, 6, 1, "北京", "mdw"}};
    result = verrin_tag_utf8(tagger, "张三/[mdw 北京]", -1, 1);
    check_records(result, want, 2);
    verrin_result_free(result);
    result = verrin_tag_utf8(tagger, "", 0, 0);
    CHECK(result != NULL && verrin_result_count(result) == 0 &&
          verrin_result_records(result) == NULL);
    verrin_result_free(result);
    CHECK(verrin_tag_utf8(tagger, "张三", -1, 3) == NULL);
    CHECK(strstr(verrin_last_error(), "option") != NULL);
  }

  /* File to file, GBK both ways. */
  {
    FILE* f;
    snprintf(in_path, sizeof in_path, "%s/c_in.txt", argv[2]);
    snprintf(out_path, sizeof out_path, "%s/c_out.txt", argv[2]);
    f = fopen(in_path, "wb");
    fputs("\xd5\xc5\xc8\xfd\xd4\xda\xb1\xb1\xbe\xa9\xb9\xa4\xd7\xf7\xa1\xa3\n\n", f);
    fclose(f);
    CHECK(verrin_tag_file(tagger, in_path, 0, out_path) == 1);
    text = read_file(out_path);
    CHECK(text != NULL && strcmp(text,
                                 "[P \xd5\xc5\xc8\xfd] \xd4\xda [L \xb1\xb1\xbe\xa9] "
                                 "\xb9\xa4\xd7\xf7 \xa1\xa3 \n") == 0);
    free(text);
    CHECK(verrin_tag_file(tagger, missing, 0, out_path) == 0);
    CHECK(strstr(verrin_last_error(), "no-such-dir") != NULL);
  }

  verrin_tagger_free(tagger);
  verrin_resources_free(res);
  verrin_result_free(NULL);
  verrin_string_free(NULL);
  if (failures != 0) fprintf(stderr, "%d checks failed\n", failures);
  return failures == 0 ? 0 : 1;
}
