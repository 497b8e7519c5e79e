#include "platform/text_encoding.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <string>

using namespace platform::literals;

TEST(TextEncoding, RussianLiteralsBecomeWindows1251Bytes) {
  EXPECT_EQ("Россия"_cp1251, "\xD0\xEE\xF1\xF1\xE8\xFF");
  EXPECT_EQ("МТС"_cp1251, "\xCC\xD2\xD1");
  EXPECT_EQ("Мегафон"_cp1251, "\xCC\xE5\xE3\xE0\xF4\xEE\xED");
  EXPECT_EQ("Билайн"_cp1251, "\xC1\xE8\xEB\xE0\xE9\xED");
  EXPECT_EQ("Соединено"_cp1251, "\xD1\xEE\xE5\xE4\xE8\xED\xE5\xED\xEE");
  EXPECT_EQ("Ёё №1 (n/a)"_cp1251,
            "\xA8\xB8 \xB9"
            "1 (n/a)");
  EXPECT_EQ(""_cp1251, "");
}

// The table must agree with the system's own converter for every byte the code page defines.
TEST(TextEncoding, EveryHighByteMatchesIconv) {
  iconv_t cd = iconv_open("UTF-8", "CP1251");
  ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
  for (int b = 0x80; b <= 0xFF; ++b) {
    if (b == 0x98) continue;  // undefined in the code page
    char in[1] = {static_cast<char>(b)};
    char out[8] = {};
    char* inPtr = in;
    char* outPtr = out;
    std::size_t inLeft = 1, outLeft = sizeof out;
    ASSERT_NE(iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft), static_cast<std::size_t>(-1)) << b;
    const std::string expected(out, sizeof out - outLeft);
    SCOPED_TRACE(b);
    EXPECT_EQ(platform::Cp1251ToUtf8(std::string(1, static_cast<char>(b))), expected);
    EXPECT_EQ(platform::Utf8ToCp1251(expected), std::string(1, static_cast<char>(b)));
  }
  iconv_close(cd);
}

TEST(TextEncoding, EveryByteRoundTripsAndMalformedUtf8IsReplaced) {
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(platform::Utf8ToCp1251(platform::Cp1251ToUtf8(all)), all);

  // Truncated and stray sequences never read past the end and become '?'.
  EXPECT_EQ(platform::Utf8ToCp1251("\xD0"), "?");
  EXPECT_EQ(platform::Utf8ToCp1251("a\xE2\x82"), "a??");
  EXPECT_EQ(platform::Utf8ToCp1251("\x80z"), "?z");
  EXPECT_EQ(platform::Utf8ToCp1251("\xE4\xB8\xAD"), "?");  // a character the code page lacks
}

// What reaches a terminal from a modem or a log: no C0 control but LF, no DEL, no C1 control
// (U+0080..U+009F, which only 0x98 would give), and every other byte as it converts.
TEST(TextEncoding, PrintableTextCarriesNoControlCharacters) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  const std::string printable = platform::Cp1251ToPrintable(all);
  for (std::size_t pos = 0; pos < printable.size();) {
    const char32_t cp = platform::DecodeUtf8(printable, pos);
    SCOPED_TRACE(static_cast<unsigned>(cp));
    EXPECT_TRUE(cp == '\n' || (cp >= 0x20 && cp != 0x7F && (cp < 0x80 || cp > 0x9F)));
  }
  struct Case {
    std::string in;
    std::string out;
  };
  const Case cases[] = {
      {"\x1B[2J", "?[2J"},
      {"\x1B]0;title\x07", "?]0;title?"},
      {"a\tb\rc\nd", "a?b?c\nd"},
      {"x\x98y\x7Fz", "x?y?z"},
      {"\xD0\xEE\xF1\xF1\xE8\xFF \x9B", "Россия ›"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.out);
    EXPECT_EQ(platform::Cp1251ToPrintable(c.in), c.out);
  }
}
