// The driver's names and paths on both platforms, against real INI files in a scratch
// folder and the real registry.
#include "profile/DriverPaths.h"

#include "base/RegUtil.h"
#include "profile/DriverFolder.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using profiletest::kDriverKey;

const std::string kDir = "C:\\prw3test\\Drv";

// A look-up's output, or "<0:...>" with what its buffer held after a 0 result.
std::string Look(BOOL (*lookUp)(char*, LPCSTR, LPCSTR), const char* driver, const std::string& id = "X1") {
  char sz[MAX_PATH] = "-";
  return lookUp(sz, driver, id.c_str()) ? std::string(sz) : "<0:" + std::string(sz) + ">";
}
BOOL DriverName(char* sz, LPCSTR, LPCSTR id) { return GetProfileDriverName(id, sz); }
std::string Stored(const char* name) { return testenv::GetReg(HKEY_LOCAL_MACHINE, kDriverKey, name); }
void Store(const char* name, const std::string& value) {
  testenv::SetRegString(HKEY_LOCAL_MACHINE, kDriverKey, name, value);
}

TEST(DriverPaths, DriverNameComesFromDrvnameOrTheModelId) {
  profiletest::CDriverFolder folder;
  EXPECT_EQ("<0:->", Look(DriverName, "")) << "no profile value";
  // 258 characters count as absent; 259 may be cut and are refused, like longer ones.
  for (size_t length : {0u, 257u, 258u, 259u, 400u}) {
    const std::string name(length, 'd');
    folder.WriteIni(length ? "[Install]\r\nDRVNAME=" + name + "\r\n" : "[Install]\r\nOther=1\r\n");
    EXPECT_EQ(length == 257 ? name : length <= 258 ? "OLMAR X1" : "<0:->", Look(DriverName, "")) << length;
  }
  // "OLMAR " and the model id must fit 259 characters.
  const std::string id253(253, 'm'), id254(254, 'm');
  folder.WriteIni("", "M253.INI", id253);
  folder.WriteIni("", "M254.INI", id254);
  EXPECT_EQ("OLMAR " + id253, Look(DriverName, "", id253));
  EXPECT_EQ("<0:->", Look(DriverName, "", id254));
}

TEST(DriverPaths, InstallDirAndStatusProgramAreFoundAndStoredBack) {
  testenv::CInstallerRights admin;  // storing back writes the machine's driver key
  profiletest::CDriverFolder folder;
  folder.WriteIni("[Install]\r\nDRVNAME=Drv1\r\n");
  EXPECT_EQ(kDir + "\\", Look(GetInstallDir, "Drv1"));
  EXPECT_EQ("<missing>", Stored("InstallPath")) << "the driver key is never created";
  Store("ModelID", "X1");
  for (const std::string& stored : {std::string(), kDir + "\\"}) {
    if (!stored.empty()) Store("InstallPath", stored);
    EXPECT_EQ(kDir + "\\", Look(GetInstallDir, "Drv1"));
    EXPECT_EQ(kDir, Stored("InstallPath"));
  }

  // A stale "O_PRUN" gives way to the installation directory's program, stored anew;
  // a valid one is used wherever it lies.
  Store("O_PRUN", "C:\\prw3test\\Old\\O_P10RN1.EXE");
  EXPECT_EQ("<0:->", Look(GetStatusProgramPath, "Drv1"));
  const std::string program = folder.Write("O_P10RN1.EXE");
  EXPECT_EQ(program, Look(GetStatusProgramPath, "Drv1"));
  EXPECT_EQ(program, Stored("O_PRUN"));
  const std::string elsewhere = folder.Write("Other.EXE");
  Store("O_PRUN", elsewhere);
  EXPECT_EQ(elsewhere, Look(GetStatusProgramPath, "Drv1"));
  EXPECT_EQ(elsewhere, Look(GetStatusProgramPath, "Drv1", "X9")) << "the driver key alone serves";

  Store("O_PRUN", "");
  EXPECT_EQ(kDir + "\\", Look(GetInstallDir, "Drv1", "X9"));
  EXPECT_EQ("<0:>", Look(GetInstallDir, "NoSuchDriver", "X9"));
  EXPECT_EQ("<0:->", Look(GetStatusProgramPath, "NoSuchDriver", "X9"));
  // A stored directory that is gone is not corrected from the INI file.
  Store("InstallPath", "C:\\prw3test\\Gone");
  EXPECT_EQ("<0:->", Look(GetInstallDir, "Drv1"));
}

