// Monitored targets over winsim: the printer library's call and results, keys that
// cannot be made or written, a spooler failing in different ways, failed deletions;
// and that keys, printers and libraries are all given back.
#include "targets/TargetRegistry.h"

#include "profile/DriverFolder.h"
#include "winsim/control.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string kVQL = "software\\OLMAR\\PRW3\\PRWData\\VQLTarget";

std::vector<std::string> g_calls;  // the arguments of each call, joined by "|"
int g_libraryResult = 0;

int WINAPI RecordSetDefaults(LPCSTR printer, LPCSTR driver, LPCSTR port, LPCSTR model, DWORD zero1, DWORD zero2,
                             DWORD zero3) {
  g_calls.push_back(std::string(printer) + "|" + driver + "|" + port + "|" + model + "|" +
                    std::to_string(zero1 + zero2 + zero3));
  return g_libraryResult;
}

std::string Target(int number) {
  char sz[32];
  snprintf(sz, sizeof(sz), "\\P%016d", number);
  return kVQL + sz;
}
std::string Name(int number) { return testenv::GetReg(HKEY_CURRENT_USER, Target(number), "Name"); }
void Seed(int number, const std::string& name) { testenv::SetRegString(HKEY_CURRENT_USER, Target(number), "Name", name); }

class TargetRegistryNativeTest : public testing::Test {
protected:
  void SetUp() override {
    g_calls.clear();
    g_libraryResult = 0;
    m_folder.WriteIni("[Install]\r\nDRVNAME=Drv1\r\n[X1]\r\nPrnDll=PRNLIB.DLL\r\n");
  }
  void TearDown() override {
    EXPECT_EQ(0u, winsim::OpenKeyCount() + winsim::OpenPrinterCount() + winsim::LoadedModuleCount());
  }
  void RegisterLibrary(bool withExport) {
    winsim::ModuleImage image;
    if (withExport) image.exports["PrSetRegDefaultValue"] = winsim::AsExport(&RecordSetDefaults);
    winsim::RegisterModule(m_folder.Path("PRNLIB.DLL"), image);
  }
  int Get(const std::string& printer, const std::string& port = "") {
    int nameKind = -1;
    strcpy(m_path, "");
    return GetTargetKey(printer.c_str(), port.c_str(), "X1", &nameKind, m_path);
  }
  // Adds a target for another new printer, which runs the purge first.
  void Purge() { Get("prw3 new " + std::to_string(++m_nNew)); }

  profiletest::CDriverFolder m_folder;
  char m_path[MAX_PATH] = "";
  int m_nNew = 0;
};

TEST_F(TargetRegistryNativeTest, PrinterLibraryFillsEachNewTargetOnceAndItsResultIsHandedBack) {
  // A library that cannot serve leaves no target behind, and the next call makes it again.
  for (int result : {4, 5}) {
    if (result == 5) RegisterLibrary(false);
    EXPECT_EQ(result, Get("prw3test"));
    EXPECT_STREQ("", m_path);
    EXPECT_FALSE(winsim::KeyExists(HKEY_CURRENT_USER, Target(0)));
  }
  RegisterLibrary(true);
  EXPECT_EQ(0, Get("prw3test", "CUPS:prw3test"));
  EXPECT_EQ(Target(0), m_path);
  EXPECT_EQ(0, Get("PRW3TEST"));
  g_libraryResult = 7;
  m_folder.WriteIni("[X1]\r\nPrnDll=PRNLIB.DLL\r\n");
  EXPECT_EQ(7, Get("", "LPT9:"));
  EXPECT_EQ(std::vector<std::string>({"prw3test|Drv1|CUPS:prw3test|X1|0", "|OLMAR X1|LPT9:|X1|0"}), g_calls);
}

