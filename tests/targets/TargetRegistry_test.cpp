// Monitored targets in the real registry and spooler, with the demo driver installed and a
// recorder in place of its printer library's export. Spooler and registry failures, and
// printers without a driver or a print processor, come through the imports.
#include "targets/TargetRegistry.h"

#include "profile/Contracts.h"
#include "support/DriverPackage.h"
#include "support/Fault.h"
#include "support/TestEnv.h"

#include <winspool.h>

#include <algorithm>
#include <utility>
#include <tuple>

namespace {

std::string g_calls;  // the recorder's arguments, a line per call
int g_result;

int WINAPI Record(LPCSTR printer, LPCSTR driver, LPCSTR port, LPCSTR model, DWORD r1, DWORD r2, DWORD r3) {
  g_calls += std::string(printer) + "|" + driver + "|" + port + "|" + model + "|" + std::to_string(r1 | r2 | r3) + "\n";
  return g_result;
}
const FARPROC kRecord = reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&Record));
std::string Target(int n, const char* f = REG_VQL_TARGET_KEY) { return f + ("\\P000000000000000" + std::to_string(n)); }
// A target's "Name", "<missing>" when it has none, or "gone".
std::string State(const std::string& p) {
  return testenv::RegKeyExists(HKEY_CURRENT_USER, p) ? testenv::GetReg(HKEY_CURRENT_USER, p, REG_TARGET_NAME) : "gone";
}
// A target as an earlier run left it; an empty name leaves it without "Name".
void Seed(const std::string& path, const std::string& name) {
  testenv::SetRegString(HKEY_CURRENT_USER, path, name.empty() ? "Other" : REG_TARGET_NAME, name);
}

class TargetRegistry : public testing::Test {
protected:
  // What a run that was cut short left behind goes first.
  void SetUp() override {
    testenv::DeleteRegTree(HKEY_CURRENT_USER, "software\\OLMAR");
    testenv::InstallDemoDriver("prw3test", "prw3test");
    g_calls.clear();
    g_result = 0;
  }
  void TearDown() override { testenv::UninstallDemoDriver(); }
  // "result name-kind path"; every key, printer and library taken is given back.
  std::string Get(const char* printer, const char* port = "") {
    fault::CHook open("RegOpenKeyExA"), create("RegCreateKeyExA"), close("RegCloseKey");
    fault::CHook openA("OpenPrinterA"), openW("OpenPrinterW"), shut("ClosePrinter");
    fault::CHook load("LoadLibraryA"), free("FreeLibrary");
    int kind = -1;
    testenv::CGuarded path(MAX_PATH);
    const int result = GetTargetKey(printer, port, "PRW3DEMO", &kind, path);
    const unsigned nKeys = open.Successes() + create.Successes(), nPrinters = openA.Successes() + openW.Successes();
    EXPECT_EQ(std::tuple(nKeys, nPrinters, load.Successes()), std::tuple(close.Calls(), shut.Calls(), free.Calls()));
    return std::to_string(result) + " " + std::to_string(kind) + " " + path.Get();
  }

  fault::CReplace<decltype(&GetProcAddress)> m_recorder{
      "GetProcAddress", [](auto real, HMODULE module, LPCSTR name) {
        return strcmp(name, PR_SET_REG_DEFAULT_VALUE) ? real(module, name) : kRecord;
      }};
  // A creation loop ends at the 100th key, not in a full hive.
  fault::CReplace<decltype(&RegCreateKeyExA)> m_runaway{
      "RegCreateKeyExA", [](auto real, HKEY root, LPCSTR key, auto... rest) {
        return strstr(key, "\\P0000000000000100") ? ERROR_ACCESS_DENIED : real(root, key, rest...);
      }};
};

