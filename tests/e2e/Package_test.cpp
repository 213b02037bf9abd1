// The .msi as administrators run it, quietly: msiexec installs the resident and the demo
// driver for the test printer, the start-up entry it writes starts the resident, the next
// version upgrades it keeping its configuration, and msiexec removes it all again but the
// user's target; a failed install leaves nothing, and the names are checked and kept.
#include "e2e/E2eTest.h"

#include "targets/TargetRegistry.h"

#include <msi.h>

#include <sstream>

namespace e2e {
namespace {

const std::string kPackage = "\\prw3demo-" PRW3_VERSION "-x64.msi",
                  kNext = "\\next\\prw3demo-" PRW3_NEXT_VERSION "-x64.msi";

// msiexec's exit code for a package of the build (/i or /x) with the properties, quiet;
// -1 when it did not end.
int Msiexec(const char* option, const std::string& properties = "", const std::string& package = kPackage) {
  CProcess msiexec;
  return msiexec.StartCommandLine(std::string("msiexec ") + option + " \"" + BinDir() + package + "\" " + properties +
                                  " /qn")
             ? msiexec.Wait(60000)
             : -1;
}

// How many versions of the package Programs and Features lists.
int InstalledProducts() {
  char szProduct[39];
  int n = 0;
  while (MsiEnumRelatedProductsA("{81158715-EA44-44F6-AC5E-C80B85B7321C}", 0, n, szProduct) == ERROR_SUCCESS) ++n;
  return n;
}

// Checks every string value the REGEDIT4 text writes against the registry, the machine's
// for every key: the package installs for all users, its start-up entry too.
void ExpectRegistryHolds(const std::string& regText) {
  std::istringstream in(regText);
  std::string key;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > 2 && line.front() == '[')
      key = line.substr(line.find('\\') + 1, line.find(']') - line.find('\\') - 1);
    const size_t sep = line.find("\"=\"");
    if (line.empty() || line.front() != '"' || sep == std::string::npos) continue;
    std::string data, raw = line.substr(sep + 3, line.size() - sep - 4);
    for (size_t i = 0; i < raw.size(); ++i) data += raw[i] == '\\' ? raw[++i] : raw[i];
    EXPECT_EQ(data, testenv::GetReg(HKEY_LOCAL_MACHINE, key, line.substr(1, sep - 1))) << key << "\\" << line;
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

TEST_F(PackageTest, InstallsUpgradesKeepingItsConfigurationAndUninstallsAllButTheTarget) {
  const std::string printer = testenv::ExistingPrinter(), port = "CUPS:" + printer,
                    dir = testenv::DemoPackageParam("INSTALL_DIR");
  ASSERT_EQ(0, Msiexec("/i", "PRINTER=" + printer + " DRIVER=" + printer + " PORT=" + port));
  EXPECT_EQ(1, InstalledProducts());

  // Each binary's version resource and embedded application manifest (resource 1 of type 24).
  for (const char* param : {"RESIDENT_EXE", "STATUS_EXE", "AUX_EXE", "PRN_DLL", "RES_DLL_ENGLISH", "RES_DLL_GERMAN"}) {
    const std::string path = dir + "\\" + testenv::DemoPackageParam(param);
    std::vector<char> data(GetFileVersionInfoSizeA(path.c_str(), nullptr) + 1);
    VS_FIXEDFILEINFO* pInfo = nullptr;
    char* pszProduct = nullptr;
    UINT cb = 0;
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, static_cast<DWORD>(data.size()), data.data()) &&
                VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&pInfo), &cb) &&
                VerQueryValueA(
                    data.data(), "\\StringFileInfo\\040904B0\\ProductName", reinterpret_cast<void**>(&pszProduct), &cb))
        << path;
    EXPECT_EQ(PRW3_VERSION ".0 OLMAR Printwatch 3",
              std::to_string(HIWORD(pInfo->dwFileVersionMS)) + "." + std::to_string(LOWORD(pInfo->dwFileVersionMS)) +
                  "." + std::to_string(HIWORD(pInfo->dwFileVersionLS)) + "." +
                  std::to_string(LOWORD(pInfo->dwFileVersionLS)) + " " + pszProduct)
        << path;
    CLibrary hModule(LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(hModule.IsValid()) << path;
    HRSRC hRes = FindResourceA(hModule, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    const std::string manifest = hRes ? std::string(static_cast<const char*>(LockResource(LoadResource(hModule, hRes))),
                                                    SizeofResource(hModule, hRes))
                                      : "";
    const bool program = lstrcmpiA(path.c_str() + path.size() - 4, ".exe") == 0;
    EXPECT_EQ(program, manifest.find("level=\"asInvoker\"") != std::string::npos) << path;
    EXPECT_EQ(program, manifest.find("{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}") != std::string::npos) << path;
    EXPECT_EQ(std::string::npos, manifest.find("dpiAware")) << path;
  }

  // The start-up entry: the resident's short path, unquoted, then /A and the quoted
  // parameter file beside the driver's files; every value and file as the description
  // has them, before and after the upgrade.
  const std::string run = testenv::GetReg(HKEY_LOCAL_MACHINE, REG_RUN_KEY, printer);
  char szShort[MAX_PATH] = {0};
  GetShortPathNameA((dir + "\\" + testenv::DemoPackageParam("RESIDENT_EXE")).c_str(), szShort, MAX_PATH);
  const std::string head = std::string(szShort) + " /A \"" + dir + "\\O_P";
  ASSERT_EQ(0u, run.find(head)) << run;
  ASSERT_EQ(".TMP\"", run.substr(run.size() - 5)) << run;
  const std::string paramFile = run.substr(head.size() - 3, run.size() - head.size() + 2);
  const testenv::InstallNames names = {printer, printer, port, szShort, paramFile};
  const auto expectConfiguration = [&] {
    EXPECT_EQ(run, testenv::GetReg(HKEY_LOCAL_MACHINE, REG_RUN_KEY, printer));
    ExpectRegistryHolds(testenv::BindInstallNames(testenv::ReadDemoPackageFile("template/prw3demo.reg"), true, names));
    for (const std::string& file : {testenv::DemoPackageParam("INI_FILE"), std::string("param.tmp")})
      EXPECT_EQ(testenv::BindInstallNames(testenv::ReadDemoPackageFile("template/" + file), false, names),
                testenv::ReadFile(dir + "\\" + (file == "param.tmp" ? paramFile : file)));
  };
  expectConfiguration();

  // The entry's command starts the resident; Printer Status, once, writes O_PRUN back.
  CProcess resident;
  ASSERT_TRUE(resident.StartCommandLine(run)) << GetLastError();
  HWND hWnd = resident.Serving(printer);
  ASSERT_NE(nullptr, hWnd) << "exit code " << resident.Wait(0);
  ASSERT_TRUE(PostMessageA(hWnd, WM_TRAYNOTIFY, 0, WM_LBUTTONDBLCLK));
  const std::vector<Record> records = WaitForRecords(1);
  ASSERT_EQ(1u, records.size());
  EXPECT_EQ("status", records[0].at("program"));
  EXPECT_TRUE(WaitForProcessesToEnd(testenv::DemoPackageParam("STATUS_EXE").c_str()));
  const std::string driverKey = "software\\OLMAR\\PRW3\\Driver\\" + printer;
  const auto writeBacks = [&] {
    return testenv::GetReg(HKEY_LOCAL_MACHINE, driverKey, "InstallPath") + "|" +
           testenv::GetReg(HKEY_LOCAL_MACHINE, driverKey, "O_PRUN");
  };
  EXPECT_EQ(dir + "|" + dir + "\\" + testenv::DemoPackageParam("STATUS_EXE"), writeBacks());

  // The next version, pushed quietly without properties: it closes the resident, and one
  // product remains with the same start-up entry, files, keys and write-backs.
  const std::string kept = writeBacks();
  ASSERT_EQ(0, Msiexec("/i", "", kNext));
  EXPECT_EQ(0, resident.Wait(TIMEOUT_MS));
  EXPECT_EQ(1, InstalledProducts());
  expectConfiguration();
  EXPECT_EQ(kept, writeBacks());

  // Removal leaves only the user's target.
  ASSERT_EQ(0, Msiexec("/x", "", kNext));
  EXPECT_EQ(0, InstalledProducts());
  EXPECT_FALSE(testenv::FileExists(dir.substr(0, dir.rfind('\\')))) << "the install folders";
  EXPECT_FALSE(testenv::RegKeyExists(HKEY_LOCAL_MACHINE, "software\\OLMAR"));
  EXPECT_EQ("<missing>", testenv::GetReg(HKEY_LOCAL_MACHINE, REG_RUN_KEY, printer));
  char szTarget[MAX_PATH];
  EXPECT_EQ(TARGET_FOUND, FindTargetKey(printer.c_str(), FALSE, szTarget));
}

