// The .msi as an administrator runs it: msiexec installs the resident and the demo driver
// for the test printer, the start-up entry it writes starts the resident, and msiexec
// removes it all again but the user's target; every installed binary carries its version.
#include "e2e/E2eTest.h"

#include <cstdio>
#include <sstream>

namespace e2e {
namespace {

// msiexec's exit code for the package (/i or /x) with the properties, quiet; -1 when it
// did not end.
int Msiexec(const char* option, const std::string& properties = "") {
  CProcess msiexec;
  if (!msiexec.StartCommandLine(std::string("msiexec ") + option + " \"" + BinDir() + "\\prw3demo-" PRW3_VERSION
                                "-x64.msi\" " + properties + " /qn"))
    return -1;
  return msiexec.Wait(60000);
}

// The file's version from its version resource ("major.minor.build.revision") and the
// product it names.
std::string VersionResource(const std::string& path) {
  DWORD dwHandle = 0;
  std::vector<char> data(GetFileVersionInfoSizeA(path.c_str(), &dwHandle) + 1);
  VS_FIXEDFILEINFO* pInfo = nullptr;
  char* pszProduct = nullptr;
  UINT cb = 0;
  if (!GetFileVersionInfoA(path.c_str(), 0, static_cast<DWORD>(data.size()), data.data()) ||
      !VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&pInfo), &cb) ||
      !VerQueryValueA(data.data(), "\\StringFileInfo\\040904B0\\ProductName", reinterpret_cast<void**>(&pszProduct), &cb))
    return "<none>";
  char sz[MAX_PATH];
  snprintf(sz, sizeof(sz), "%u.%u.%u.%u %s", HIWORD(pInfo->dwFileVersionMS), LOWORD(pInfo->dwFileVersionMS),
           HIWORD(pInfo->dwFileVersionLS), LOWORD(pInfo->dwFileVersionLS), pszProduct);
  return sz;
}

// The program's embedded application manifest (resource 1 of type 24), or "".
std::string Manifest(const std::string& path) {
  CLibrary hModule(LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  HRSRC hRes = hModule ? FindResourceA(hModule, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24)) : nullptr;
  HGLOBAL hData = hRes ? LoadResource(hModule, hRes) : nullptr;
  return hData ? std::string(static_cast<const char*>(LockResource(hData)), SizeofResource(hModule, hRes)) : "";
}

// Checks every string value the REGEDIT4 text writes against the registry, the machine's
// for every key: the package installs for all users, its start-up entry too.
void ExpectRegistryHolds(const std::string& regText) {
  std::istringstream in(regText);
  std::string key;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > 2 && line.front() == '[') key = line.substr(line.find('\\') + 1, line.find(']') - line.find('\\') - 1);
    size_t sep = line.find("\"=\"");
    if (line.empty() || line.front() != '"' || sep == std::string::npos) continue;
    std::string name = line.substr(1, sep - 1), data, raw = line.substr(sep + 3, line.size() - sep - 4);
    for (size_t i = 0; i < raw.size(); ++i) data += raw[i] == '\\' ? raw[++i] : raw[i];
    EXPECT_EQ(data, testenv::GetReg(HKEY_LOCAL_MACHINE, key, name)) << key << "\\" << name;
  }
}

class PackageTest : public E2eTest {
protected:
  // A package left by an aborted run goes first, and one this test left goes after it.
  void SetUp() override {
    E2eTest::SetUp();
    Msiexec("/x");
  }
  void TearDown() override {
    if (HasFailure()) Msiexec("/x");
    E2eTest::TearDown();
  }
};