TEST_F(TargetRegistry, TargetsAreFoundInAnyLetterCaseOrMadeAfterAPurgeAtTheLowestFreeNumber) {
  Seed(Target(0, REG_VQN_TARGET_KEY), "");
  // No printer-name targets: no purge.
  EXPECT_EQ("0 1 " + Target(1, REG_VQN_TARGET_KEY), Get("", "LPT9:"));
  EXPECT_EQ("0 0 " + Target(0), Get("prw3test", "CUPS:prw3test"));
  EXPECT_EQ("0", testenv::GetReg(HKEY_CURRENT_USER, Target(0), REG_TARGET_SETTING));
  EXPECT_EQ("10", testenv::GetReg(HKEY_CURRENT_USER, Target(0), REG_TARGET_TIMER));
  EXPECT_EQ("0 0 " + Target(0), Get("PRW3TEST"));
  EXPECT_EQ("0 1 " + Target(1, REG_VQN_TARGET_KEY), Get("", "lpt9:"));
  char path[MAX_PATH] = "-";
  EXPECT_EQ(TARGET_NO_MATCH, FindTargetKey("other", FALSE, path));
  EXPECT_STREQ("-", path);
  // The purge opens each named target's printer once and deletes the stale targets with all
  // below them; a key deep down whose path cannot be held ends a deletion, without coming
  // back to it. Port-name targets are not checked against the spooler.
  const char* names[] = {"prw3 gone one", "prw3 gone two", "prw3test", ""};
  for (int i = 1; i < 5; ++i) Seed(Target(i), names[i - 1]);
  for (const char* below : {"\\a\\a1", "\\a\\a2", "\\b"}) Seed(Target(2) + below, "");
  Seed(Target(4) + "\\k\\" + std::string(202, 'k'), "");
  g_result = 7;
  fault::CHook open("OpenPrinterA");
  // A target added after the purge counted the keys (its names read into the list's own
  // block, not the stack) is left for the next walk.
  ULONG_PTR low = 0, high = 0;
  GetCurrentThreadStackLimits(&low, &high);
  bool added = false;
  auto late = FAULT_REPLACE(RegEnumKeyExA, [&](auto real, HKEY h, DWORD i, LPSTR name, auto... rest) {
    if ((ULONG_PTR(name) < low || ULONG_PTR(name) >= high) && !std::exchange(added, true)) Seed(Target(5), "prw3 late");
    return real(h, i, name, rest...);
  });
  EXPECT_EQ("7 0 " + Target(1), Get("prw3 new"));  // the library's result is handed back
  std::string left = std::to_string(open.Calls());
  for (int i = 0; i < 8; ++i) left += "|" + State(i < 6 ? Target(i) : Target(i - 6, REG_VQN_TARGET_KEY));
  EXPECT_EQ("4|prw3test|prw3 new|gone|prw3test|<missing>|prw3 late|gone|LPT9:", left);
  EXPECT_EQ("|prw3test|LPT9:|PRW3DEMO|0\nprw3test|prw3test|CUPS:prw3test|PRW3DEMO|0\nprw3 new|prw3test||PRW3DEMO|0\n",
            g_calls);
}

