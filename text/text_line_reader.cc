#include "text/text_line_reader.h"

#if !defined(_WIN32)
#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "text/code_page.h"

namespace verrin {
namespace {

constexpr size_t kChunk = 1 << 16;

#if !defined(_WIN32)
// Counts the bytes a converter could not decode, then lets ICU substitute
// them as it does everywhere else; valid text never reaches the callback.
void CountingToUCallback(const void* context, UConverterToUnicodeArgs* args, const char* code_units,
                         int32_t length, UConverterCallbackReason reason, UErrorCode* status) {
  if (reason == UCNV_ILLEGAL || reason == UCNV_UNASSIGNED || reason == UCNV_IRREGULAR) {
    *static_cast<int32_t*>(const_cast<void*>(context)) += length;
  }
  UCNV_TO_U_CALLBACK_SUBSTITUTE(nullptr, args, code_units, length, reason, status);
}

UConverter* OpenConverter(CTextEncoding encoding) {
  UErrorCode status = U_ZERO_ERROR;
  UConverter* converter = ucnv_open(encoding == CTextEncoding::kGbk ? "GBK" : "UTF-8", &status);
  return U_SUCCESS(status) ? converter : nullptr;
}
#endif

bool LowerEquals(const std::string& text, const char* expected) {
  size_t i = 0;
  for (; i < text.size() && expected[i] != 0; ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != expected[i]) return false;
  }
  return i == text.size() && expected[i] == 0;
}

bool HasHighByte(const std::string& bytes) {
  for (unsigned char c : bytes) {
    if (c >= 0x80) return true;
  }
  return false;
}

CTextEncoding Other(CTextEncoding encoding) {
  return encoding == CTextEncoding::kGbk ? CTextEncoding::kUtf8 : CTextEncoding::kGbk;
}

}  // namespace

bool ParseTextEncoding(const std::string& name, CTextEncoding* encoding) {
  if (LowerEquals(name, "utf-8") || LowerEquals(name, "utf8")) {
    *encoding = CTextEncoding::kUtf8;
    return true;
  }
  if (LowerEquals(name, "gbk")) {
    *encoding = CTextEncoding::kGbk;
    return true;
  }
  return false;
}

const char* TextEncodingName(CTextEncoding encoding) {
  return encoding == CTextEncoding::kGbk ? "GBK" : "UTF-8";
}

CTextLineReader::CTextLineReader(std::FILE* file, CTextEncoding encoding)
    : file_(file), encoding_(encoding), buffer_(kChunk) {
#if !defined(_WIN32)
  converter_ = OpenConverter(encoding);
  other_converter_ = OpenConverter(Other(encoding));
#endif
}

CTextLineReader::~CTextLineReader() {
#if !defined(_WIN32)
  if (converter_ != nullptr) ucnv_close(converter_);
  if (other_converter_ != nullptr) ucnv_close(other_converter_);
#endif
}

bool CTextLineReader::Fill() {
  if (eof_ || read_failed_) return false;
  begin_ = 0;
  end_ = 0;
  // read(2), not fread: from a pipe, a line must be handed on as soon as it
  // arrives, not once 64 KiB have come together.
#if defined(_WIN32)
  const int fd = -1;
#else
  const int fd = fileno(file_);
#endif
  if (fd < 0) {  // a stream without a descriptor (fmemopen)
    end_ = std::fread(buffer_.data(), 1, buffer_.size(), file_);
    if (end_ > 0) return true;
    if (std::ferror(file_) != 0) {
      read_failed_ = true;
      errno_ = errno != 0 ? errno : EIO;
    }
    eof_ = true;
    return false;
  }
#if !defined(_WIN32)
  for (;;) {
    const ssize_t got = ::read(fd, buffer_.data(), buffer_.size());
    if (got > 0) {
      end_ = static_cast<size_t>(got);
      return true;
    }
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      read_failed_ = true;
      errno_ = errno;
    }
    eof_ = true;
    return false;
  }
#endif
}

