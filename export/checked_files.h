#pragma once
// A GDAL file system of real files whose every failed write, flush, truncation and close is
// remembered: the text drivers (GeoJSON, GPX, KML, CSV) ignore what their writes return, so a
// full disk would otherwise give a cut file and no error. Inside the export module only.

#include <string>

namespace gsmexport {

// The GDAL name of a real file (absolute or relative) under the checked file system.
std::string CheckedName(const std::string& path);

// Whether a write into a file inside folder (a real path) has failed since the last Forget.
bool WriteFailedIn(const std::string& folder);
void ForgetFailuresIn(const std::string& folder);

}  // namespace gsmexport