TEST_F(TargetRegistry, ANewTargetThatCannotBeMadeNamedOrFilledGivesItsCause) {
  // A library that cannot be loaded or lacks its export, or a key that cannot be made,
  // leaves no target; one whose "Name" could not be written is left for the next purge;
  // one whose "Setting" is not read back, or reads back as another value, is handed out,
  // without the library.
  std::string failing, result;  // an import failing every call, or the key or value not made, written or read
  DWORD dwSettingRead = 0;      // when not 0, what "Setting" reads back as
  const char* left = nullptr;
  auto deny = [&](auto real, HKEY h, LPCSTR name, auto... rest) {
    return name && failing == name ? ERROR_ACCESS_DENIED : real(h, name, rest...);
  };
  auto create = FAULT_REPLACE(RegCreateKeyExA, deny);
  auto set = FAULT_REPLACE(RegSetValueExA, deny);
  auto query =
      FAULT_REPLACE(RegQueryValueExA, [&](auto real, HKEY h, LPCSTR name, auto r, auto type, LPBYTE p, auto cb) {
        const LSTATUS status = deny(real, h, name, r, type, p, cb);
        if (dwSettingRead && status == ERROR_SUCCESS && p && name && !strcmp(name, REG_TARGET_SETTING))
          memcpy(p, &dwSettingRead, sizeof(dwSettingRead));
        return status;
      });
  // What fails, what "Setting" reads back as (0: as stored), the library's result, then
  // GetTargetKey's result and what is left. The library's own results may share the
  // numbers of a library not loaded or without its export; a target it ran for stays.
  const std::tuple<std::string, DWORD, int, std::string, const char*> cases[] = {
      {"LoadLibraryA", 0, 0, "4 0 ", "gone"},
      {"GetProcAddress", 0, 0, "5 0 ", "gone"},
      {REG_VQL_TARGET_KEY, 0, 0, "1 0 ", "gone"},
      {Target(0), 0, 0, "1 0 ", "gone"},
      {REG_TARGET_NAME, 0, 0, "1 0 ", "<missing>"},
      {REG_TARGET_SETTING, 0, 0, "1 0 " + Target(0), "prw3test"},
      {"", 255, 0, "1 0 " + Target(0), "prw3test"},
      {"", 0, TARGET_NO_LIBRARY, "4 0 " + Target(0), "prw3test"},
      {"", 0, TARGET_NO_EXPORT, "5 0 " + Target(0), "prw3test"}};
  for (const auto& row : cases) {
    testenv::DeleteRegTree(HKEY_CURRENT_USER, REG_VQL_TARGET_KEY);
    std::tie(failing, dwSettingRead, g_result, result, left) = row;
    fault::CHook noLibrary("LoadLibraryA", failing == "LoadLibraryA" ? ERROR_MOD_NOT_FOUND : 0);
    fault::CHook noExport("GetProcAddress", failing == "GetProcAddress" ? ERROR_PROC_NOT_FOUND : 0);
    EXPECT_EQ(result, Get("prw3test")) << failing;
    EXPECT_EQ(left, State(Target(0))) << failing;
  }
  // The library runs only for a target it may fill.
  EXPECT_EQ(2, std::count(g_calls.begin(), g_calls.end(), '\n'));
}

TEST_F(TargetRegistry, OnlyAPrinterUnknownToTheSpoolerOrWithoutDriverOrProcessorIsStale) {
  // A failed open (and its wide-character retry) or read of the printer's record, or a
  // record without a driver or a print processor. A stale target is marked before it is
  // deleted, and a key below it that cannot be opened for deletion ends the deletion.
  const std::string locked = Target(0) + "\\a\\b";
  enum Read { kRead, kProbeFails, kReadFails };
  Read read = kRead;
  LPSTR PRINTER_INFO_2A::*nulled = nullptr;
  auto record = FAULT_REPLACE(GetPrinterA, [&](auto real, HANDLE h, DWORD level, LPBYTE p, DWORD cb, LPDWORD n) {
    const BOOL done = real(h, level, p, cb, n);
    if (read == (p ? kReadFails : kProbeFails)) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return FALSE;
    }
    if (done && nulled) reinterpret_cast<PRINTER_INFO_2A*>(p)->*nulled = nullptr;
    return done;
  });
  auto denied = FAULT_REPLACE(RegOpenKeyExA, [&](auto real, HKEY root, LPCSTR key, DWORD o, REGSAM sam, PHKEY out) {
    return locked == key ? ERROR_ACCESS_DENIED : real(root, key, o, sam, out);
  });
  const std::tuple<DWORD, Read, LPSTR PRINTER_INFO_2A::*, const char*> cases[] = {
      {RPC_S_SERVER_UNAVAILABLE, kRead, nullptr, "<missing>"},
      {ERROR_ACCESS_DENIED, kRead, nullptr, "<missing>"},
      {ERROR_INVALID_PRINTER_NAME, kRead, nullptr, "255"},
      {0, kProbeFails, nullptr, "<missing>"},
      {0, kReadFails, nullptr, "<missing>"},
      {0, kRead, &PRINTER_INFO_2A::pDriverName, "255"},
      {0, kRead, &PRINTER_INFO_2A::pPrintProcessor, "255"}};
  for (const auto& [error, how, field, setting] : cases) {
    Seed(Target(0), "prw3test");
    Seed(locked, "");
    read = how;
    nulled = field;
    fault::CHook a("OpenPrinterA", error), w("OpenPrinterW", error);
    Get("prw3 new");
    EXPECT_EQ(setting, testenv::GetReg(HKEY_CURRENT_USER, Target(0), REG_TARGET_SETTING)) << error << " " << how;
    testenv::DeleteRegTree(HKEY_CURRENT_USER, REG_VQL_TARGET_KEY);
  }
}

}  // namespace