bool CTextLineReader::ReadBytes(std::string& bytes, size_t max_bytes, bool& line_end) {
  bytes.swap(carry_);
  carry_.clear();
  line_end = false;
  if (!in_line_) {
    invalid_bytes_ = 0;
    nul_bytes_ = 0;
    high_bytes_ = false;
    other_invalid_ = false;
    bom_in_gbk_ = false;
  }
  bool any = !bytes.empty();
  while (bytes.size() < max_bytes) {
    if (begin_ == end_ && !Fill()) {
      line_end = true;  // the last line may lack its end
      break;
    }
    if (skip_lf_) {
      skip_lf_ = false;
      if (buffer_[begin_] == '\n') {
        ++begin_;
        ++consumed_;
        continue;
      }
    }
    any = true;
    const char* from = buffer_.data() + begin_;
    const size_t n = std::min(end_ - begin_, max_bytes - bytes.size());
    size_t i = 0;
    while (i < n && from[i] != '\n' && from[i] != '\r') ++i;
    bytes.append(from, i);
    begin_ += i;
    consumed_ += static_cast<int64_t>(i);
    if (i < n) {
      skip_lf_ = from[i] == '\r';  // a CR LF pair is one line end
      ++begin_;
      ++consumed_;
      line_end = true;
      break;
    }
  }
  if (!any && !in_line_) return false;
  if (at_start_ && (bytes.size() >= 3 || line_end)) {
    at_start_ = false;
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
      bytes.erase(0, 3);
      bom_in_gbk_ = encoding_ == CTextEncoding::kGbk;
    }
  }
  if (!line_end) {
    // Keep a character cut by the size limit for the next piece.
    const size_t complete = CompleteLength(bytes);
    if (complete > 0) {
      carry_.assign(bytes, complete, std::string::npos);
      bytes.resize(complete);
    }
  }
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == 0) {
      bytes[i] = ' ';
      ++nul_bytes_;
    }
  }
  if (!in_line_) ++line_number_;
  in_line_ = !line_end;
  return true;
}

size_t CTextLineReader::CompleteLength(const std::string& bytes) const {
  const size_t size = bytes.size();
  if (encoding_ == CTextEncoding::kUtf8) {
    // Step back over continuation bytes to the lead byte of the last
    // character; keep it back when its sequence is not complete yet.
    size_t k = size;
    for (int back = 0;
         back < 3 && k > 0 && (static_cast<unsigned char>(bytes[k - 1]) & 0xC0) == 0x80; ++back) {
      --k;
    }
    if (k == 0) return size;
    const unsigned char lead = static_cast<unsigned char>(bytes[k - 1]);
    const size_t needed = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    return k - 1 + needed > size ? k - 1 : size;
  }
  // GBK: a byte from 0x81 on leads a pair.
  size_t i = 0;
  while (i < size) i += static_cast<unsigned char>(bytes[i]) >= 0x81 ? 2 : 1;
  return i > size ? size - 1 : size;
}

