#pragma once
// File names are bytes on Linux: they go to open() exactly as they were given (command line,
// open dialog, log name field), whatever their script or encoding. A name becomes text only where
// a person reads it, in a message, and there it is Windows-1251 like every other text.

#include <string>
#include <string_view>

namespace platform {

// The name as Windows-1251 text for a message: read as UTF-8; a character the code page lacks,
// and a byte that is no UTF-8, shows as '?'. Never used to open anything.
std::string FileNameText(std::string_view name);

// name with "-k" put before its extension: "09122026.log" -> "09122026-2.log"; a dot that starts
// the last path component or lies in a folder name is no extension ("a.d/log" -> "a.d/log-2").
std::string NumberedName(std::string_view name, int k);

struct NewFile {
  int fd = -1;       // open for writing, or -1
  std::string name;  // the name created (name itself or a numbered one)
  int error = 0;     // errno of the failed creation when fd is -1
};

// Creates a file that did not exist before: name, or else the first free of name-2 ... name-999,
// so that nothing is ever overwritten and two writers never share a file.
NewFile CreateNewFile(const std::string& name);

}  // namespace platform
