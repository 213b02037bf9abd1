// Monitored targets in the real registry and spooler, with the demo driver installed and a
// recorder in place of its printer library's export. Spooler and registry failures, and
// printers without a driver or a print processor, come through the imports.
#include "targets/TargetRegistry.h"

#include "profile/Contracts.h"
#include "support/DriverPackage.h"
#include "support/Fault.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <winspool.h>

#include <tuple>

namespace {

std::string g_calls;  // the recorder's arguments, a line per call
int g_result;

int WINAPI Record(LPCSTR printer, LPCSTR driver, LPCSTR port, LPCSTR model, DWORD r1, DWORD r2, DWORD r3) {
  g_calls += std::string(printer) + "|" + driver + "|" + port + "|" + model + "|" + std::to_string(r1 | r2 | r3) + "\n";
  return g_result;
}
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
    testenv::InstallDemoDriver("prw3test", "prw3test"), g_calls.clear(), g_result = 0;
  }
  void TearDown() override { testenv::UninstallDemoDriver(); }
  // "result name-kind path"; every key, printer and library taken is given back.
  std::string Get(const std::string& printer, const std::string& port = "") {
    // A creation loop ends at the 100th key, not in a full hive.
    fault::CHook open("RegOpenKeyExA"), create("RegCreateKeyExA"), close("RegCloseKey"), openA("OpenPrinterA"),
        openW("OpenPrinterW"), closePrinter("ClosePrinter"), load("LoadLibraryA"), free("FreeLibrary"),
        runaway("RegCreateKeyExA", ERROR_ACCESS_DENIED, 100);
    int kind = -1;
    testenv::CGuarded path(MAX_PATH);
    const int result = GetTargetKey(printer.c_str(), port.c_str(), "PRW3DEMO", &kind, path);
    EXPECT_EQ(
        std::make_tuple(open.Successes() + create.Successes(), openA.Successes() + openW.Successes(), load.Successes()),
        std::make_tuple(close.Calls(), closePrinter.Calls(), free.Calls()))
        << "keys, printers, libraries";
    return std::to_string(result) + " " + std::to_string(kind) + " " + path.Get();
  }

  fault::CReplace<decltype(&GetProcAddress)> m_recorder{
      "GetProcAddress", [](auto real, HMODULE module, LPCSTR name) {
        return strcmp(name, PR_SET_REG_DEFAULT_VALUE)
                   ? real(module, name)
                   : reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&Record));
      }};
};

TEST_F(TargetRegistry, TargetsAreFoundInAnyLetterCaseOrMadeAfterAPurgeAtTheLowestFreeNumber) {
  Seed(Target(0, REG_VQN_TARGET_KEY), "");
  EXPECT_EQ("0 1 " + Target(1, REG_VQN_TARGET_KEY), Get("", "LPT9:")) << "no printer-name targets: no purge";
  EXPECT_EQ("0 0 " + Target(0), Get("prw3test", "CUPS:prw3test"));
  EXPECT_EQ("0 10",
            testenv::GetReg(HKEY_CURRENT_USER, Target(0), REG_TARGET_SETTING) + " " +
                testenv::GetReg(HKEY_CURRENT_USER, Target(0), REG_TARGET_TIMER));
  EXPECT_EQ("0 0 " + Target(0) + "0 1 " + Target(1, REG_VQN_TARGET_KEY), Get("PRW3TEST") + Get("", "lpt9:"));
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
  const auto* tib = reinterpret_cast<const NT_TIB*>(NtCurrentTeb());
  bool added = false;
  auto late = FAULT_REPLACE(RegEnumKeyExA, [&](auto real, HKEY h, DWORD i, LPSTR name, auto... rest) {
    if (!added && (name < tib->StackLimit || name >= tib->StackBase)) added = true, Seed(Target(5), "prw3 late");
    return real(h, i, name, rest...);
  });
  EXPECT_EQ("7 0 " + Target(1), Get("prw3 new")) << "the library's result is handed back";
  std::string left = std::to_string(open.Calls());
  for (int i = 0; i < 8; ++i) left += "|" + State(i < 6 ? Target(i) : Target(i - 6, REG_VQN_TARGET_KEY));
  EXPECT_EQ("4|prw3test|prw3 new|gone|prw3test|<missing>|prw3 late|gone|LPT9:", left);
  EXPECT_EQ("|prw3test|LPT9:|PRW3DEMO|0\nprw3test|prw3test|CUPS:prw3test|PRW3DEMO|0\nprw3 new|prw3test||PRW3DEMO|0\n",
            g_calls);
}

