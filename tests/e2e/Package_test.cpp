// The .msi as administrators run it, quietly: msiexec installs the resident and the demo
// driver for a printer, the start-up entry it writes starts the resident, the next version
// upgrades it keeping its configuration, and msiexec removes it all again but the user's
// target; a failed install leaves nothing, the names are checked and kept, and the package
// takes over no entry another program wrote.
#include "e2e/E2eTest.h"

#include "targets/TargetRegistry.h"

#include <msi.h>
#include <msiquery.h>

#include <sstream>

namespace e2e {
namespace {

const std::string kPackage = "\\prw3demo-" PRW3_VERSION "-x64.msi",
                  kNext = "\\next\\prw3demo-" PRW3_NEXT_VERSION "-x64.msi";
const char kSetupKey[] = "software\\OLMAR\\PRW3\\Setup";

// msiexec's exit code for a package (of the build unless a path is given) with the
// properties, quiet; -1 when it did not start or end.
int Msiexec(const char* option, const std::string& properties = "", const std::string& package = kPackage) {
  const std::string path = package[0] == '\\' ? BinDir() + package : package;
  CProcess msiexec;
  msiexec.StartCommandLine(std::string("msiexec ") + option + " \"" + path + "\" " + properties + " /qn");
  return msiexec.Wait(60000);
}

// Runs SQL on a package: the first field of each row a SELECT finds, a line each; other
// statements change the package.
std::string Query(const std::string& package, const std::string& sql) {
  PMSIHANDLE db, view;
  const bool select = sql.rfind("SELECT", 0) == 0;
  if (MsiOpenDatabaseA(package.c_str(), select ? MSIDBOPEN_READONLY : MSIDBOPEN_TRANSACT, &db) ||
      MsiDatabaseOpenViewA(db, sql.c_str(), &view) || MsiViewExecute(view, 0))
    return "<failed: " + sql + ">";
  std::string rows;
  for (PMSIHANDLE record; select && MsiViewFetch(view, &record) == ERROR_SUCCESS;) {
    char szValue[1024] = "";
    DWORD cch = sizeof(szValue);
    MsiRecordGetStringA(record, 1, szValue, &cch);
    rows += szValue + std::string("\n");
  }
  return select || MsiDatabaseCommit(db) == ERROR_SUCCESS ? rows : "<not committed>";
}

// The machine's start-up entry of that name.
std::string RunEntry(const std::string& name) { return testenv::GetReg(HKEY_LOCAL_MACHINE, REG_RUN_KEY, name); }

// The parameter file a start-up entry's command names.
std::string ParamFileOf(const std::string& run) {
  const size_t start = run.find(" /A \"") + 5;
  return run.substr(start, run.size() - start - 1);
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
    if (line[0] == '[') key = line.substr(line.find('\\') + 1, line.find(']') - line.find('\\') - 1);
    const size_t sep = line.find("\"=\"");
    if (line[0] != '"' || sep == std::string::npos) continue;
    std::string data, raw = line.substr(sep + 3, line.rfind('"') - sep - 3);
    for (size_t i = 0; i < raw.size(); ++i) data += raw[i] == '\\' ? raw[++i] : raw[i];
    EXPECT_EQ(data, testenv::GetReg(HKEY_LOCAL_MACHINE, key, line.substr(1, sep - 1))) << key << "\\" << line;
  }
}

// Whether the package left nothing: no product, folder, key or start-up entry.
bool NothingLeft(const std::wstring& entry) {
  const std::string dir = testenv::DemoPackageParam("INSTALL_DIR");
  const std::wstring runKey(REG_RUN_KEY, REG_RUN_KEY + strlen(REG_RUN_KEY));
  return InstalledProducts() == 0 && !testenv::FileExists(dir.substr(0, dir.rfind('\\'))) &&
         !testenv::RegKeyExists(HKEY_LOCAL_MACHINE, "software\\OLMAR") &&
         RegGetValueW(HKEY_LOCAL_MACHINE, runKey.c_str(), entry.c_str(), RRF_RT_ANY, nullptr, nullptr, nullptr) ==
             ERROR_FILE_NOT_FOUND;
}

class PackageTest : public E2eTest {
protected:
  // A package left by an aborted run goes first, and one this test left goes after it.
  void SetUp() override {
    E2eTest::SetUp();
    for (const std::string& package : {kPackage, kNext}) Msiexec("/x", "", package);
  }
  void TearDown() override {
    if (HasFailure())
      for (const std::string& package : {kPackage, kNext}) Msiexec("/x", "", package);
    testenv::DeleteRegValue(HKEY_LOCAL_MACHINE, REG_RUN_KEY, "Victim");
    E2eTest::TearDown();
  }