TEST_F(PackageTest, InstallsAStartupEntryThatStartsTheResidentAndUninstallsAllButTheTarget) {
  const std::string printer = testenv::ExistingPrinter(), dir = testenv::DemoPackageParam("INSTALL_DIR");
  ASSERT_EQ(0, Msiexec("/i", "PRINTER=" + printer + " DRIVER=" + printer));

  for (const char* param : {"RESIDENT_EXE", "STATUS_EXE", "AUX_EXE", "PRN_DLL", "RES_DLL_ENGLISH", "RES_DLL_GERMAN"}) {
    const std::string path = dir + "\\" + testenv::DemoPackageParam(param), manifest = Manifest(path);
    EXPECT_EQ(PRW3_VERSION ".0 OLMAR Printwatch 3", VersionResource(path)) << path;
    const bool program = lstrcmpiA(path.c_str() + path.size() - 4, ".exe") == 0;
    EXPECT_EQ(program, manifest.find("level=\"asInvoker\"") != std::string::npos) << path;
    EXPECT_EQ(program, manifest.find("{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}") != std::string::npos) << path;
    EXPECT_EQ(std::string::npos, manifest.find("dpiAware")) << path;
  }

  // The start-up entry: the resident's short path, unquoted, then /A and the quoted
  // parameter file beside the driver's files; every value as the description has it.
  const std::string run = testenv::GetReg(HKEY_LOCAL_MACHINE, REG_RUN_KEY, printer);
  char szShort[MAX_PATH] = {0};
  GetShortPathNameA((dir + "\\" + testenv::DemoPackageParam("RESIDENT_EXE")).c_str(), szShort, MAX_PATH);
  const std::string head = std::string(szShort) + " /A \"" + dir + "\\O_P";
  ASSERT_EQ(0u, run.find(head)) << run;
  ASSERT_EQ(".TMP\"", run.substr(run.size() - 5)) << run;
  const std::string paramFile = run.substr(head.size() - 3, run.size() - head.size() + 2);
  const testenv::InstallNames names = {printer, printer, "", szShort, paramFile};
  ExpectRegistryHolds(testenv::BindInstallNames(testenv::ReadDemoPackageFile("template/prw3demo.reg"), true, names));
  EXPECT_EQ(testenv::BindInstallNames(testenv::ReadDemoPackageFile("template/" + testenv::DemoPackageParam("INI_FILE")),
                                      false, names),
            testenv::ReadFile(dir + "\\" + testenv::DemoPackageParam("INI_FILE")));

  // The entry's command starts the resident; Printer Status, once, writes O_PRUN back.
  CProcess resident;
  ASSERT_TRUE(resident.StartCommandLine(run)) << GetLastError();
  HWND hWnd = WaitUntilServing(resident, printer);
  ASSERT_NE(nullptr, hWnd) << "exit code " << resident.Wait(0);
  EXPECT_TRUE(testenv::FileExists(dir + "\\" + paramFile)) << "an /A file is kept for the next log-on";
  EXPECT_EQ(std::vector<std::string>{"green"}, WaitForTrayColors({"green"}));
  ASSERT_TRUE(PostMessageA(hWnd, WM_TRAYNOTIFY, 0, WM_LBUTTONDBLCLK));
  const std::vector<Record> records = WaitForRecords(1);
  ASSERT_EQ(1u, records.size());
  EXPECT_EQ("status", records[0].at("program"));
  EXPECT_TRUE(WaitForProcessesToEnd(testenv::DemoPackageParam("STATUS_EXE").c_str()));
  const std::string driverKey = "software\\OLMAR\\PRW3\\Driver\\" + printer;
  EXPECT_EQ(dir + "\\" + testenv::DemoPackageParam("STATUS_EXE"), testenv::GetReg(HKEY_LOCAL_MACHINE, driverKey, "O_PRUN"));

  // The uninstall closes the resident first; only the user's target stays.
  ASSERT_EQ(0, Msiexec("/x"));
  EXPECT_EQ(0, resident.Wait(TIMEOUT_MS));
  EXPECT_EQ(nullptr, residentctl::TableWindow(printer));
  EXPECT_FALSE(testenv::FileExists(dir.substr(0, dir.rfind('\\')))) << "the install folders";
  EXPECT_FALSE(testenv::RegKeyExists(HKEY_LOCAL_MACHINE, "software\\OLMAR"));
  EXPECT_EQ("<missing>", testenv::GetReg(HKEY_LOCAL_MACHINE, REG_RUN_KEY, printer));
  EXPECT_NE("", TargetKeyOf(printer));
}

}  // namespace
}  // namespace e2e