TEST_F(TargetRegistryNativeTest, KeysThatCannotBeMadeOrNamedGiveOne) {
  RegisterLibrary(true);
  // "Setting" not read back: the path is handed out, the library is not called.
  winsim::InjectFault("RegQueryValueExA", ERROR_ACCESS_DENIED, 1);
  EXPECT_EQ(1, Get("prw3test"));
  EXPECT_EQ(Target(0), m_path);
  testenv::DeleteRegTree(HKEY_CURRENT_USER, kVQL);
  for (unsigned nth : {1u, 2u}) {  // the family key, the numbered key
    winsim::InjectFault("RegCreateKeyExA", ERROR_ACCESS_DENIED, nth);
    EXPECT_EQ(1, Get("prw3test"));
  }
  EXPECT_FALSE(winsim::KeyExists(HKEY_CURRENT_USER, Target(0)));
  // "Name" not written: the bare key stays, and the next purge takes it back.
  winsim::InjectFault("RegSetValueExA", ERROR_ACCESS_DENIED, 1);
  EXPECT_EQ(1, Get("prw3test"));
  EXPECT_STREQ("", m_path);
  EXPECT_TRUE(winsim::KeyExists(HKEY_CURRENT_USER, Target(0)));
  EXPECT_EQ(0, Get("prw3test"));
  EXPECT_EQ(Target(0), m_path);
  EXPECT_EQ(1u, g_calls.size());
}

TEST_F(TargetRegistryNativeTest, OnlyAPrinterTheSpoolerDoesNotKnowIsStale) {
  RegisterLibrary(true);
  const struct {
    const char* api;
    DWORD error;
    unsigned nth;
    bool kept;
  } cases[] = {
      {"OpenPrinter", RPC_S_SERVER_UNAVAILABLE, 0, true},  {"OpenPrinter", ERROR_ACCESS_DENIED, 0, true},
      {"OpenPrinter", ERROR_INVALID_PRINTER_NAME, 0, false}, {"GetPrinterA", ERROR_NOT_ENOUGH_MEMORY, 1, true},
      {"GetPrinterA", ERROR_NOT_ENOUGH_MEMORY, 2, true},
  };
  for (const auto& c : cases) {
    Seed(0, "prw3test");
    for (const char* api : {"OpenPrinterA", "OpenPrinterW", "GetPrinterA"})
      if (std::string(api).find(c.api) == 0) winsim::InjectFault(api, c.error, c.nth);
    Purge();
    winsim::ClearFaults();
    // A purged target's number goes to the new one.
    EXPECT_EQ(c.kept, Name(0) == "prw3test") << c.api << " " << c.error << " " << c.nth;
    testenv::DeleteRegTree(HKEY_CURRENT_USER, kVQL);
  }
  winsim::AddPrinter("prw3 no driver", "LPT1:", nullptr);
  winsim::AddPrinter("prw3 no processor", "LPT1:", "drv", nullptr);
  Seed(0, "prw3 no driver");
  Seed(1, "prw3 no processor");
  Purge();
  EXPECT_EQ("prw3 new 6", Name(0));
  EXPECT_FALSE(winsim::KeyExists(HKEY_CURRENT_USER, Target(1)));
}

TEST_F(TargetRegistryNativeTest, PurgeOpensEachPrinterOnceAndMarksBeforeDeleting) {
  RegisterLibrary(true);
  for (int i = 0; i < 6; ++i) Seed(i, "prw3 gone");
  Purge();
  EXPECT_EQ(6u, winsim::CallCount("OpenPrinterA"));
  EXPECT_FALSE(winsim::KeyExists(HKEY_CURRENT_USER, Target(1)));
  winsim::InjectFault("RegDeleteKeyA", ERROR_ACCESS_DENIED);
  Purge();
  winsim::ClearFaults();
  EXPECT_EQ(std::optional<DWORD>(255), winsim::ReadRegDword(HKEY_CURRENT_USER, Target(0), "Setting"));
  // A part of the tree that cannot be deleted ends that deletion, without looping.
  const std::string deep = Target(0) + "\\a\\b";
  testenv::SetRegDword(HKEY_CURRENT_USER, deep, "x", 1);
  winsim::DenyKeyAccess(HKEY_CURRENT_USER, deep, DELETE);
  Purge();
  EXPECT_TRUE(winsim::KeyExists(HKEY_CURRENT_USER, deep));
}

}  // namespace