  // A copy of a package of the build with a step of the tests' own that fails (WriteTextFile
  // without data), of the custom action type and at the place given: the shipped packages
  // have none, nor a switch for one.
  std::string FailingCopy(const std::string& package, int type, int sequence) {
    const std::string copy = testenv::TempDir() + "prw3-failing.msi";
    m_files.push_back(copy);
    EXPECT_TRUE(CopyFileA((BinDir() + package).c_str(), copy.c_str(), FALSE));
    for (const std::string& sql :
         {"INSERT INTO CustomAction (Action, Type, Source, Target) VALUES ('Fail', " + std::to_string(type) +
              ", 'PackageActions', 'WriteTextFile')",
          "INSERT INTO InstallExecuteSequence (Action, Sequence) VALUES ('Fail', " + std::to_string(sequence) + ")"})
      EXPECT_EQ("", Query(copy, sql));
    return copy;
  }
};

// With a printer name outside ASCII that the system's code page (1252 here) holds.
TEST_F(PackageTest, InstallsUpgradesKeepingItsConfigurationAndUninstallsAllButTheTarget) {
  const std::string printer = "B\xFCro Drucker", driver = testenv::ExistingPrinter(),
                    port = "FILE:", dir = testenv::DemoPackageParam("INSTALL_DIR"),
                    statusExe = dir + "\\" + testenv::DemoPackageParam("STATUS_EXE");
  AddFilePrinter(printer);
  ASSERT_EQ(0, Msiexec("/i", "\"PRINTER=" + printer + "\" DRIVER=" + driver + " PORT=" + port));

  // Each binary's version resource and embedded application manifest (resource 1 of type 24).
  for (const char* param : {"RESIDENT_EXE", "STATUS_EXE", "AUX_EXE", "PRN_DLL", "RES_DLL_ENGLISH", "RES_DLL_GERMAN"}) {
    const std::string path = dir + "\\" + testenv::DemoPackageParam(param);
    char szVersion[32] = "";
    DWORD cch = sizeof(szVersion);
    std::vector<char> data(GetFileVersionInfoSizeA(path.c_str(), nullptr) + 1);
    char* pszProduct = nullptr;
    UINT cb = 0;
    ASSERT_TRUE(MsiGetFileVersionA(path.c_str(), szVersion, &cch, nullptr, nullptr) == ERROR_SUCCESS &&
                GetFileVersionInfoA(path.c_str(), 0, static_cast<DWORD>(data.size()), data.data()) &&
                VerQueryValueA(
                    data.data(), "\\StringFileInfo\\040904B0\\ProductName", reinterpret_cast<void**>(&pszProduct), &cb))
        << path;
    EXPECT_EQ(PRW3_VERSION ".0 OLMAR Printwatch 3", szVersion + std::string(" ") + pszProduct) << path;
    CLibrary hModule(LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(hModule.IsValid()) << path;
    HRSRC hRes = FindResourceA(hModule, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    const char* pszManifest = hRes ? static_cast<const char*>(LockResource(LoadResource(hModule, hRes))) : "";
    const std::string manifest(pszManifest, hRes ? SizeofResource(hModule, hRes) : 0);
    const bool program = lstrcmpiA(path.c_str() + path.size() - 4, ".exe") == 0;
    for (const char* part :
         {"level=\"asInvoker\"", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", ">PerMonitorV2, PerMonitor<"})
      EXPECT_EQ(program, manifest.find(part) != std::string::npos) << path << " " << part;
  }

  // The start-up entry: the resident's short path, unquoted, then /A and the quoted
  // parameter file beside the driver's files; every value and file as the description
  // has them, and the status program's path as the resident writes it back, before and
  // after the upgrade.
  const std::string run = RunEntry(printer);
  char szShort[MAX_PATH] = {0};
  GetShortPathNameA((dir + "\\" + testenv::DemoPackageParam("RESIDENT_EXE")).c_str(), szShort, MAX_PATH);
  const std::string head = std::string(szShort) + " /A \"" + dir + "\\O_P";
  ASSERT_EQ(0u, run.find(head)) << run;
  ASSERT_EQ(".TMP\"", run.substr(run.size() - 5)) << run;
  const std::string paramFile = run.substr(head.size() - 3, run.size() - head.size() + 2);
  const testenv::InstallNames names = {driver, printer, port, szShort, paramFile};
  const auto expectConfiguration = [&] {
    EXPECT_EQ(run, RunEntry(printer));
    ExpectRegistryHolds(testenv::BindInstallNames(testenv::ReadDemoPackageFile("template/prw3demo.reg"), true, names));
    EXPECT_EQ(statusExe, testenv::GetReg(HKEY_LOCAL_MACHINE, "software\\OLMAR\\PRW3\\Driver\\" + driver, "O_PRUN"));
    for (const std::string& file : {testenv::DemoPackageParam("INI_FILE"), std::string("param.tmp")})
      EXPECT_EQ(testenv::BindInstallNames(testenv::ReadDemoPackageFile("template/" + file), false, names),
                testenv::ReadFile(dir + "\\" + (file == "param.tmp" ? paramFile : file)));
  };
  expectConfiguration();

  // The entry's command starts the resident, which serves the printer.
  CProcess resident;
  ASSERT_TRUE(resident.StartCommandLine(run)) << GetLastError();
  ASSERT_NE(nullptr, resident.Serving(printer)) << "exit code " << resident.Wait(0);

  // The next version, pushed quietly without properties: it closes the resident and waits
  // for its end, and one product remains with the same start-up entry, files and keys.
  const std::string log = testenv::TempDir() + "prw3-upgrade.log";
  m_files.push_back(log);
  ASSERT_EQ(0, Msiexec("/i", "/l*v \"" + log + "\"", kNext));
  EXPECT_EQ(0, resident.Wait(0));
  const std::string waited = "(process " + std::to_string(GetProcessId(resident.Handle())) + ") ended";
  EXPECT_NE(std::string::npos, testenv::ReadFile(log).find(waited)) << waited;
  EXPECT_EQ(1, InstalledProducts());
  expectConfiguration();

  // Removal leaves only the user's target.
  ASSERT_EQ(0, Msiexec("/x", "", kNext));
  EXPECT_TRUE(NothingLeft(L"B\u00FCro Drucker"));
  char szTarget[MAX_PATH];
  EXPECT_EQ(TARGET_FOUND, FindTargetKey(printer.c_str(), FALSE, szTarget));
}

TEST_F(PackageTest, NamesAreCheckedAndKeptAndFailuresLeaveNothingOrTheInstalledVersion) {
  // The shipped package can fail neither on purpose nor by a switch; a copy made to fail
  // after the text files are written is rolled back whole.
  const std::string package = BinDir() + kPackage;
  const std::string tables = Query(package, "SELECT Action FROM CustomAction") +
                             Query(package, "SELECT Value FROM Property WHERE Property = 'SecureCustomProperties'");
  for (const char* name : {"FailWhenDeferred", "PRW3FAILWHENDEFERRED"})
    EXPECT_EQ(std::string::npos, tables.find(name)) << tables;
  EXPECT_EQ(ERROR_INSTALL_FAILURE,
            Msiexec("/i", "PRINTER=prw3test DRIVER=prw3test", FailingCopy(kPackage, 3073, 6590)));
  EXPECT_TRUE(NothingLeft(L"prw3test"));
  // A double quote would break the parameter file's quoting, and a name the system's code
  // page (1252 here) cannot hold could not reach the resident: refused before anything is
  // written (msiexec cannot pass them; the installer's own calls can).
  MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
  EXPECT_EQ(UINT(ERROR_INSTALL_FAILURE),
            MsiInstallProductA(package.c_str(), "PRINTER=\"Office \"\"A\"\"\" DRIVER=prw3test"));
  EXPECT_TRUE(NothingLeft(L"Office \"A\""));
  EXPECT_EQ(UINT(ERROR_INSTALL_FAILURE),
            MsiInstallProductW(std::wstring(package.begin(), package.end()).c_str(),
                               L"PRINTER=\"\u0141\u00F3d\u017A Printer\" DRIVER=\"\u0141\u00F3d\u017A Drv\""));
  EXPECT_TRUE(NothingLeft(L"\u0141\u00F3d\u017A Printer"));
  // Another program's start-up entry, and a driver key of another installation, are
  // refused as names before anything is written, and stay.
  const std::string otherKey = "software\\OLMAR\\PRW3\\Driver\\Other Drv";
  testenv::SetRegString(HKEY_LOCAL_MACHINE, REG_RUN_KEY, "Victim", "C:\\victim.exe");
  testenv::SetRegString(HKEY_LOCAL_MACHINE, otherKey, "ModelID", "OTHER");
  EXPECT_EQ(ERROR_INSTALL_FAILURE, Msiexec("/i", "PRINTER=Victim DRIVER=prw3test"));
  EXPECT_EQ(ERROR_INSTALL_FAILURE, Msiexec("/i", "PRINTER=prw3test \"DRIVER=Other Drv\""));
  Msiexec("/x");
  EXPECT_EQ("C:\\victim.exe|OTHER",
            RunEntry("Victim") + "|" + testenv::GetReg(HKEY_LOCAL_MACHINE, otherKey, "ModelID"));
  testenv::DeleteRegTree(HKEY_LOCAL_MACHINE, "software\\OLMAR");

  // A name starting with '#' comes back whole when a repair reads the saved names, and
  // the uninstall finds its entry by it. With its saved value gone, a repair takes the name
  // from the installed parameter file, never from its command line.
  ASSERT_EQ(0, Msiexec("/i", "\"PRINTER=#2 Office\" DRIVER=prw3test"));
  const std::string run = RunEntry("#2 Office");
  const auto entryAndFile = [&] { return RunEntry("#2 Office") + "|" + testenv::ReadFile(ParamFileOf(run)); };
  const std::string installed = entryAndFile();
  EXPECT_EQ(0u, installed.find(run + "|/P \"#2 Office\"\r\n")) << installed;
  testenv::DeleteRegValue(HKEY_LOCAL_MACHINE, REG_RUN_KEY, "#2 Office");
  testenv::RemoveFile(ParamFileOf(run));
  ASSERT_EQ(0, Msiexec("/i", "REINSTALL=ALL REINSTALLMODE=omus"));
  EXPECT_EQ(installed, entryAndFile());
  testenv::DeleteRegValue(HKEY_LOCAL_MACHINE, kSetupKey, "Printer");
  ASSERT_EQ(0, Msiexec("/i", "REINSTALL=ALL REINSTALLMODE=omus PRINTER=Other"));
  EXPECT_EQ("<missing>|#2 Office|" + installed,
            RunEntry("Other") + "|" + testenv::GetReg(HKEY_LOCAL_MACHINE, kSetupKey, "Printer") + "|" + entryAndFile());
  // An upgrade that fails after it has closed the resident of a printer the spooler does
  // not know: the installed version keeps its start-up entry and parameter file.
  EXPECT_EQ(ERROR_INSTALL_FAILURE, Msiexec("/i", "", FailingCopy(kNext, 1, 1350)));
  EXPECT_EQ(1, InstalledProducts());
  EXPECT_EQ(installed, entryAndFile());
  ASSERT_EQ(0, Msiexec("/x"));
  EXPECT_TRUE(NothingLeft(L"#2 Office"));
}

}  // namespace
}  // namespace e2e
