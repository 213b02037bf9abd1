// The demo driver as the tests install it holds what the resident reads: the profile
// names the model's INI file; that names the driver, the languages with their libraries
// beside it, the printer library and the tray settings; the driver key names the model,
// the dependent program and the menu commands; the start-up entry starts a blank-free
// program path with the parameter file that the resident's parser reads.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cmdline/CommandLine.h"
#include "profile/Contracts.h"
#include "profile/DriverPaths.h"
#include "support/DriverPackage.h"
#include "support/TestEnv.h"
#include "support/TestFiles.h"
#include "support/TestRegistry.h"
#include "targets/TargetRegistry.h"

namespace {

const char kDriver[] = "prw3test";

std::string DriverKey() { return std::string(REG_DRIVER_KEY_PREFIX) + kDriver; }
std::string MenuKey() { return DriverKey() + "\\Menu"; }
std::string IoUrlKey() { return std::string("Software\\OLMAR\\") + kDriver + " IO_URL"; }

std::string Folder(const std::string& path) { return path.substr(0, path.find_last_of('\\')); }
std::string FileName(const std::string& path) { return path.substr(path.find_last_of('\\') + 1); }

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string IniString(const std::string& ini, const std::string& section, const char* key) {
  char value[MAX_PATH] = {0};
  GetPrivateProfileStringA(section.c_str(), key, "", value, sizeof(value), ini.c_str());
  return value;
}

// The start-up entry's program path: what comes before " /A ".
std::string RunProgram(const std::string& run) { return run.substr(0, run.find(" /A ")); }

// The file the deleted-printer check removes: between the first and the last quote.
std::string RunFile(const std::string& run) {
  size_t first = run.find('"'), last = run.rfind('"');
  return first < last ? run.substr(first + 1, last - first - 1) : "";
}

class DemoPackageTest : public testing::Test {
protected:
  void TearDown() override { testenv::UninstallDemoDriver(); }
};

TEST_F(DemoPackageTest, InstallsWhatTheResidentReads) {
  const std::string printer = testenv::ExistingPrinter();
  testenv::DemoDriver d = testenv::InstallDemoDriver(printer, kDriver);
  ASSERT_FALSE(HasFailure());

  EXPECT_EQ(d.iniFile, testenv::GetReg(HKEY_LOCAL_MACHINE, REG_PROFILE_KEY, d.modelID));
  EXPECT_EQ(kDriver, IniString(d.iniFile, INI_INSTALL_SECTION, INI_DRVNAME));

  char section[1024] = {0};
  DWORD n = GetPrivateProfileSectionA(INI_LANGUAGE_SECTION, section, sizeof(section), d.iniFile.c_str());
  std::vector<std::string> languages;
  for (const char* line = section; line < section + n && *line; line += strlen(line) + 1) languages.push_back(line);
  EXPECT_EQ((std::vector<std::string>{"ENGLISH=9,1", "GERMAN=7,1"}), languages);
  EXPECT_EQ(FileName(d.englishResources), IniString(d.iniFile, "ENGLISH", INI_RES_DLL));
  EXPECT_EQ(FileName(d.germanResources), IniString(d.iniFile, "GERMAN", INI_RES_DLL));
  for (const std::string& file : {d.englishResources, d.germanResources, d.auxProgram}) {
    EXPECT_EQ(Folder(d.iniFile), Folder(file));
    EXPECT_TRUE(testenv::FileExists(file)) << file;
  }
  EXPECT_EQ(1u, GetPrivateProfileIntA(d.modelID.c_str(), TRAY_ICON_ENABLE, 7, d.iniFile.c_str()));
  EXPECT_EQ(0u, GetPrivateProfileIntA(d.modelID.c_str(), TRAY_ICON_SELECTED, 7, d.iniFile.c_str()));
  EXPECT_LT(0u, GetPrivateProfileIntA(d.modelID.c_str(), TRAY_ICON_END_TIME, 0, d.iniFile.c_str()));

  EXPECT_EQ(d.modelID, testenv::GetReg(HKEY_LOCAL_MACHINE, DriverKey(), REG_MODEL_ID));
  EXPECT_EQ(d.installDir, testenv::GetReg(HKEY_LOCAL_MACHINE, DriverKey(), REG_INSTALL_PATH));
  EXPECT_EQ(d.auxProgram, testenv::GetReg(HKEY_LOCAL_MACHINE, DriverKey(), REG_DEP_EXE));
  EXPECT_EQ("2", testenv::GetReg(HKEY_LOCAL_MACHINE, MenuKey(), REG_SEPARATORS));
  EXPECT_TRUE(testenv::RegKeyExists(HKEY_LOCAL_MACHINE, IoUrlKey()));
  // Every command starts the auxiliary program (quoted: its folder has a blank); only
  // 925 is the dependent program's menu item.
  std::vector<int> commands, depExeItems;
  for (int id = AUX_FIRST_ID; id <= AUX_LAST_ID; ++id) {
    std::string command = testenv::GetReg(HKEY_LOCAL_MACHINE, MenuKey(), std::to_string(id));
    if (command == "<missing>") continue;
    commands.push_back(id);
    EXPECT_EQ(0u, command.find("\"" + d.auxProgram + "\" /")) << command;
    if (Upper(command).find(Upper(FileName(d.auxProgram))) != std::string::npos &&
        Upper(command).find("MENU") != std::string::npos)
      depExeItems.push_back(id);
  }
  EXPECT_EQ((std::vector<int>{920, 921, 925, 930}), commands);
  EXPECT_EQ((std::vector<int>{925}), depExeItems);

  const std::string run = testenv::GetReg(HKEY_CURRENT_USER, REG_RUN_KEY, printer);
  EXPECT_EQ(d.runCommand, run);
  EXPECT_EQ(std::string::npos, RunProgram(run).find(' ')) << run;
  EXPECT_EQ(testenv::DemoPackageParam("RESIDENT_EXE"), FileName(RunProgram(run))) << run;
  EXPECT_EQ(d.paramFile, RunFile(run));
  EXPECT_EQ(d.installDir, Folder(d.paramFile));
  EXPECT_EQ(0u, FileName(d.paramFile).find("O_P"));

  CCommandLine cmd(run.substr(RunProgram(run).size()).c_str());
  EXPECT_STREQ(printer.c_str(), cmd.m_szPrinterName);
  EXPECT_STREQ(kDriver, cmd.m_szDriverName);
  EXPECT_STREQ(d.modelID.c_str(), cmd.m_szModelID);
  EXPECT_TRUE(testenv::FileExists(d.paramFile)) << "read with /A, the file stays";
}

// The resident's own look-ups find the package's files, and a new target gets the
// printer library's defaults.
TEST_F(DemoPackageTest, TheResidentsLookUpsFindThePackage) {
  const std::string printer = testenv::ExistingPrinter();
  testenv::DemoDriver d = testenv::InstallDemoDriver(printer, kDriver);
  ASSERT_FALSE(HasFailure());

  char path[MAX_PATH] = {0};
  EXPECT_TRUE(GetStatusProgramPath(path, kDriver, d.modelID.c_str()));
  EXPECT_EQ(d.statusProgram, path);
  EXPECT_TRUE(GetPrnDllPath(path, kDriver, d.modelID.c_str()));
  EXPECT_EQ(d.printerLibrary, path);
  EXPECT_TRUE(GetResDllPath(path, kDriver, d.modelID.c_str()));
  EXPECT_TRUE(path == d.englishResources || path == d.germanResources) << path;

  char target[MAX_PATH] = {0};
  int nameKind = -1;
  EXPECT_EQ(TARGET_OK, GetTargetKey(printer.c_str(), "", d.modelID.c_str(), &nameKind, target));
  EXPECT_EQ("1", testenv::GetReg(HKEY_CURRENT_USER, target, TRAY_ICON_ENABLE));
  EXPECT_EQ("0", testenv::GetReg(HKEY_CURRENT_USER, target, TRAY_ICON_SELECTED));
}

TEST_F(DemoPackageTest, StartupEntryOfAPrinterKnownByItsPort) {
  testenv::DemoDriver d = testenv::InstallDemoDriver("", kDriver, "LPT1:");
  ASSERT_FALSE(HasFailure());
  const std::string run = testenv::GetReg(HKEY_CURRENT_USER, REG_RUN_KEY, "LPT1:");
  EXPECT_EQ(d.paramFile, RunFile(run));

  CCommandLine cmd(run.substr(RunProgram(run).size()).c_str());
  EXPECT_STREQ("", cmd.m_szPrinterName);
  EXPECT_STREQ("LPT1:", cmd.m_szPortName);
  EXPECT_STREQ(kDriver, cmd.m_szDriverName);
  EXPECT_STREQ(d.modelID.c_str(), cmd.m_szModelID);
}

TEST_F(DemoPackageTest, UninstallRemovesWhatEveryInstallWrote) {
  testenv::DemoDriver first = testenv::InstallDemoDriver(testenv::ExistingPrinter(), kDriver);
  testenv::DemoDriver second = testenv::InstallDemoDriver("Office Printer", kDriver);
  ASSERT_FALSE(HasFailure());
  ASSERT_NE(first.paramFile, second.paramFile);
  testenv::UninstallDemoDriver();

  EXPECT_EQ("<missing>", testenv::GetReg(HKEY_LOCAL_MACHINE, REG_PROFILE_KEY, first.modelID));
  EXPECT_FALSE(testenv::RegKeyExists(HKEY_LOCAL_MACHINE, DriverKey()));
  EXPECT_FALSE(testenv::RegKeyExists(HKEY_LOCAL_MACHINE, IoUrlKey()));
  for (const testenv::DemoDriver& d : {first, second}) {
    EXPECT_EQ("<missing>", testenv::GetReg(HKEY_CURRENT_USER, REG_RUN_KEY, d.printerKey));
    EXPECT_FALSE(testenv::FileExists(d.paramFile)) << d.paramFile;
  }
  for (const std::string& file : {first.iniFile, first.printerLibrary, first.englishResources, first.auxProgram})
    EXPECT_FALSE(testenv::FileExists(file)) << file;
}

}  // namespace