int32_t CTextLineReader::Decode(const std::string& bytes, CUString& line, CTextEncoding encoding) {
  line.Clear();
  if (bytes.empty()) return 0;
#if defined(_WIN32)
  // The system's converters do not say what they replaced: count the
  // replacement characters that the bytes did not spell out themselves.
  const int code_page = encoding == CTextEncoding::kGbk ? CCodePageSet::kGbk : CCodePageSet::kUtf8;
  line = CCodePageSet::Get().Decode(code_page, bytes.data(), bytes.size());
  int32_t invalid = 0;
  for (int32_t i = 0; i < line.Length(); ++i) invalid += line[i] == u'\uFFFD' ? 1 : 0;
  if (encoding == CTextEncoding::kUtf8) {
    for (size_t at = bytes.find("\xEF\xBF\xBD"); at != std::string::npos;
         at = bytes.find("\xEF\xBF\xBD", at + 3)) {
      --invalid;
    }
  }
  return invalid;
#else
  UConverter* converter = encoding == encoding_ ? converter_ : other_converter_;
  int32_t invalid = 0;
  if (converter == nullptr) {
    // Without a converter (ICU data missing) only ASCII can be trusted.
    for (unsigned char c : bytes) {
      const char16_t unit = c < 0x80 ? c : u'\uFFFD';
      invalid += c < 0x80 ? 0 : 1;
      line.Append(&unit, 1);
    }
    return invalid;
  }
  UErrorCode status = U_ZERO_ERROR;
  ucnv_reset(converter);
  ucnv_setToUCallBack(converter, CountingToUCallback, &invalid, nullptr, nullptr, &status);
  // UTF-8 and GBK never need more units than bytes.
  CUString out(static_cast<int32_t>(bytes.size()));
  status = U_ZERO_ERROR;
  const int32_t units =
      ucnv_toUChars(converter, out.MutableBuffer(), static_cast<int32_t>(bytes.size()) + 1,
                    bytes.data(), static_cast<int32_t>(bytes.size()), &status);
  if (U_FAILURE(status) && status != U_STRING_NOT_TERMINATED_WARNING) {
    status = U_ZERO_ERROR;
    ucnv_setToUCallBack(converter, UCNV_TO_U_CALLBACK_SUBSTITUTE, nullptr, nullptr, nullptr,
                        &status);
    return static_cast<int32_t>(bytes.size());
  }
  line.Assign(CUString(out.c_str(), units));
  status = U_ZERO_ERROR;
  ucnv_setToUCallBack(converter, UCNV_TO_U_CALLBACK_SUBSTITUTE, nullptr, nullptr, nullptr, &status);
  return invalid;
#endif
}

void CTextLineReader::DecodePiece(const std::string& bytes, CUString& piece) {
  invalid_bytes_ += Decode(bytes, piece, encoding_);
  if (HasHighByte(bytes)) {
    high_bytes_ = true;
    if (!other_invalid_) other_invalid_ = Decode(bytes, other_, Other(encoding_)) != 0;
  }
}

bool CTextLineReader::Next(CUString& line) {
  bool line_end = false;
  if (!ReadBytes(bytes_, static_cast<size_t>(-1), line_end)) {
    line.Clear();
    return false;
  }
  DecodePiece(bytes_, line);
  return true;
}

bool CTextLineReader::NextPiece(CUString& piece, bool& line_end, size_t max_bytes) {
  if (!ReadBytes(bytes_, max_bytes < 8 ? 8 : max_bytes, line_end)) {
    piece.Clear();
    return false;
  }
  DecodePiece(bytes_, piece);
  return true;
}

bool CTextLineReader::NextRaw(std::string& bytes) {
  bool line_end = false;
  return ReadBytes(bytes, static_cast<size_t>(-1), line_end);
}

std::string CTextLineReader::Problem() const {
  std::string problem;
  auto add = [&problem](const std::string& part) {
    if (!problem.empty()) problem += "; ";
    problem += part;
  };
  const bool gbk = encoding_ == CTextEncoding::kGbk;
  if (invalid_bytes_ > 0) {
    std::string part = std::to_string(invalid_bytes_) +
                       (invalid_bytes_ == 1 ? " byte is" : " bytes are") + " not valid " +
                       TextEncodingName(encoding_) + " and became U+FFFD";
    if (high_bytes_ && !other_invalid_)
      part += gbk ? " (use --encoding utf-8)" : " (use --encoding gbk)";
    add(part);
  } else if (gbk && high_bytes_ && !other_invalid_) {
    add("the line reads as UTF-8 too (if the file is UTF-8, use --encoding utf-8)");
  }
  if (nul_bytes_ > 0) {
    add(std::to_string(nul_bytes_) + (nul_bytes_ == 1 ? " NUL byte was" : " NUL bytes were") +
        " read as a space");
  }
  if (bom_in_gbk_) add("a UTF-8 byte-order mark was skipped (use --encoding utf-8)");
  return problem;
}

}  // namespace verrin
