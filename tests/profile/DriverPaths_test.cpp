// The driver's names and paths on both platforms, against real INI files in a scratch
// folder and the real registry.
#include "profile/DriverPaths.h"

#include "profile/DriverFolder.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using profiletest::kDriverKey;

const char kDir[] = "C:\\prw3test\\Drv";

// A look-up's output, or "<0:...>" with what its buffer held after a 0 result.
template <typename F>
std::string Look(F lookUp) {
  char sz[MAX_PATH] = "-";
  return lookUp(sz) ? std::string(sz) : "<0:" + std::string(sz) + ">";
}
std::string DriverName(const std::string& id) {
  return Look([&](char* sz) { return GetProfileDriverName(id.c_str(), sz); });
}
std::string InstallDir(const char* driver, const char* id = "X1") {
  return Look([&](char* sz) { return GetInstallDir(sz, driver, id); });
}
std::string StatusProgram(const char* driver, const char* id = "X1") {
  return Look([&](char* sz) { return GetStatusProgramPath(sz, driver, id); });
}
std::string PrnDll(const char* driver, const char* id = "X1") {
  return Look([&](char* sz) { return GetPrnDllPath(sz, driver, id); });
}
std::string ResDll(const char* driver, const char* id = "X1") {
  return Look([&](char* sz) { return GetResDllPath(sz, driver, id); });
}
std::string Stored(const char* name) { return testenv::GetReg(HKEY_LOCAL_MACHINE, kDriverKey, name); }
void Store(const char* name, const std::string& value) {
  testenv::SetRegString(HKEY_LOCAL_MACHINE, kDriverKey, name, value);
}

class DriverPathsTest : public testing::Test {
protected:
  profiletest::CDriverFolder m_folder;
};

TEST_F(DriverPathsTest, DriverNameComesFromDrvnameOrTheModelId) {
  EXPECT_EQ("<0:->", DriverName("X1")) << "no profile value";
  m_folder.WriteIni("[Install]\r\nOther=1\r\n");
  EXPECT_EQ("OLMAR X1", DriverName("X1"));
  // 258 characters count as absent; 259 may be cut and are refused, like longer ones.
  for (size_t length : {257u, 258u, 259u, 400u}) {
    const std::string name(length, 'd');
    m_folder.WriteIni("[Install]\r\nDRVNAME=" + name + "\r\n");
    EXPECT_EQ(length == 257 ? name : length == 258 ? "OLMAR X1" : "<0:->", DriverName("X1")) << length;
  }
  // "OLMAR " and the model id must fit 259 characters.
  const std::string id253(253, 'm'), id254(254, 'm');
  m_folder.WriteIni("", "M253.INI", id253);
  m_folder.WriteIni("", "M254.INI", id254);
  EXPECT_EQ("OLMAR " + id253, DriverName(id253));
  EXPECT_EQ("<0:->", DriverName(id254));
}

TEST_F(DriverPathsTest, InstallDirAndStatusProgramAreFoundAndStoredBack) {
  m_folder.WriteIni("[Install]\r\nDRVNAME=Drv1\r\n");
  EXPECT_EQ(std::string(kDir) + "\\", InstallDir("Drv1"));
  EXPECT_EQ("<missing>", Stored("InstallPath")) << "the driver key is never created";
  Store("ModelID", "X1");
  EXPECT_EQ(std::string(kDir) + "\\", InstallDir("Drv1"));
  EXPECT_EQ(kDir, Stored("InstallPath"));
  Store("InstallPath", std::string(kDir) + "\\");
  EXPECT_EQ(std::string(kDir) + "\\", InstallDir("Drv1"));
  EXPECT_EQ(kDir, Stored("InstallPath"));

  // A stale "O_PRUN" gives way to the installation directory's program, stored anew.
  Store("O_PRUN", "C:\\prw3test\\Old\\O_P10RN1.EXE");
  EXPECT_EQ("<0:->", StatusProgram("Drv1"));
  const std::string program = m_folder.Write("O_P10RN1.EXE");
  EXPECT_EQ(program, StatusProgram("Drv1"));
  EXPECT_EQ(program, Stored("O_PRUN"));

  // Without a profile value for the model the driver key alone still serves.
  EXPECT_EQ(program, StatusProgram("Drv1", "X9"));
  Store("O_PRUN", "");
  EXPECT_EQ(std::string(kDir) + "\\", InstallDir("Drv1", "X9"));
  EXPECT_EQ("<0:>", InstallDir("NoSuchDriver", "X9"));
  EXPECT_EQ("<0:->", StatusProgram("NoSuchDriver", "X9"));

  // A stored directory that is gone is not corrected from the INI file.
  Store("InstallPath", "C:\\prw3test\\Gone");
  EXPECT_EQ("<0:->", InstallDir("Drv1"));
}

