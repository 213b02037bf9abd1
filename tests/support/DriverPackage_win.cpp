// Installing the demo driver under Wine: the built libraries and programs are copied from
// the build's package folder into the install folder of the prefix.
#include "support/DriverPackagePlatform.h"

#include "support/DriverPackage.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace testenv::detail {
namespace {

const char* const kBinaries[] = {"PRN_DLL", "RES_DLL_ENGLISH", "RES_DLL_GERMAN", "STATUS_EXE", "AUX_EXE"};

}  // namespace

bool PlaceDemoBinaries(const std::string& installDir) {
  std::string packageDir = DemoPackageDir();
  for (const char* param : kBinaries) {
    std::string name = DemoPackageParam(param);
    std::string from = packageDir + "\\" + name;
    std::string to = installDir + "\\" + name;
    // A program still running from an earlier test keeps its file: that copy serves.
    if (!CopyFileA(from.c_str(), to.c_str(), FALSE) && GetFileAttributesA(to.c_str()) == INVALID_FILE_ATTRIBUTES) {
      ADD_FAILURE() << "cannot copy " << from << " to " << to << ": error " << GetLastError();
      return false;
    }
  }
  return true;
}

void RemoveDemoBinaries(const std::string& installDir) {
  for (const char* param : kBinaries) DeleteFileA((installDir + "\\" + DemoPackageParam(param)).c_str());
}

std::string ShortFolderPath(const std::string& folder) {
  char szShort[MAX_PATH] = {0};
  DWORD n = GetShortPathNameA(folder.c_str(), szShort, sizeof(szShort));
  if (n == 0 || n >= sizeof(szShort)) {
    ADD_FAILURE() << "no short path for " << folder << ": error " << GetLastError();
    return folder;
  }
  return szShort;
}

}  // namespace testenv::detail
