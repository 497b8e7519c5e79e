#include "platform/text_encoding.h"

namespace platform {

std::string Cp1251ToUtf8(std::string_view cp1251) {
  std::string out;
  out.reserve(cp1251.size() * 2);
  for (const char c : cp1251) {
    const char32_t cp = Cp1251ToCodePoint(static_cast<unsigned char>(c));
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

std::string Cp1251ToPrintable(std::string_view cp1251) {
  std::string clean(cp1251);
  for (char& c : clean) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte < 0x20 && byte != '\n') || byte == 0x7F || byte == 0x98) c = '?';
  }
  return Cp1251ToUtf8(clean);
}

std::string Utf8ToCp1251(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t pos = 0; pos < utf8.size();) {
    const int b = CodePointToCp1251(DecodeUtf8(utf8, pos));
    out += b < 0 ? '?' : static_cast<char>(static_cast<unsigned char>(b));
  }
  return out;
}

}  // namespace platform
