// Installing the demo driver natively: winsim loads the printer library's function that
// the tests link and the resource libraries read from their .rc files, and every library
// and program of the package exists as a file in the sandbox for the existence checks.
#include "support/DriverPackagePlatform.h"

#include "PrinterLibrary.h"
#include "support/DriverPackage.h"
#include "winsim/control.h"

#include <gtest/gtest.h>

#include <cctype>

namespace testenv::detail {
namespace {

const char* const kBinaries[] = {"PRN_DLL", "RES_DLL_ENGLISH", "RES_DLL_GERMAN", "STATUS_EXE", "AUX_EXE"};

std::string InstallPath(const std::string& installDir, const char* param) {
  return installDir + "\\" + DemoPackageParam(param);
}

}  // namespace

bool PlaceDemoBinaries(const std::string& installDir) {
  for (const char* param : kBinaries) winsim::WriteFileBytes(InstallPath(installDir, param), "MZ");

  winsim::ModuleImage printerLibrary;
  printerLibrary.exports["PrSetRegDefaultValue"] = winsim::AsExport(&PrSetRegDefaultValue);
  winsim::RegisterModule(InstallPath(installDir, "PRN_DLL"), printerLibrary);

  // A resource library holds what windres makes of the .rc file of the same name.
  for (const char* param : {"RES_DLL_ENGLISH", "RES_DLL_GERMAN"}) {
    std::string dll = DemoPackageParam(param);
    std::string rc = std::string(PRW3_DEMO_RES_SOURCE_DIR) + "/" + dll.substr(0, dll.rfind('.')) + ".rc";
    winsim::ModuleImage resources;
    std::string error;
    resources.resources = winsim::ParseRcFile(rc, &error);
    if (!resources.resources) {
      ADD_FAILURE() << rc << ": " << error;
      return false;
    }
    winsim::RegisterModule(InstallPath(installDir, param), resources);
  }
  return true;
}

bool ImportReg(const std::string& text, std::string* error) { return winsim::ImportRegText(text, error); }

// The names Windows gives: a component that is no 8.3 name becomes its first six
// letters or digits, upper case, and "~1" (enough for the one folder the package uses).
std::string ShortFolderPath(const std::string& folder) {
  std::string result;
  size_t start = 0;
  for (size_t end;; start = end + 1) {
    end = folder.find('\\', start);
    std::string part = folder.substr(start, end == std::string::npos ? std::string::npos : end - start);
    size_t dot = part.find('.');
    bool fits = part.find(' ') == std::string::npos &&
                (dot == std::string::npos ? part.size() <= 8 : dot <= 8 && part.size() - dot <= 4);
    if (!fits) {
      std::string base;
      for (char c : part.substr(0, dot))
        if (std::isalnum(static_cast<unsigned char>(c)) && base.size() < 6) base += static_cast<char>(std::toupper(c));
      part = base + "~1";
    }
    result += (start ? "\\" : "") + part;
    if (end == std::string::npos) return result;
  }
}

}  // namespace testenv::detail
