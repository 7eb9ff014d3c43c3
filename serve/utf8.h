// UTF-8 checks and conversions for the service. They keep no state, so any
// number of request threads may use them at once (the code-page converters of
// text/ are process-wide and are not shared between threads).
#ifndef VERRIN_SERVE_UTF8_H_
#define VERRIN_SERVE_UTF8_H_

#include <cstddef>
#include <string>

namespace verrin::serve {

// True when `bytes` is well-formed UTF-8: shortest forms only, no surrogate
// code points, nothing above U+10FFFF.
bool IsValidUtf8(const std::string& bytes);

// Well-formed UTF-8 (see IsValidUtf8) -> UTF-16.
std::u16string Utf8ToUtf16(const std::string& bytes);

// UTF-16 -> UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(const char16_t* text, size_t length);

}  // namespace verrin::serve

#endif  // VERRIN_SERVE_UTF8_H_
