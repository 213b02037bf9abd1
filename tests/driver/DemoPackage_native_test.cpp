// The tests bind the installation names in the build's partly generated package
// themselves; that must give, byte for byte, what the package's generator writes for the
// same names, also for names that need escaping in a .reg file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "support/DriverPackage.h"

namespace {

std::string ReadHost(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

int RunGenerator(const std::string& outDir, const testenv::InstallNames& names) {
  // Single quotes for the shell; the names here hold none.
  std::string command = std::string("'") + PRW3_CMAKE_COMMAND + "' -DOUT_DIR='" + outDir + "' -DDRIVER_NAME='" +
                        names.driverName + "' -DPRINTER_NAME='" + names.printerName + "' -DPORT_NAME='" +
                        names.portName + "' -DRESIDENT_PATH='" + names.residentPath + "' -DPARAM_FILE='" +
                        names.paramFile + "' -P '" + PRW3_DEMO_GENERATOR + "' >/dev/null 2>&1";
  return std::system(command.c_str());
}

TEST(DemoPackageGenerator, TestBindingMatchesTheGenerator) {
  const testenv::InstallNames cases[] = {
      {"prw3test", "Office \"Annex\" \\ 2", "", "C:\\PROGRA~1\\OLMAR\\PRW3\\prw3tray.exe", "O_P12AB.TMP"},
      {"OLMAR PRW3DEMO", "", "LPT1:", "C:\\PRW3\\prw3tray.exe", "O_P7.TMP"},
  };
  const std::filesystem::path outDir = std::filesystem::path(testing::TempDir()) / "prw3demo-generated";
  for (const testenv::InstallNames& names : cases) {
    std::filesystem::remove_all(outDir);
    ASSERT_EQ(0, RunGenerator(outDir.string(), names)) << names.printerName;
    const struct {
      std::string templateName, generatedName;
      bool reg;
    } files[] = {
        {"prw3demo.reg", "prw3demo.reg", true},
        {"prw3demo-uninstall.reg", "prw3demo-uninstall.reg", true},
        {testenv::DemoPackageParam("INI_FILE"), testenv::DemoPackageParam("INI_FILE"), false},
        {"param.tmp", names.paramFile, false},
    };
    for (const auto& file : files) {
      std::string bound =
          testenv::BindInstallNames(testenv::ReadDemoPackageFile("template/" + file.templateName), file.reg, names);
      EXPECT_EQ(ReadHost(outDir / file.generatedName), bound) << file.generatedName << " for " << names.printerName;
      EXPECT_EQ(std::string::npos, bound.find('@')) << bound;
    }
  }

  testenv::InstallNames keyBreaking = cases[0];
  keyBreaking.driverName = "Drivers\\prw3test";
  EXPECT_NE(0, RunGenerator(outDir.string(), keyBreaking)) << "a driver name that would make a subkey";
  std::filesystem::remove_all(outDir);
}

}  // namespace
