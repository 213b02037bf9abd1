// Installing the demo driver under Wine: the built libraries and programs are copied from
// the build's package folder into the install folder of the prefix.
#include "support/DriverPackagePlatform.h"

#include "support/DriverPackage.h"
#include "support/TestFiles.h"

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

// The platform's own importer, so the text is read exactly as an installer's would be.
bool ImportReg(const std::string& text, std::string* error) {
  const std::string file = TempDir() + "prw3demo-import.reg";
  WriteFile(file, text);
  std::string cmd = "regedit.exe /s \"" + file + "\"";
  STARTUPINFOA si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  DWORD code = 1;
  if (CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    WaitForSingleObject(pi.hProcess, 30000);
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  DeleteFileA(file.c_str());
  if (code != 0 && error) *error = "regedit /s failed: " + std::to_string(code);
  return code == 0;
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