TEST_F(PackageTest, FailedInstallLeavesNothingAndNamesAreCheckedAndKept) {
  const std::string dir = testenv::DemoPackageParam("INSTALL_DIR");
  const auto nothingLeft = [&](const std::string& printer) {
    return InstalledProducts() == 0 && !testenv::FileExists(dir.substr(0, dir.rfind('\\'))) &&
           !testenv::RegKeyExists(HKEY_LOCAL_MACHINE, "software\\OLMAR") &&
           testenv::GetReg(HKEY_LOCAL_MACHINE, REG_RUN_KEY, printer) == "<missing>";
  };
  // Made to fail after the text files are written: everything is rolled back.
  EXPECT_EQ(ERROR_INSTALL_FAILURE, Msiexec("/i", "PRINTER=prw3test DRIVER=prw3test PRW3FAILWHENDEFERRED=1"));
  EXPECT_TRUE(nothingLeft("prw3test"));
  // A double quote would break the parameter file's quoting: refused before anything is
  // written (msiexec cannot pass one; the installer's own call can).
  MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
  EXPECT_EQ(UINT(ERROR_INSTALL_FAILURE),
            MsiInstallProductA((BinDir() + kPackage).c_str(), "PRINTER=\"Office \"\"A\"\"\" DRIVER=prw3test"));
  EXPECT_TRUE(nothingLeft("Office \"A\""));
  // A name starting with '#' comes back whole when a repair reads the saved names, and
  // the uninstall finds its entry by it.
  ASSERT_EQ(0, Msiexec("/i", "\"PRINTER=#2 Office\" DRIVER=prw3test"));
  const std::string run = testenv::GetReg(HKEY_LOCAL_MACHINE, REG_RUN_KEY, "#2 Office");
  const std::string paramFile = run.substr(run.find(" /A \"") + 5, run.size() - run.find(" /A \"") - 6);
  testenv::DeleteRegValue(HKEY_LOCAL_MACHINE, REG_RUN_KEY, "#2 Office");
  testenv::RemoveFile(paramFile);
  ASSERT_EQ(0, Msiexec("/i", "REINSTALL=ALL REINSTALLMODE=amus"));
  EXPECT_EQ(run, testenv::GetReg(HKEY_LOCAL_MACHINE, REG_RUN_KEY, "#2 Office"));
  EXPECT_EQ(0u, testenv::ReadFile(paramFile).find("/P \"#2 Office\"\r\n"));
  ASSERT_EQ(0, Msiexec("/x"));
  EXPECT_TRUE(nothingLeft("#2 Office"));
}

}  // namespace
}  // namespace e2e
