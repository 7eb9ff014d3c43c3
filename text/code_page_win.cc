// The Windows back end of the code-page converters: the system's code pages
// through MultiByteToWideChar and WideCharToMultiByte, so that Verrin.dll
// needs no ICU. The system's tables for code page 936 are those ICU calls
// "GBK" (windows-936), and UTF-16 is the system's own wide text.
#if defined(_WIN32)
#include <locale.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "text/code_page.h"

namespace verrin {
namespace {

// Converter numbers 0..4: the system default, ISO 8859-1, GBK, Big5, UTF-8.
const UINT kCodePages[CCodePageSet::kCount] = {CP_ACP, 28591, 936, 950, CP_UTF8};

bool CodePageOf(void* const* converters, int code_page, UINT* id) {
  if (code_page < 0 || code_page >= CCodePageSet::kCount || converters[code_page] == nullptr) {
    return false;
  }
  *id = kCodePages[code_page];
  return true;
}

}  // namespace

CCodePageSet::CCodePageSet() {
  // Windows converters hold no state; a non-null handle marks a code page
  // that the system has.
  for (int i = 0; i < kCount; ++i) {
    CPINFO info;
    const bool present = kCodePages[i] == CP_ACP || GetCPInfo(kCodePages[i], &info) != 0;
    converters_[i] = present ? reinterpret_cast<void*>(static_cast<uintptr_t>(i + 1)) : nullptr;
  }
}

CCodePageSet::~CCodePageSet() {
  for (void*& converter : converters_) converter = nullptr;
}

int32_t CCodePageSet::ToUnicode(int code_page, const char* text, int32_t length, char16_t* dest,
                                int32_t capacity) {
  if (capacity < 0) capacity = 0;
  dest[0] = 0;
  UINT id;
  if (!CodePageOf(converters_, code_page, &id)) return 0;
  if (length < 0) length = static_cast<int32_t>(std::strlen(text));
  if (length == 0 || capacity == 0) return 0;
  wchar_t* out = reinterpret_cast<wchar_t*>(dest);
  int n = MultiByteToWideChar(id, 0, text, length, out, capacity);
  if (n == 0 && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
    // Keep what fits, as the ICU back end does.
    const int needed = MultiByteToWideChar(id, 0, text, length, nullptr, 0);
    std::wstring all(static_cast<size_t>(needed), L'\0');
    MultiByteToWideChar(id, 0, text, length, all.data(), needed);
    n = capacity;
    for (int i = 0; i < n; ++i) out[i] = all[static_cast<size_t>(i)];
  }
  dest[n] = 0;
  return n;
}

std::string CCodePageSet::Encode(int code_page, const char16_t* text, int32_t length) {
  if (length < 0) length = UStrLen(text);
  if (length == 0) return std::string();
  UINT id;
  if (!CodePageOf(converters_, code_page, &id)) return {};
  const wchar_t* in = reinterpret_cast<const wchar_t*>(text);
  const int needed = WideCharToMultiByte(id, 0, in, length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return {};
  std::string out(static_cast<size_t>(needed), '\0');
  const int n = WideCharToMultiByte(id, 0, in, length, out.data(), needed, nullptr, nullptr);
  out.resize(static_cast<size_t>(n > 0 ? n : 0));
  return out;
}

int32_t CCodePageSet::FromUnicode(int code_page, const char16_t* text, int32_t length, char* dest,
                                  int32_t capacity) {
  if (capacity <= 0) return 0;
  dest[0] = 0;
  const std::string bytes = Encode(code_page, text, length);
  // Cut like the ICU back end: at most capacity - 1 bytes, then the 0.
  const int32_t n = std::min(static_cast<int32_t>(bytes.size()), capacity - 1);
  std::memcpy(dest, bytes.data(), static_cast<size_t>(n));
  dest[n] = 0;
  return n;
}

int UStrCaseCompare(const char16_t* a, const char16_t* b) {
  const int result = CompareStringOrdinal(reinterpret_cast<const wchar_t*>(a), -1,
                                          reinterpret_cast<const wchar_t*>(b), -1, TRUE);
  return result == CSTR_LESS_THAN ? -1 : result == CSTR_GREATER_THAN ? 1 : 0;
}

double ParseDouble(const char* text) {
  if (text == nullptr) return 0.0;
  return ParseDouble(text, nullptr);
}

double ParseDouble(const char* text, char** end) {
  static _locale_t c_locale = _create_locale(LC_NUMERIC, "C");
  return _strtod_l(text, end, c_locale);
}

}  // namespace verrin
#endif
