#include "platform/file_name.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "tests/support/file_name_cases.h"

namespace {

// The names in a folder, exactly as the file system holds them.
std::set<std::string> Entries(const std::string& folder) {
  std::set<std::string> names;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (const dirent* e = ::readdir(dir)) {
      const std::string name = e->d_name;
      if (name != "." && name != "..") names.insert(name);
    }
    ::closedir(dir);
  }
  return names;
}

TEST(FileName, MessagesShowNamesAsWindows1251) {
  for (const auto& c : test_support::FileNameCases()) {
    SCOPED_TRACE(c.kind);
    EXPECT_EQ(platform::FileNameText(c.name), c.text);
  }
}

TEST(FileName, NumberGoesBeforeTheExtension) {
  struct Case {
    const char* name;
    int k;
    const char* numbered;
  };
  const Case cases[] = {
      {"09122026.log", 2, "09122026-2.log"},
      {"/data/run.pdf", 3, "/data/run-3.pdf"},
      {"/a.d/report", 2, "/a.d/report-2"},
      {"/data/.hidden", 2, "/data/.hidden-2"},
      {"noext", 10, "noext-10"},
      {"bad\xFF.log", 2, "bad\xFF-2.log"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(platform::NumberedName(c.name, c.k), c.numbered);
  }
}

TEST(FileName, NewFilesAreNumberedAndNothingIsOverwritten) {
  const std::string folder = ::testing::TempDir() + "/file_name_" + std::to_string(::getpid());
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  for (const auto& c : test_support::FileNameCases()) {
    SCOPED_TRACE(c.kind);
    const std::string path = folder + "/" + c.name;
    std::set<std::string> expected = Entries(folder);
    for (int k = 1; k <= 3; ++k) {
      const platform::NewFile file = platform::CreateNewFile(path);
      ASSERT_GE(file.fd, 0) << file.error;
      EXPECT_EQ(file.name, k == 1 ? path : platform::NumberedName(path, k));
      ASSERT_EQ(::write(file.fd, "x", 1), 1);
      ::close(file.fd);
      expected.insert(file.name.substr(folder.size() + 1));
    }
    EXPECT_EQ(Entries(folder), expected) << "each name byte for byte, no other";
  }
  std::ifstream first(folder + "/" + test_support::FileNameCases()[0].name);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(first), {}), "x");

  const platform::NewFile missing = platform::CreateNewFile(folder + "/no/such/folder.pdf");
  EXPECT_EQ(missing.fd, -1);
  EXPECT_EQ(missing.error, ENOENT);
  std::filesystem::remove_all(folder);
}

}  // namespace
