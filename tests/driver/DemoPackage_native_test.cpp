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

TEST(DemoPackageGenerator, TestBindingMatchesTheGenerator) {
  const std::filesystem::path outDir = std::filesystem::path(testing::TempDir()) / "prw3demo-generated";
  // Single quotes for the shell; the names here hold none.
  auto generate = [&](const testenv::InstallNames& n) {
    std::filesystem::remove_all(outDir);
    return std::system((std::string("'") + PRW3_CMAKE_COMMAND + "' -DOUT_DIR='" + outDir.string() +
                        "' -DDRIVER_NAME='" + n.driverName + "' -DPRINTER_NAME='" + n.printerName +
                        "' -DPORT_NAME='" + n.portName + "' -DRESIDENT_PATH='" + n.residentPath +
                        "' -DPARAM_FILE='" + n.paramFile + "' -P '" + PRW3_DEMO_GENERATOR + "' >/dev/null 2>&1")
                           .c_str());
  };
  const testenv::InstallNames cases[] = {
      {"prw3test", "Office \"Annex\" \\ 2", "", "C:\\PROGRA~1\\OLMAR\\PRW3\\prw3tray.exe", "O_P12AB.TMP"},
      {"OLMAR PRW3DEMO", "", "LPT1:", "C:\\PRW3\\prw3tray.exe", "O_P7.TMP"},
  };
  const std::string ini = testenv::DemoPackageParam("INI_FILE");
  for (const testenv::InstallNames& names : cases) {
    ASSERT_EQ(0, generate(names)) << names.printerName;
    const std::pair<std::string, std::string> files[] = {
        {"prw3demo.reg", "prw3demo.reg"}, {"prw3demo-uninstall.reg", "prw3demo-uninstall.reg"}, {ini, ini},
        {"param.tmp", names.paramFile}};
    for (const auto& file : files) {
      const std::string bound = testenv::BindInstallNames(testenv::ReadDemoPackageFile("template/" + file.first),
                                                          file.first.find(".reg") != std::string::npos, names);
      std::ifstream in(outDir / file.second, std::ios::binary);
      std::ostringstream generated;
      generated << in.rdbuf();
      EXPECT_EQ(generated.str(), bound) << file.second << " for " << names.printerName;
      EXPECT_EQ(std::string::npos, bound.find('@')) << bound;
    }
  }
  testenv::InstallNames keyBreaking = cases[0];
  keyBreaking.driverName = "Drivers\\prw3test";
  EXPECT_NE(0, generate(keyBreaking)) << "a driver name that would make a subkey";
  std::filesystem::remove_all(outDir);
}

}  // namespace
