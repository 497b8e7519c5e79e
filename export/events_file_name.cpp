#include <string>

#include "export/log_export.h"

namespace gsmexport {

std::string EventsFileName(const std::string& outName) {
  const std::size_t slash = outName.rfind('/');
  const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  std::size_t dot = outName.rfind('.');
  if (dot == std::string::npos || dot <= nameStart) dot = outName.size();
  return outName.substr(0, dot) + "-events" + outName.substr(dot);
}

}  // namespace gsmexport
