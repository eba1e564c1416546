#include "jsonl/json_text.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

namespace qnvtab {
namespace {

std::string jsonOf(std::string_view text) {
  std::string out(maxJsonStringSize(text.size()), '\0');
  out.resize(static_cast<size_t>(writeJsonString(out.data(), text) - out.data()));
  return out;
}

// Every byte value, alone and among others, is read back by a JSON parser
// as the code point of its value, from text that is plain ASCII.
TEST(JsonText, EveryByteReadsBackAsItsCodePoint) {
  std::string all;
  for (int byte = 0; byte < 256; ++byte) all.push_back(static_cast<char>(byte));
  for (const std::string& text : {all, std::string("\"\\\"x\\"), std::string(), all + all}) {
    const std::string json = jsonOf(text);
    EXPECT_LE(json.size(), maxJsonStringSize(text.size()));
    for (const char c : json) EXPECT_LT(static_cast<unsigned char>(c), 0x80);
    // The parser's UTF-8, each code point back to one byte.
    const std::string utf8 = nlohmann::json::parse(json).get<std::string>();
    std::string bytes;
    for (size_t at = 0; at < utf8.size();) {
      const auto lead = static_cast<unsigned char>(utf8[at]);
      if (lead < 0x80) {
        bytes.push_back(static_cast<char>(lead));
        at += 1;
      } else {
        ASSERT_EQ(lead & 0xE0, 0xC0);
        bytes.push_back(static_cast<char>(((lead & 0x1F) << 6) | (utf8[at + 1] & 0x3F)));
        at += 2;
      }
    }
    EXPECT_EQ(bytes, text);
  }
}

TEST(JsonText, PlainTextStaysAsItIs) {
  EXPECT_EQ(jsonOf("SABM 0A"), "\"SABM 0A\"");
  EXPECT_EQ(jsonOf("a\"b"), "\"a\\\"b\"");
  EXPECT_EQ(jsonOf("\x01\x7f\x80\xff"), "\"\\u0001\x7f\\u0080\\u00ff\"");
}

}  // namespace
}  // namespace qnvtab
