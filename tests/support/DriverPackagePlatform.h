// The platform half of installing the demo driver for tests: making its libraries and
// programs loadable (DriverPackage_native.cpp registers them with winsim,
// DriverPackage_win.cpp copies the built files), importing registry text and the short
// form of a folder's path.
#pragma once

#include <string>

namespace testenv::detail {

// Makes every library and program of the package loadable from installDir (an
// existing folder). Returns false, after reporting a test failure, when it cannot.
bool PlaceDemoBinaries(const std::string& installDir);
// Applies REGEDIT4 text ([key], [-key], "name"="string", "name"=-); false with a reason.
bool ImportReg(const std::string& text, std::string* error);
// The blank-free (8.3) form of an existing folder's path.
std::string ShortFolderPath(const std::string& folder);

}  // namespace testenv::detail
