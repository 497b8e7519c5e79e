#include "export/checked_files.h"

#include <cpl_string.h>
#include <cpl_vsi.h>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <mutex>
#include <vector>

namespace gsmexport {
namespace {

constexpr char kPrefix[] = "/vsiostrin_checked/";

// The module's process-wide state (docs/threads.md): the real files whose writes failed.
struct Failures {
  std::mutex mutex;
  std::vector<std::string> paths;
};

Failures& FailedFiles() {
  static Failures* const failures = new Failures;  // never destroyed, like the handler using it
  return *failures;
}

void MarkFailed(const std::string& path) {
  Failures& failures = FailedFiles();
  const std::lock_guard lock(failures.mutex);
  failures.paths.push_back(path);
}

// GDAL hands the callbacks the name without the prefix: the real file's name.
std::string RealPath(const char* name) { return name; }

struct Handle {
  std::FILE* file = nullptr;
  std::string path;
  bool failed = false;
  void Fail() {
    if (!failed) MarkFailed(path);
    failed = true;
  }
};

Handle* Of(void* file) { return static_cast<Handle*>(file); }

int Stat(void*, const char* name, VSIStatBufL* buffer, int) { return ::stat64(RealPath(name).c_str(), buffer); }
int Unlink(void*, const char* name) { return ::unlink(RealPath(name).c_str()); }
int Rename(void*, const char* from, const char* to) {
  return std::rename(RealPath(from).c_str(), RealPath(to).c_str());
}
int MakeFolder(void*, const char* name, long mode) {
  return ::mkdir(RealPath(name).c_str(), static_cast<mode_t>(mode));
}
int RemoveFolder(void*, const char* name) { return ::rmdir(RealPath(name).c_str()); }

char** ReadFolder(void*, const char* name, int maxFiles) {
  DIR* folder = ::opendir(RealPath(name).c_str());
  if (folder == nullptr) return nullptr;
  CPLStringList entries;
  while (const dirent* entry = ::readdir(folder)) {
    const std::string_view entryName(entry->d_name);
    if (entryName == "." || entryName == "..") continue;
    entries.AddString(entry->d_name);
    if (maxFiles > 0 && entries.Count() >= maxFiles) break;
  }
  ::closedir(folder);
  return entries.StealList();
}

void* Open(void*, const char* name, const char* access) {
  std::string mode(access);
  mode += 'e';  // close on exec: the window may start other programs meanwhile
  auto handle = std::make_unique<Handle>();
  handle->path = RealPath(name);
  handle->file = std::fopen(handle->path.c_str(), mode.c_str());
  if (handle->file == nullptr) return nullptr;
  return handle.release();
}

vsi_l_offset Tell(void* file) {
  const off_t at = ::ftello(Of(file)->file);
  return at < 0 ? 0 : static_cast<vsi_l_offset>(at);
}

int Seek(void* file, vsi_l_offset offset, int whence) {
  return ::fseeko(Of(file)->file, static_cast<off_t>(offset), whence);
}

size_t Read(void* file, void* buffer, size_t size, size_t count) {
  return std::fread(buffer, size, count, Of(file)->file);
}

int AtEnd(void* file) { return std::feof(Of(file)->file); }

size_t Write(void* file, const void* buffer, size_t size, size_t count) {
  const size_t written = std::fwrite(buffer, size, count, Of(file)->file);
  if (written != count) Of(file)->Fail();
  return written;
}

int Flush(void* file) {
  const int result = std::fflush(Of(file)->file);
  if (result != 0) Of(file)->Fail();
  return result;
}

int Truncate(void* file, vsi_l_offset size) {
  Handle& handle = *Of(file);
  if (std::fflush(handle.file) != 0 || ::ftruncate(::fileno(handle.file), static_cast<off_t>(size)) != 0) {
    handle.Fail();
    return -1;
  }
  return 0;
}

int Close(void* file) {
  const std::unique_ptr<Handle> handle(Of(file));
  const bool hadError = std::ferror(handle->file) != 0;
  const int result = std::fclose(handle->file);
  if (hadError || result != 0) handle->Fail();
  return result == 0 && !hadError ? 0 : -1;
}

void Install() {
  VSIFilesystemPluginCallbacksStruct* callbacks = VSIAllocFilesystemPluginCallbacksStruct();
  callbacks->stat = Stat;
  callbacks->unlink = Unlink;
  callbacks->rename = Rename;
  callbacks->mkdir = MakeFolder;
  callbacks->rmdir = RemoveFolder;
  callbacks->read_dir = ReadFolder;
  callbacks->open = Open;
  callbacks->tell = Tell;
  callbacks->seek = Seek;
  callbacks->read = Read;
  callbacks->eof = AtEnd;
  callbacks->write = Write;
  callbacks->flush = Flush;
  callbacks->truncate = Truncate;
  callbacks->close = Close;
  VSIInstallPluginHandler(kPrefix, callbacks);
  VSIFreeFilesystemPluginCallbacksStruct(callbacks);
}

bool Inside(const std::string& path, const std::string& folder) {
  return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 && path[folder.size()] == '/';
}

}  // namespace

std::string CheckedName(const std::string& path) {
  static std::once_flag once;
  std::call_once(once, Install);
  return kPrefix + path;
}

bool WriteFailedIn(const std::string& folder) {
  Failures& failures = FailedFiles();
  const std::lock_guard lock(failures.mutex);
  return std::any_of(failures.paths.begin(), failures.paths.end(),
                     [&folder](const std::string& path) { return Inside(path, folder); });
}

void ForgetFailuresIn(const std::string& folder) {
  Failures& failures = FailedFiles();
  const std::lock_guard lock(failures.mutex);
  std::erase_if(failures.paths, [&folder](const std::string& path) { return Inside(path, folder); });
}

}  // namespace gsmexport
