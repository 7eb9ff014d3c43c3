#include "text/json_escape.h"

#include <gtest/gtest.h>

#include <string>

#if __has_include(<nlohmann/json.hpp>)
#include <nlohmann/json.hpp>
#define VERRIN_TEST_HAS_NLOHMANN 1
#endif

namespace verrin {
namespace {

std::string Escaped(const std::string& utf8, JsonControlEscapes style) {
  std::string out;
  AppendJsonEscaped(out, utf8, style);
  return out;
}

// The bytes of both styles are part of the output formats: the service's
// answers and the tag command's JSON lines.
TEST(JsonEscapeTest, BothStylesByteForByte) {
  const std::string text = "a\b\f\n\r\t\x01\x1f\"\\/\x7f中";
  EXPECT_EQ(Escaped(text, JsonControlEscapes::kShort),
            "a\\b\\f\\n\\r\\t\\u0001\\u001f\\\"\\\\/\x7f中");
  EXPECT_EQ(Escaped(text, JsonControlEscapes::kUnicode),
            "a\\u0008\\u000c\\n\\r\\t\\u0001\\u001f\\\"\\\\/\x7f中");
}

#ifdef VERRIN_TEST_HAS_NLOHMANN
TEST(JsonEscapeTest, ShortStyleWritesAsNlohmannJson) {
  for (int c = 0; c < 0x80; ++c) {
    const std::string one(1, static_cast<char>(c));
    EXPECT_EQ("\"" + Escaped(one, JsonControlEscapes::kShort) + "\"", nlohmann::json(one).dump())
        << "byte " << c;
  }
  const std::string mixed = "王\t\"五\"\u00e9\U0001F600";
  EXPECT_EQ("\"" + Escaped(mixed, JsonControlEscapes::kShort) + "\"", nlohmann::json(mixed).dump());
}
#endif

}  // namespace
}  // namespace verrin
