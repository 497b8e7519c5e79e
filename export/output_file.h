#pragma once
// Where an export writes: a folder of its own beside the named output, whose file replaces the
// output only when the export has succeeded. Until then the old output, if any, stays as it
// was; whatever happens, the folder goes, and nothing the export did not create is removed.

#include <optional>
#include <string>

namespace gsmexport {

class OutputFile {
 public:
  // Checks the output name (a regular file or nothing; never the log itself; an existing file
  // only with overwrite) and makes the working folder. On refusal, error is set (Russian,
  // Windows-1251) and there is no OutputFile.
  static std::optional<OutputFile> Prepare(const std::string& outName, const std::string& logName, bool overwrite,
                                           std::string& error);

  OutputFile(OutputFile&& other) noexcept;
  OutputFile& operator=(OutputFile&&) = delete;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile();

  const std::string& Folder() const { return folder_; }
  // A file in the working folder, "cycles.EXT" for extension "EXT".
  std::string Work(const std::string& extension) const;

  // Makes the finished work file (flushed to the disk) the output; false with error set when
  // it cannot, the old output then being untouched.
  bool Commit(const std::string& workFile, std::string& error);

 private:
  OutputFile(std::string outName, std::string folder, bool overwrite)
      : outName_(std::move(outName)), folder_(std::move(folder)), overwrite_(overwrite) {}
  std::string outName_;
  std::string folder_;
  bool overwrite_;
};

// The messages of the export's writing side.
std::string CannotCreateMessage(const std::string& outName);
std::string CannotWriteMessage(const std::string& outName);

}  // namespace gsmexport
