// Conformance: opening printers by name and the level-2 size protocol behave alike on
// both platforms, on the printer the test environment provides.
#include <windows.h>
#include <winspool.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/TestEnv.h"

namespace {

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

// WCHAR is 16 bits on both platforms, but the literal prefixes differ.
std::vector<WCHAR> Wide(const char* s) {
  std::vector<WCHAR> w(s, s + strlen(s));
  w.push_back(0);
  return w;
}

TEST(SpoolerConformance, OpenPrinterRejectsUnknownAndEmptyNames) {
  struct Case {
    std::string name;
    DWORD error;
  } cases[] = {{"prw3 no such printer", ERROR_INVALID_PRINTER_NAME}, {"", ERROR_INVALID_PARAMETER}};
  for (Case& c : cases) {
    HANDLE h = reinterpret_cast<HANDLE>(0x1234);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(OpenPrinterA(&c.name[0], &h, nullptr)) << c.name;
    EXPECT_EQ(c.error, GetLastError()) << c.name;
    EXPECT_EQ(nullptr, h) << c.name;
    std::vector<WCHAR> wide = Wide(c.name.c_str());
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(OpenPrinterW(wide.data(), &h, nullptr)) << c.name;
    EXPECT_EQ(c.error, GetLastError()) << c.name;
  }
}

TEST(SpoolerConformance, GetPrinterLevel2SizeProtocol) {
  std::vector<WCHAR> wide = Wide(Upper(testenv::ExistingPrinter()).c_str());
  HANDLE h = nullptr;
  ASSERT_TRUE(OpenPrinterW(wide.data(), &h, nullptr)) << GetLastError();
  EXPECT_TRUE(ClosePrinter(h));
  std::string name = Upper(testenv::ExistingPrinter());
  h = nullptr;
  ASSERT_TRUE(OpenPrinterA(&name[0], &h, nullptr)) << GetLastError();
  ASSERT_NE(nullptr, h);

  DWORD need = 0xdeadbeef;
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(GetPrinterA(h, 2, nullptr, 0, &need));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  ASSERT_GT(need, sizeof(PRINTER_INFO_2A));
  ASSERT_LT(need, 0x10000u);

  std::vector<BYTE> block(need + 16, 0x55);
  DWORD again = 0;
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(GetPrinterA(h, 2, block.data(), need - 1, &again));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  EXPECT_EQ(need, again);
  EXPECT_EQ(0x55, block[0]);

  ASSERT_TRUE(GetPrinterA(h, 2, block.data(), need, &again));
  EXPECT_EQ(need, again);
  EXPECT_EQ(0x55, block[need]);
  const auto* info = reinterpret_cast<const PRINTER_INFO_2A*>(block.data());
  const BYTE* begin = block.data();
  const BYTE* end = begin + need;
  for (LPSTR s : {info->pPrinterName, info->pPortName, info->pDriverName, info->pPrintProcessor, info->pDatatype}) {
    ASSERT_NE(nullptr, s);
    const BYTE* p = reinterpret_cast<const BYTE*>(s);
    EXPECT_TRUE(p >= begin && p + strlen(s) < end) << s;
  }
  EXPECT_EQ(testenv::ExistingPrinter(), info->pPrinterName);
  EXPECT_EQ("CUPS:" + testenv::ExistingPrinter(), info->pPortName);
  EXPECT_EQ(testenv::ExistingPrinter(), info->pDriverName);
  EXPECT_STREQ("WinPrint", info->pPrintProcessor);
  EXPECT_STREQ("RAW", info->pDatatype);
  EXPECT_EQ(nullptr, info->pServerName);

  EXPECT_TRUE(ClosePrinter(h));
}

TEST(SpoolerConformance, NullNameOpensTheServerWithoutPrinterRecord) {
  HANDLE h = nullptr;
  ASSERT_TRUE(OpenPrinterA(nullptr, &h, nullptr));
  DWORD need = 0;
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(GetPrinterA(h, 2, nullptr, 0, &need));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
  EXPECT_TRUE(ClosePrinter(h));
}

}  // namespace