TEST_F(DriverPathsTest, LibraryPathsJoinTheInstallDirOrADotAndNeverCut) {
  Store("ModelID", "X1");
  m_folder.WriteIni("[Install]\r\nDRVNAME=Drv1\r\n[X1]\r\nPrnDll=P.DLL\r\n[Language]\r\nUS=9,1\r\n[US]\r\nResDll=R.DLL\r\n");
  EXPECT_EQ(std::string(kDir) + "\\P.DLL", PrnDll(""));
  EXPECT_EQ(kDir, Stored("InstallPath")) << "stored under the resolved driver name";
  EXPECT_EQ("<0:->", ResDll("Drv1")) << "the resource library must exist";
  m_folder.Write("R.DLL");
  EXPECT_EQ(std::string(kDir) + "\\R.DLL", ResDll("Drv1"));
  EXPECT_EQ("<0:->", PrnDll("Drv1", "X9"));
  EXPECT_EQ("<0:->", ResDll("Drv1", "X9"));

  // 16 + 243 characters fit; one more does not, nor does a name of 258 or 259.
  for (size_t length : {243u, 244u, 258u, 259u}) {
    m_folder.WriteIni("[X1]\r\nPrnDll=" + std::string(length, 'p') + "\r\n");
    EXPECT_EQ(length == 243 ? std::string(kDir) + "\\" + std::string(length, 'p') : "<0:->", PrnDll("Drv1"));
  }
  m_folder.WriteIni("[X1]\r\nPrnDll=P.DLL\r\n");
  Store("InstallPath", "C:\\prw3test\\Gone");
  EXPECT_EQ(".P.DLL", PrnDll("Drv1"));

  // Cut to 259 characters, the status program's path would name this existing file.
  profiletest::CDriverFolder deep("C:\\prw3test\\" + std::string(235, 'f'));
  deep.Write("O_P10RN1.EX");
  Store("InstallPath", deep.m_dir);
  Store("O_PRUN", "");
  EXPECT_EQ("<0:->", StatusProgram("Drv1"));
}

TEST_F(DriverPathsTest, ABareIniNameMeansTheWindowsFolder) {
  char windows[MAX_PATH];
  ASSERT_GT(GetWindowsDirectoryA(windows, sizeof(windows)), 0u);
  profiletest::CDriverFolder windowsFolder(windows);
  windowsFolder.Write("prw3test_bare.ini", "[X1]\r\nPrnDll=P.DLL\r\n");
  testenv::SetRegString(HKEY_LOCAL_MACHINE, profiletest::kProfileKey, "X1", "prw3test_bare.ini");
  EXPECT_EQ(std::string(windows) + "\\P.DLL", PrnDll("Drv1"));
  // A drive-relative name has no folder to rely on.
  testenv::SetRegString(HKEY_LOCAL_MACHINE, profiletest::kProfileKey, "X1", "C:prw3test_bare.ini");
  EXPECT_EQ("<0:->", InstallDir("Drv1"));
}

}  // namespace
