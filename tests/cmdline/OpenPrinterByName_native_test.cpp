// Opening printers when the spooler misbehaves: the wide-character fallback, and the
// error the caller reads being the one of the call whose result it got.
#include "base/StrUtil.h"
#include "cmdline/CommandLine.h"
#include "cmdline/OpenPrinterByName.h"

#include "support/TestEnv.h"
#include "winsim/control.h"

#include <gtest/gtest.h>

namespace {

BOOL Open(const std::string& name, DWORD* pError) {
  std::string copy = name;
  HANDLE h = nullptr;
  SetLastError(0xdeadbeef);
  BOOL ok = OpenPrinterByName(&copy[0], &h, nullptr);
  *pError = GetLastError();
  if (h) ClosePrinter(h);
  return ok;
}

TEST(OpenPrinterByName, FallsBackToTheWideCallOnlyOnTheNtFamily) {
  DWORD error = 0;
  winsim::InjectFault("OpenPrinterA", ERROR_INVALID_PRINTER_NAME, 1);
  EXPECT_TRUE(Open(testenv::ExistingPrinter(), &error));
  EXPECT_EQ(1u, winsim::CallCount("OpenPrinterW"));

  winsim::SetPlatformId(VER_PLATFORM_WIN32_WINDOWS);
  winsim::InjectFault("OpenPrinterA", ERROR_ACCESS_DENIED, 1);
  EXPECT_FALSE(Open(testenv::ExistingPrinter(), &error));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), error);
  EXPECT_EQ(1u, winsim::CallCount("OpenPrinterW"));

  // A failed conversion returns the ANSI call's result with its own error.
  winsim::SetPlatformId(VER_PLATFORM_WIN32_NT);
  winsim::InjectFault("MultiByteToWideChar", ERROR_NO_UNICODE_TRANSLATION);
  EXPECT_FALSE(Open("prw3 missing", &error));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME), error);
  EXPECT_EQ(0u, winsim::OpenPrinterCount());
}

TEST(OpenPrinterByName, SpoolerDownOrRefusalIsToldApartFromAMissingPrinter) {
  std::string name = testenv::ExistingPrinter();
  CCommandLine cl;
  CopyStr(cl.m_szPrinterName, name.c_str());

  winsim::InjectFault("OpenPrinterA", RPC_S_SERVER_UNAVAILABLE);
  winsim::InjectFault("OpenPrinterW", RPC_S_SERVER_UNAVAILABLE);
  EXPECT_FALSE(cl.FillFromPrinter());
  EXPECT_EQ(static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE), cl.m_nPrinterError);
  winsim::ClearFaults();

  winsim::InjectFault("OpenPrinterA", ERROR_ACCESS_DENIED);
  winsim::InjectFault("OpenPrinterW", ERROR_ACCESS_DENIED);
  EXPECT_FALSE(cl.FillFromPrinter());
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), cl.m_nPrinterError);
  winsim::ClearFaults();

  // A record that cannot be read: the printer exists, the names stay as they were.
  winsim::InjectFault("GetPrinterA", ERROR_NOT_ENOUGH_MEMORY, 2);
  EXPECT_FALSE(cl.FillFromPrinter());
  EXPECT_EQ(0u, cl.m_nPrinterError);
  EXPECT_STREQ("", cl.m_szDriverName);
  EXPECT_EQ(0u, winsim::OpenPrinterCount());

  // Names the spooler reports longer than the fields are not taken.
  winsim::AddPrinter("long driver", "LPT1:", std::string(300, 'd').c_str());
  CopyStr(cl.m_szPrinterName, "long driver");
  EXPECT_TRUE(cl.FillFromPrinter());
  EXPECT_STREQ("", cl.m_szDriverName);
  EXPECT_STREQ("LPT1:", cl.m_szPortName);
}

}  // namespace
