#include "text/code_page.h"

#include <locale.h>
#include <unicode/ucnv.h>
#include <unicode/ustdio.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace verrin {

// Owns the calling thread's set and closes it when the thread ends.
struct CCodePageSet::ThreadSlot {
  CCodePageSet* set = nullptr;
  ~ThreadSlot() { Reset(); }
  void Reset() {
    delete set;
    set = nullptr;
  }
};

CCodePageSet::ThreadSlot& CCodePageSet::Slot() {
  thread_local ThreadSlot slot;
  return slot;
}

namespace {

const char* const kConverterNames[CCodePageSet::kCount] = {nullptr, "ISO8859-1", "GBK", "Big5",
                                                           "UTF-8"};

}  // namespace

CCodePageSet& CCodePageSet::Get() {
  ThreadSlot& slot = Slot();
  if (slot.set == nullptr) slot.set = new CCodePageSet();
  return *slot.set;
}

void CCodePageSet::Release() { Slot().Reset(); }

bool CCodePageSet::Exists() { return Slot().set != nullptr; }

CCodePageSet::CCodePageSet() {
  for (int i = 0; i < kCount; ++i) {
    UErrorCode status = U_ZERO_ERROR;
    converters_[i] = ucnv_open(kConverterNames[i], &status);
    if (U_FAILURE(status)) converters_[i] = nullptr;
  }
}

CCodePageSet::~CCodePageSet() {
  for (UConverter*& converter : converters_) {
    if (converter != nullptr) ucnv_close(converter);
    converter = nullptr;
  }
}

int32_t CCodePageSet::ToUnicode(int code_page, const char* text, int32_t length, char16_t* dest,
                                int32_t capacity) {
  if (capacity < 0) capacity = 0;
  dest[0] = 0;
  if (code_page < 0 || code_page >= kCount || converters_[code_page] == nullptr) return 0;
  UErrorCode status = U_ZERO_ERROR;
  int32_t n = ucnv_toUChars(converters_[code_page], dest, capacity, text, length, &status);
  if (n > capacity) n = capacity;  // overflow: keep what fits
  if (n < 0) n = 0;
  dest[n] = 0;
  return n;
}

int32_t CCodePageSet::FromUnicode(int code_page, const char16_t* text, int32_t length, char* dest,
                                  int32_t capacity) {
  if (capacity <= 0) return 0;
  dest[0] = 0;
  if (code_page < 0 || code_page >= kCount || converters_[code_page] == nullptr) return 0;
  UErrorCode status = U_ZERO_ERROR;
  int32_t n = ucnv_fromUChars(converters_[code_page], dest, capacity - 1, text, length, &status);
  if (n > capacity - 1) n = capacity - 1;
  if (n < 0) n = 0;
  dest[n] = 0;
  return n;
}

CUString CCodePageSet::Decode(int code_page, const char* bytes, size_t length) {
  if (length == 0) return CUString(int32_t{0});
  // No supported code page yields more UTF-16 units than input bytes.
  std::vector<char16_t> buffer(length + 1);
  const int32_t n = ToUnicode(code_page, bytes, static_cast<int32_t>(length), buffer.data(),
                              static_cast<int32_t>(length));
  return CUString(buffer.data(), n);
}

std::string CCodePageSet::Encode(int code_page, const char16_t* text, int32_t length) {
  if (length < 0) length = UStrLen(text);
  if (length == 0) return std::string();
  if (code_page < 0 || code_page >= kCount || converters_[code_page] == nullptr) return {};
  UErrorCode status = U_ZERO_ERROR;
  int32_t needed = ucnv_fromUChars(converters_[code_page], nullptr, 0, text, length, &status);
  std::string out(static_cast<size_t>(needed) + 1, '\0');
  status = U_ZERO_ERROR;
  int32_t n =
      ucnv_fromUChars(converters_[code_page], out.data(), needed + 1, text, length, &status);
  if (n < 0) n = 0;
  out.resize(static_cast<size_t>(n));
  return out;
}