TEST(DriverPaths, LibraryPathsJoinTheInstallDirOrADotAndNeverCut) {
  testenv::CInstallerRights admin;
  profiletest::CDriverFolder folder;
  Store("ModelID", "X1");
  folder.WriteIni("[Install]\r\nDRVNAME=Drv1\r\n[X1]\r\nPrnDll=P.DLL\r\n[Language]\r\nUS=9,1\r\n[US]\r\nResDll=R.DLL\r\n");
  EXPECT_EQ(kDir + "\\P.DLL", Look(GetPrnDllPath, ""));
  EXPECT_EQ(kDir, Stored("InstallPath")) << "stored under the resolved driver name";
  EXPECT_EQ("<0:->", Look(GetResDllPath, "Drv1")) << "the resource library must exist";
  folder.Write("R.DLL");
  EXPECT_EQ(kDir + "\\R.DLL", Look(GetResDllPath, "Drv1"));
  EXPECT_EQ("<0:-><0:->", Look(GetPrnDllPath, "Drv1", "X9") + Look(GetResDllPath, "Drv1", "X9"));
  const std::string tooLong(MAX_PATH, 'd');  // a driver name passed that cannot be held
  EXPECT_EQ("<0:-><0:->", Look(GetPrnDllPath, tooLong.c_str()) + Look(GetResDllPath, tooLong.c_str()));

  // 16 + 243 characters fit; one more does not, nor does a name of 258 or 259.
  for (size_t length : {243u, 244u, 258u, 259u}) {
    folder.WriteIni("[X1]\r\nPrnDll=" + std::string(length, 'p') + "\r\n");
    EXPECT_EQ(length == 243 ? kDir + "\\" + std::string(length, 'p') : "<0:->", Look(GetPrnDllPath, "Drv1"));
  }
  folder.WriteIni("[X1]\r\nPrnDll=P.DLL\r\n");
  Store("InstallPath", "C:\\prw3test\\Gone");
  EXPECT_EQ(".P.DLL", Look(GetPrnDllPath, "Drv1"));

  // Cut to 259 characters, the status program's path would name this existing file.
  profiletest::CDriverFolder deep("C:\\prw3test\\" + std::string(235, 'f'));
  deep.Write("O_P10RN1.EX");
  Store("InstallPath", deep.m_dir);
  Store("O_PRUN", "");
  EXPECT_EQ("<0:->", Look(GetStatusProgramPath, "Drv1"));
  // An install path of 259 characters leaves no room for the separator.
  Store("InstallPath", deep.m_dir + "\\O_P10RN1.EX");
  EXPECT_EQ("<0:->", Look(GetInstallDir, "Drv1"));
}

TEST(DriverPaths, ABareIniNameMeansTheWindowsFolder) {
  char windows[MAX_PATH];
  ASSERT_GT(GetWindowsDirectoryA(windows, sizeof(windows)), 0u);
  profiletest::CDriverFolder windowsFolder(windows);
  windowsFolder.Write("prw3test_bare.ini", "[X1]\r\nPrnDll=P.DLL\r\n");
  testenv::SetRegString(HKEY_LOCAL_MACHINE, profiletest::kProfileKey, "X1", "prw3test_bare.ini");
  EXPECT_EQ(std::string(windows) + "\\P.DLL", Look(GetPrnDllPath, "Drv1"));
  // A drive-relative name has no folder to rely on.
  testenv::SetRegString(HKEY_LOCAL_MACHINE, profiletest::kProfileKey, "X1", "C:prw3test_bare.ini");
  EXPECT_EQ("<0:->", Look(GetInstallDir, "Drv1"));
}

TEST(DriverPaths, RegistryStringThatExactlyFillsTheBufferIsRefused) {
  // Eight characters stored without their terminator, read into eight bytes.
  const char data[] = "ABCDEFGH#";
  testenv::SetRegValue(HKEY_CURRENT_USER, "software\\OLMAR\\prw3test", "v", REG_SZ, data, 8);
  char out[10] = "--------#";
  EXPECT_FALSE(RegReadKeyString(HKEY_CURRENT_USER, "software\\OLMAR\\prw3test", "v", out, 8));
  EXPECT_EQ('#', out[8]) << "written past the buffer";
  EXPECT_TRUE(RegReadKeyString(HKEY_CURRENT_USER, "software\\OLMAR\\prw3test", "v", out, 9));
  EXPECT_STREQ("ABCDEFGH", out);
}

}  // namespace
