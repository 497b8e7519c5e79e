#pragma once
// Windows-1251, the code page of every text the modem, the log file and the report carry.
// Value texts stay Windows-1251 bytes in std::string; they are converted only where they meet
// Qt or a UTF-8 terminal. Russian literals are written as readable UTF-8 in the source and
// turned into Windows-1251 bytes at compile time: "Россия"_cp1251.

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

namespace detail {
// Code points of the bytes 0x80..0xBF; 0xC0..0xFF are U+0410..U+044F in order.
// 0x98 has no character in the code page and maps to U+0098, so every byte round-trips.
inline constexpr std::array<char16_t, 64> kCp1251High = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  // B8
};
}  // namespace detail

// The Unicode code point of one Windows-1251 byte.
constexpr char32_t Cp1251ToCodePoint(unsigned char byte) {
  if (byte < 0x80) return byte;
  if (byte >= 0xC0) return char32_t{0x0410} + (byte - 0xC0u);
  return detail::kCp1251High[byte - 0x80u];
}

// The Windows-1251 byte of a code point, or -1 when the code page has none.
constexpr int CodePointToCp1251(char32_t cp) {
  if (cp < 0x80) return static_cast<int>(cp);
  if (cp >= 0x0410 && cp <= 0x044F) return static_cast<int>(0xC0 + (cp - 0x0410));
  for (std::size_t i = 0; i < detail::kCp1251High.size(); ++i) {
    if (detail::kCp1251High[i] == cp) return static_cast<int>(0x80 + i);
  }
  return -1;
}

// Decodes one UTF-8 sequence starting at text[pos]; advances pos. Malformed input yields U+FFFD
// and advances by one byte, so any byte string can be walked without reading past its end.
constexpr char32_t DecodeUtf8(std::string_view text, std::size_t& pos) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  int extra = 0;
  char32_t cp = 0;
  if (lead < 0x80) {
    ++pos;
    return lead;
  } else if ((lead & 0xE0) == 0xC0) {
    extra = 1;
    cp = lead & 0x1Fu;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2;
    cp = lead & 0x0Fu;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3;
    cp = lead & 0x07u;
  } else {
    ++pos;
    return 0xFFFD;
  }
  if (pos + static_cast<std::size_t>(extra) >= text.size()) {
    ++pos;
    return 0xFFFD;
  }
  for (int k = 1; k <= extra; ++k) {
    const auto next = static_cast<unsigned char>(text[pos + static_cast<std::size_t>(k)]);
    if ((next & 0xC0) != 0x80) {
      ++pos;
      return 0xFFFD;
    }
    cp = (cp << 6) | (next & 0x3Fu);
  }
  pos += static_cast<std::size_t>(extra) + 1;
  return cp;
}

// Windows-1251 bytes to UTF-8.
std::string Cp1251ToUtf8(std::string_view cp1251);

// Windows-1251 bytes to UTF-8 for a terminal or a text file: every control character (C0 but
// LF, and DEL) becomes '?', and so does 0x98, which the code page leaves empty and which would
// otherwise turn into a C1 control. Nothing from a modem or a log file can then drive the
// terminal.
std::string Cp1251ToPrintable(std::string_view cp1251);

// UTF-8 to Windows-1251 bytes; a character the code page lacks becomes '?'.
std::string Utf8ToCp1251(std::string_view utf8);

// A string literal fixed at compile time, for the _cp1251 literal operator.
template <std::size_t N>
struct FixedUtf8 {
  char chars[N]{};
  consteval FixedUtf8(const char (&text)[N]) {
    for (std::size_t i = 0; i < N; ++i) chars[i] = text[i];
  }
  constexpr std::string_view view() const { return {chars, N - 1}; }
};

namespace detail {
template <FixedUtf8 Text>
consteval std::size_t Cp1251Length() {
  std::size_t count = 0;
  for (std::size_t pos = 0; pos < Text.view().size(); ++count) DecodeUtf8(Text.view(), pos);
  return count;
}

template <FixedUtf8 Text>
struct Cp1251Literal {
  static constexpr std::array<char, Cp1251Length<Text>() + 1> bytes = [] {
    std::array<char, Cp1251Length<Text>() + 1> out{};
    std::size_t pos = 0;
    for (std::size_t i = 0; pos < Text.view().size(); ++i) {
      const int b = CodePointToCp1251(DecodeUtf8(Text.view(), pos));
      if (b < 0) throw "character not in Windows-1251";  // a compile error, never run
      out[i] = static_cast<char>(static_cast<unsigned char>(b));
    }
    return out;
  }();
};
}  // namespace detail

inline namespace literals {
// "Россия"_cp1251 is the six Windows-1251 bytes of the word, as a string_view over static storage.
template <FixedUtf8 Text>
constexpr std::string_view operator""_cp1251() {
  constexpr const auto& bytes = detail::Cp1251Literal<Text>::bytes;
  return {bytes.data(), bytes.size() - 1};
}
}  // namespace literals

}  // namespace platform