CUString FromGbk(const std::string& bytes) {
  return CCodePageSet::Get().Decode(CCodePageSet::kGbk, bytes.data(), bytes.size());
}

CUString FromGbk(const char* bytes) {
  return CCodePageSet::Get().Decode(CCodePageSet::kGbk, bytes, bytes ? std::strlen(bytes) : 0);
}

std::string ToGbk(const CUString& text) { return ToGbk(text.c_str(), text.Length()); }

std::string ToGbk(const char16_t* text, int32_t length) {
  return CCodePageSet::Get().Encode(CCodePageSet::kGbk, text, length);
}

CUString FromUtf8(const std::string& bytes) {
  return CCodePageSet::Get().Decode(CCodePageSet::kUtf8, bytes.data(), bytes.size());
}

std::string ToUtf8(const CUString& text) { return ToUtf8(text.c_str(), text.Length()); }

std::string ToUtf8(const char16_t* text, int32_t length) {
  return CCodePageSet::Get().Encode(CCodePageSet::kUtf8, text, length);
}

UFILE* OpenTextFile(const CUString& path, const char* mode) {
  return OpenTextFile(ToGbk(path).c_str(), mode);
}

UFILE* OpenTextFile(const char* narrow_path, const char* mode) {
  // Numbers written with u_fprintf must not follow the user's locale (a
  // decimal comma or other digits would not read back): POSIX formatting.
  return u_fopen(narrow_path, mode, "en_US_POSIX", kTextFileCodePage);
}

void CloseTextFile(UFILE* file) {
  if (file != nullptr) u_fclose(file);
}

void WriteText(UFILE* file, const char16_t* text, int32_t length) {
  if (length < 0) length = UStrLen(text);
  if (length > 0) u_file_write(text, length, file);
}

FILE* OpenNarrowFile(const CUString& path, const char* mode) {
  return std::fopen(ToGbk(path).c_str(), mode);
}

bool ReadRawLine(FILE* file, std::string& line) {
  line.clear();
  int c;
  while ((c = std::getc(file)) != EOF) {
    line.push_back(static_cast<char>(c));
    if (c == '\n') break;
  }
  return !line.empty() || c != EOF;
}

bool ReadNarrowLine(FILE* file, CUString& line) {
  std::string bytes;
  if (!ReadRawLine(file, bytes)) return false;
  line = FromGbk(bytes);
  return true;
}

void WriteNarrowText(FILE* file, const CUString& text) {
  const std::string bytes = ToGbk(text);
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), file);
}

int ParseInt(const char* text) {
  if (text == nullptr) return 0;
  const char* p = text;
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = (*p++ == '-');
  long long value = 0;
  while (*p >= '0' && *p <= '9') {
    if (value < (1LL << 40)) value = value * 10 + (*p - '0');
    ++p;
  }
  if (negative) value = -value;
  return static_cast<int>(value);  // like atoi, out-of-range input is not defended
}

double ParseDouble(const char* text) {
  if (text == nullptr) return 0.0;
  static locale_t c_locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return strtod_l(text, nullptr, c_locale);
}

int ParseNarrowInt(const char16_t* text) {
  // Only ASCII digits, signs and white space matter to atoi, so a GBK
  // conversion cannot change the answer; work on the units directly.
  std::string ascii;
  for (const char16_t* p = text; p != nullptr && *p != 0; ++p) {
    ascii.push_back(*p < 0x80 ? static_cast<char>(*p) : '\x01');
  }
  return ParseInt(ascii.c_str());
}

CUString DecimalText(int value) {
  char buffer[16];
  const int n = std::snprintf(buffer, sizeof buffer, "%d", value);
  char16_t units[16];
  for (int i = 0; i < n; ++i) units[i] = static_cast<char16_t>(buffer[i]);
  return CUString(units, n);
}

}  // namespace verrin
