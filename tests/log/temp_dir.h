#pragma once
// A fresh folder per test, removed afterwards.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace logtest {

class TempDir {
 public:
  TempDir() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    path_ = std::filesystem::temp_directory_path() /
            ("gsmlog_" + std::to_string(::getpid()) + "_" + info->test_suite_name() + "_" + info->name());
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  std::string File(const std::string& name) const { return (path_ / name).string(); }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace logtest
