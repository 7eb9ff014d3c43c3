// UTF-8 text as the inside of a JSON string.
#ifndef VERRIN_TEXT_JSON_ESCAPE_H_
#define VERRIN_TEXT_JSON_ESCAPE_H_

#include <string>
#include <string_view>

namespace verrin {

// How the control characters U+0008 and U+000C are written. Both styles
// write '"', '\\', LF, CR and TAB as \" \\ \n \r \t and every other byte
// below 0x20 as \u00xx (lower-case hex).
enum class JsonControlEscapes {
  kShort,    // \b and \f, as nlohmann::json writes them (the service's answers)
  kUnicode,  // \u0008 and \u000c (the tag command's JSON lines)
};

// Appends `utf8` escaped, without quotes. Each byte is escaped alone, so the
// pieces of a text escaped one by one give the escaped whole; bytes from
// 0x20 up, those of multi-byte characters included, are copied as they are.
void AppendJsonEscaped(std::string& out, std::string_view utf8, JsonControlEscapes style);

}  // namespace verrin

#endif  // VERRIN_TEXT_JSON_ESCAPE_H_
