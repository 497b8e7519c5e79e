#pragma once
// A 100 MB measurement log for the benchmarks, written once per process with the log writer in a
// fresh temporary folder and removed at exit.

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>

#include "log/log_writer.h"

namespace benchlog {

constexpr std::size_t kTargetBytes = 100u * 1024 * 1024;

class LargeLog {
 public:
  LargeLog() {
    dir_ = std::filesystem::temp_directory_path() / ("gsmlog_bench_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
    path_ = (dir_ / "large.log").string();
    gsmlog::TLogWriter writer;
    const auto log = [&writer](int code, int cell, std::string text) {
      writer.Field(code, cell, parser::TextValue(std::move(text)));
    };
    const auto created = writer.Create(path_);
    if (!created.ok) std::abort();
    path_ = created.nameUsed;
    // One poll cycle: the serving cell's values and six neighbours, sealed now and then.
    for (long cycle = 0; std::filesystem::file_size(path_) < kTargetBytes; ++cycle) {
      for (int i = 0; i < 200; ++i) {
        const std::string level = "-" + std::to_string(60 + (cycle + i) % 40);
        log(257, 0, "250");
        log(258, 0, "01");
        log(259, 0, "1234");
        log(386, 0, "28461");
        log(385, 0, "7.3");
        for (int cell = 0; cell < 7; ++cell) {
          log(388, cell, std::to_string(500 + cell + i));
          log(265, cell, "1800");
          log(387, cell, level);
          log(385, cell, "3.5");
          log(386, cell, "12345");
        }
        log(390, 0, "0,57");
        log(391, 0, "1,5");
      }
      writer.Seal();
    }
    writer.Complete();
    size_ = std::filesystem::file_size(path_);
  }
  ~LargeLog() { std::filesystem::remove_all(dir_); }
  const std::string& path() const { return path_; }
  std::size_t size() const { return size_; }

 private:
  std::filesystem::path dir_;
  std::string path_;
  std::size_t size_ = 0;
};

inline const LargeLog& TheLog() {
  static const LargeLog log;
  return log;
}

}  // namespace benchlog
