// winsim's spooler: printers tests add and remove, records without driver or print
// processor, names outside the code page, handle counts. Native only (test controls).
#include <windows.h>
#include <winspool.h>

#include <gtest/gtest.h>

#include <vector>

#include "winsim/control.h"

namespace {

// The level-2 record of an open printer, in a block of the size the spooler asks for.
std::vector<BYTE> Record(HANDLE h) {
  DWORD need = 0;
  EXPECT_FALSE(GetPrinterA(h, 2, nullptr, 0, &need));
  std::vector<BYTE> block(need);
  EXPECT_TRUE(GetPrinterA(h, 2, block.data(), need, &need));
  return block;
}

TEST(WinsimSpooler, PrintersWithoutDriverOrProcessorAndRemoval) {
  winsim::AddPrinter("Office Printer", "FILE:", nullptr, nullptr);
  char name[] = "office printer";
  HANDLE h = nullptr;
  ASSERT_TRUE(OpenPrinterA(name, &h, nullptr));
  EXPECT_EQ(1u, winsim::OpenPrinterCount());
  std::vector<BYTE> block = Record(h);
  auto* info = reinterpret_cast<PRINTER_INFO_2A*>(block.data());
  EXPECT_STREQ("Office Printer", info->pPrinterName);
  EXPECT_STREQ("FILE:", info->pPortName);
  EXPECT_EQ(nullptr, info->pDriverName);
  EXPECT_EQ(nullptr, info->pPrintProcessor);

  // A removed printer no longer opens; a handle already open still describes it.
  EXPECT_TRUE(winsim::RemovePrinter("OFFICE PRINTER"));
  HANDLE h2 = nullptr;
  SetLastError(0);
  EXPECT_FALSE(OpenPrinterA(name, &h2, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME), GetLastError());
  EXPECT_STREQ("Office Printer", reinterpret_cast<PRINTER_INFO_2A*>(Record(h).data())->pPrinterName);
  EXPECT_FALSE(CloseHandle(h)) << "a printer handle is not a kernel handle";
  EXPECT_TRUE(ClosePrinter(h));
  EXPECT_EQ(0u, winsim::OpenPrinterCount());
}

TEST(WinsimSpooler, WideNamesMatchThroughTheCodePage) {
  winsim::AddPrinter("Caf\xE9", "LPT1:", "Drv");
  HANDLE h = nullptr;
  WCHAR upper[] = {'C', 'A', 'F', 0x00C9, 0};
  ASSERT_TRUE(OpenPrinterW(upper, &h, nullptr));
  EXPECT_TRUE(ClosePrinter(h));
  WCHAR outside[] = {'C', 'a', 'f', 0x4E00, 0};
  SetLastError(0);
  EXPECT_FALSE(OpenPrinterW(outside, &h, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME), GetLastError());
}

}  // namespace
