// Opening printers when the spooler misbehaves: when the wide-character call is tried,
// and the error the caller reads being the one of the call whose result it got.
#include "base/StrUtil.h"
#include "cmdline/CommandLine.h"
#include "cmdline/OpenPrinterByName.h"

#include "support/TestEnv.h"
#include "winsim/control.h"

#include <gtest/gtest.h>

namespace {

TEST(OpenPrinterByName, WideCallOnlyOnTheNtFamilyAfterAFailedAnsiCallAndAGoodConversion) {
  // The ANSI call fails with ERROR_INVALID_PRINTER_NAME in every row but the last.
  const struct {
    DWORD platform;
    const char* failing;
    DWORD conversionError, error;
    BOOL opened;
    unsigned wideCalls;
  } cases[] = {
      {VER_PLATFORM_WIN32_NT, "OpenPrinterA", 0, 0, TRUE, 1},
      {VER_PLATFORM_WIN32_WINDOWS, "OpenPrinterA", 0, ERROR_INVALID_PRINTER_NAME, FALSE, 0},
      {VER_PLATFORM_WIN32_NT, "OpenPrinterA", ERROR_NO_UNICODE_TRANSLATION, ERROR_INVALID_PRINTER_NAME, FALSE, 0},
      {VER_PLATFORM_WIN32_NT, "OpenPrinterA", ERROR_INSUFFICIENT_BUFFER, ERROR_INVALID_PRINTER_NAME, FALSE, 0},
      {VER_PLATFORM_WIN32_NT, "none", 0, 0, TRUE, 0},
  };
  for (const auto& c : cases) {
    winsim::ClearFaults();
    const unsigned wideBefore = winsim::CallCount("OpenPrinterW");
    winsim::SetPlatformId(c.platform);
    winsim::InjectFault(c.failing, ERROR_INVALID_PRINTER_NAME, 1);
    if (c.conversionError) winsim::InjectFault("MultiByteToWideChar", c.conversionError);
    std::string name = testenv::ExistingPrinter();
    HANDLE h = nullptr;
    SetLastError(0xdeadbeef);
    EXPECT_EQ(c.opened, OpenPrinterByName(&name[0], &h, nullptr)) << c.platform << " " << c.conversionError;
    EXPECT_EQ(c.error, c.opened ? 0 : GetLastError()) << c.platform << " " << c.conversionError;
    EXPECT_EQ(c.wideCalls, winsim::CallCount("OpenPrinterW") - wideBefore) << c.platform << " " << c.conversionError;
    if (c.opened) ClosePrinter(h);
    EXPECT_EQ(0u, winsim::OpenPrinterCount());
  }
}

TEST(OpenPrinterByName, SpoolerDownOrRefusalIsToldApartFromAMissingPrinter) {
  CCommandLine cl;
  CopyStr(cl.m_szPrinterName, testenv::ExistingPrinter().c_str());
  for (DWORD error : {static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE), static_cast<DWORD>(ERROR_ACCESS_DENIED)}) {
    winsim::InjectFault("OpenPrinterA", error);
    winsim::InjectFault("OpenPrinterW", error);
    EXPECT_FALSE(cl.FillFromPrinter());
    EXPECT_EQ(error, cl.m_nPrinterError);
    winsim::ClearFaults();
  }
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
