#include "text/json_escape.h"

#include <cstdio>

namespace verrin {

void AppendJsonEscaped(std::string& out, std::string_view utf8, JsonControlEscapes style) {
  const bool short_b_f = style == JsonControlEscapes::kShort;
  for (const char ch : utf8) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c >= 0x20 && c != '"' && c != '\\') {
      out.push_back(ch);
    } else if (c == '"' || c == '\\') {
      out.push_back('\\');
      out.push_back(ch);
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\b' && short_b_f) {
      out += "\\b";
    } else if (c == '\f' && short_b_f) {
      out += "\\f";
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    }
  }
}

}  // namespace verrin