TEST_F(TargetRegistry, ANewTargetThatCannotBeMadeNamedOrFilledGivesItsCause) {
  // A library that cannot be loaded or lacks its export, or a key that cannot be made,
  // leaves no target; one whose "Name" could not be written is left for the next purge;
  // one whose "Setting" is not read back (the third read, after the look-up's and the
  // purge's reads of the nameless key's "Name") is handed out, without the library.
  const std::tuple<const char*, unsigned, std::string, const char*> cases[] = {
      {"LoadLibraryA", fault::kEveryCall, "4 0 ", "gone"},
      {"GetProcAddress", fault::kEveryCall, "5 0 ", "gone"},
      {"RegCreateKeyExA", 1, "1 0 ", "gone"},
      {"RegCreateKeyExA", 2, "1 0 ", "gone"},
      {"RegSetValueExA", 1, "1 0 ", "<missing>"},
      {"RegQueryValueExA", 3, "1 0 " + Target(0), "prw3test"}};
  for (const auto& [import, nth, result, left] : cases) {
    fault::CHook failed(import, ERROR_ACCESS_DENIED, nth);
    EXPECT_EQ(result, Get("prw3test")) << import << " " << nth;
    EXPECT_EQ(left, State(Target(0))) << import << " " << nth;
  }
  EXPECT_EQ("", g_calls);
  {  // ... nor when it reads back as another value.
    testenv::DeleteRegTree(HKEY_CURRENT_USER, REG_VQL_TARGET_KEY);
    auto other =
        FAULT_REPLACE(RegQueryValueExA, [](auto real, HKEY h, LPCSTR name, auto r, auto type, LPBYTE data, auto cb) {
          const LSTATUS status = real(h, name, r, type, data, cb);
          if (!status && data && name && !strcmp(name, REG_TARGET_SETTING)) *reinterpret_cast<DWORD*>(data) = 255;
          return status;
        });
    EXPECT_EQ("1 0 " + Target(0), Get("prw3test"));
  }
  // The library's own results may share those numbers; a target it ran for stays.
  for (const int result : {TARGET_NO_LIBRARY, TARGET_NO_EXPORT}) {
    testenv::DeleteRegTree(HKEY_CURRENT_USER, REG_VQL_TARGET_KEY);
    g_result = result;
    EXPECT_EQ(std::to_string(result) + " 0 " + Target(0), Get("prw3test"));
    EXPECT_EQ("prw3test", State(Target(0)));
  }
}

TEST_F(TargetRegistry, OnlyAPrinterUnknownToTheSpoolerOrWithoutDriverOrProcessorIsStale) {
  // A failed open (and its wide-character retry) or nth read of the printer's record, or a
  // record without a driver or a print processor. A stale target is marked before it is
  // deleted, and a key below it that cannot be opened for deletion ends the deletion.
  const std::string locked = Target(0) + "\\a\\b";
  LPSTR PRINTER_INFO_2A::*nulled = nullptr;
  auto read = FAULT_REPLACE(GetPrinterA, [&](auto real, HANDLE h, DWORD level, LPBYTE p, DWORD cb, LPDWORD n) {
    const BOOL done = real(h, level, p, cb, n);
    if (done && nulled) reinterpret_cast<PRINTER_INFO_2A*>(p)->*nulled = nullptr;
    return done;
  });
  auto denied = FAULT_REPLACE(RegOpenKeyExA, [&](auto real, HKEY root, LPCSTR key, DWORD o, REGSAM sam, PHKEY out) {
    return locked == key ? ERROR_ACCESS_DENIED : real(root, key, o, sam, out);
  });
  const struct {
    DWORD error;
    unsigned nth;
    LPSTR PRINTER_INFO_2A::*nulled;
    const char* setting;
  } cases[] = {{RPC_S_SERVER_UNAVAILABLE, fault::kEveryCall, nullptr, "<missing>"},
               {ERROR_ACCESS_DENIED, fault::kEveryCall, nullptr, "<missing>"},
               {ERROR_INVALID_PRINTER_NAME, fault::kEveryCall, nullptr, "255"},
               {ERROR_NOT_ENOUGH_MEMORY, 1, nullptr, "<missing>"},
               {ERROR_NOT_ENOUGH_MEMORY, 2, nullptr, "<missing>"},
               {0, 0, &PRINTER_INFO_2A::pDriverName, "255"},
               {0, 0, &PRINTER_INFO_2A::pPrintProcessor, "255"}};
  for (const auto& c : cases) {
    Seed(Target(0), "prw3test"), Seed(locked, ""), nulled = c.nulled;
    const bool open = c.nth == fault::kEveryCall;
    fault::CHook a(open ? "OpenPrinterA" : "GetPrinterA", c.error, c.nth), w("OpenPrinterW", c.error, open ? c.nth : 0);
    Get("prw3 new");
    EXPECT_EQ(c.setting, testenv::GetReg(HKEY_CURRENT_USER, Target(0), REG_TARGET_SETTING)) << c.error << " " << c.nth;
    testenv::DeleteRegTree(HKEY_CURRENT_USER, REG_VQL_TARGET_KEY);
  }
}

}  // namespace
