#include "text/code_page.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "text/file_system.h"
#include "text/output_file.h"

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

CCodePageSet& CCodePageSet::Get() {
  ThreadSlot& slot = Slot();
  if (slot.set == nullptr) slot.set = new CCodePageSet();
  return *slot.set;
}

void CCodePageSet::Release() { Slot().Reset(); }

bool CCodePageSet::Exists() { return Slot().set != nullptr; }

CUString CCodePageSet::Decode(int code_page, const char* bytes, size_t length) {
  if (length == 0) return CUString(int32_t{0});
  // No supported code page yields more UTF-16 units than input bytes.
  std::vector<char16_t> buffer(length + 1);
  const int32_t n = ToUnicode(code_page, bytes, static_cast<int32_t>(length), buffer.data(),
                              static_cast<int32_t>(length));
  return CUString(buffer.data(), n);
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

bool IsValidUtf8(const char* bytes, size_t length) {
  size_t i = 0;
  while (i < length) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    size_t extra;
    char32_t cp, min;
    if (c >= 0xC2 && c <= 0xDF) {
      extra = 1, cp = c & 0x1F, min = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
      extra = 2, cp = c & 0x0F, min = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
      extra = 3, cp = c & 0x07, min = 0x10000;
    } else {
      return false;  // continuation byte, C0/C1 overlong lead, or F5..FF
    }
    if (length - i <= extra) return false;
    for (size_t k = 1; k <= extra; ++k) {
      const unsigned char t = static_cast<unsigned char>(bytes[i + k]);
      if ((t & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (t & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += extra + 1;
  }
  return true;
}

class CTextFile {
 public:
  bool Open(const std::string& narrow_path, bool append) {
    return output_.Open(narrow_path, append);
  }

  void Write(const char16_t* text, int32_t length) {
    pending_.append(text, static_cast<size_t>(length));
    if (pending_.size() >= kFlushUnits) Flush(false);
  }

  bool Close(std::string* error) {
    Flush(true);
    const bool ok = output_.Commit();
    if (!ok && error != nullptr) *error = output_.Error();
    return ok;
  }

  void Discard() { output_.Abandon(); }

 private:
  static constexpr size_t kFlushUnits = 1 << 15;

  // Converts and writes the pending text; a high surrogate at its end waits
  // for its partner unless this is the last flush.
  void Flush(bool last) {
    size_t n = pending_.size();
    if (!last && n > 0 && pending_[n - 1] >= 0xD800 && pending_[n - 1] <= 0xDBFF) --n;
    if (n == 0) return;
    output_.Write(ToGbk(pending_.data(), static_cast<int32_t>(n)));
    pending_.erase(0, n);
  }

  // Written under a temporary name: a file cut short never stands where a
  // complete one is expected.
  COutputFile output_;
  std::u16string pending_;
};

namespace {

CTextFile* OpenText(const std::string& narrow_path, const char* mode) {
  CTextFile* file = new CTextFile;
  if (file->Open(narrow_path, mode[0] == 'a')) return file;
  delete file;
  return nullptr;
}

}  // namespace

CTextFile* OpenTextFile(const char* narrow_path, const char* mode) {
  return OpenText(narrow_path != nullptr ? narrow_path : "", mode);
}

bool CloseTextFile(CTextFile* file, std::string* error) {
  if (file == nullptr) {
    if (error != nullptr && error->empty()) *error = "no file to write";
    return false;
  }
  const bool ok = file->Close(error);
  delete file;
  return ok;
}

void DiscardTextFile(CTextFile* file) {
  if (file != nullptr) file->Discard();
  delete file;
}

void WriteText(CTextFile* file, const char16_t* text, int32_t length) {
  if (length < 0) length = UStrLen(text);
  if (length > 0) file->Write(text, length);
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
