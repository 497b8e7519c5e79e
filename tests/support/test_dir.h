#pragma once
// A folder of a test's own, removed at its end when the test passed (kept to look at otherwise).
// Declare it before the processes that use it, so that they have ended when it goes.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace testsupport {

class TestDir {
 public:
  // Under the test's temporary folder: "<prefix>-<pid>-<name>".
  TestDir(const std::string& prefix, const std::string& name)
      : path_(std::filesystem::path(::testing::TempDir()) / (prefix + "-" + std::to_string(::getpid()) + "-" + name)) {
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TestDir() {
    std::error_code error;
    if (!::testing::Test::HasFailure()) std::filesystem::remove_all(path_, error);
  }
  TestDir(const TestDir&) = delete;
  TestDir& operator=(const TestDir&) = delete;
  operator const std::filesystem::path&() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace testsupport
