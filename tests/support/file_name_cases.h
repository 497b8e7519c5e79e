#pragma once
// File names in every script a user may give, and one that is no UTF-8 at all: each must reach
// the disk byte for byte, and messages show it as Windows-1251 text with '?' for what the code
// page lacks.

#include <string>
#include <vector>

#include "platform/text_encoding.h"

namespace test_support {

struct FileNameCase {
  const char* kind;
  std::string name;  // the bytes on the disk
  std::string text;  // how a message shows it (Windows-1251)
};

inline std::vector<FileNameCase> FileNameCases() {
  using namespace platform::literals;
  return {
      {"Latin", "café run.log", "caf? run.log"},
      {"Cyrillic", "протокол 9.log", std::string("протокол 9.log"_cp1251)},
      {"CJK", "測定記録.log", "????.log"},
      {"not UTF-8", "bad\xFF\xC3z.log", "bad??z.log"},
  };
}

}  // namespace test_support
