#include "platform/file_map.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "temp_dir.h"

namespace {

using platform::FileMap;
using platform::FileReadMode;

TEST(FileMap, MapAndReadGiveTheSameBytesAndTheSameFailures) {
  logtest::TempDir dir;
  std::string content(70000, '\0');
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 31);
  std::ofstream(dir.File("data.log"), std::ios::binary) << content;
  std::ofstream(dir.File("empty.log"), std::ios::binary).flush();

  for (const FileReadMode mode : {FileReadMode::map, FileReadMode::read}) {
    SCOPED_TRACE(mode == FileReadMode::map ? "map" : "read");
    FileMap file;
    ASSERT_EQ(file.Open(dir.File("data.log"), mode), FileMap::Status::ok);
    ASSERT_EQ(file.size(), content.size());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(file.data()), file.size()), content);
    EXPECT_EQ(file.Open(dir.File("missing.log"), mode), FileMap::Status::openFailed);
    EXPECT_EQ(file.size(), 0u);
    EXPECT_EQ(file.Open(dir.File("empty.log"), mode), FileMap::Status::readFailed);
    EXPECT_EQ(file.Open(dir.path().string(), mode), FileMap::Status::readFailed);
  }
}

}  // namespace
