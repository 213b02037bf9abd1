// Shared monitor table under injected failures: a block that cannot be created or
// opened, a view that fails at any step; nothing is written after a failed view and no
// handle or view is left behind.
#include "shared/MonitorTable.h"

#include <gtest/gtest.h>

#include "shared/MonitorTableTestUtil.h"
#include "winsim/control.h"

namespace {

using namespace monitortest;

const DWORD PLACEHOLDER = 0xFFFFFFFF;

class MonitorTableNativeTest : public CTableTest {};

TEST_F(MonitorTableNativeTest, BlockThatCannotBeCreatedOrOpened) {
  HWND hOther = reinterpret_cast<HWND>(1);
  HANDLE hMap = reinterpret_cast<HANDLE>(1);
  winsim::InjectFault("CreateFileMappingA", ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(-1, RegisterMonitorWindow("Office Printer", "", 3, PLACEHOLDER, &hOther, &hMap));
  EXPECT_EQ(nullptr, hOther);
  EXPECT_EQ(nullptr, hMap);

  // The first view fails: the handle is closed again and the new block is gone.
  winsim::ClearFaults();
  winsim::InjectFault("MapViewOfFile", ERROR_NOT_ENOUGH_MEMORY, 1);
  hMap = reinterpret_cast<HANDLE>(1);
  EXPECT_EQ(-1, RegisterMonitorWindow("Office Printer", "", 3, PLACEHOLDER, &hOther, &hMap));
  EXPECT_EQ(nullptr, hMap);
  EXPECT_EQ(0u, winsim::KernelHandleCount());
  EXPECT_EQ(0u, winsim::FileMappingCount());
  EXPECT_EQ(0u, winsim::MappedViewCount());

  winsim::ClearFaults();
  ASSERT_EQ(0, Register("Office Printer", "", 3, PLACEHOLDER));
  EXPECT_EQ(2u * 274, winsim::LargestMappedViewSize()) << "views reach only as far as the entries examined";
  winsim::InjectFault("OpenFileMappingA", ERROR_ACCESS_DENIED);
  HWND hWnd = NewWindow();
  EXPECT_EQ(-1, SetMonitorWindow("Office Printer", "", hWnd, 3));
  winsim::ClearFaults();
  CPeerBlock block(BLOCK1);
  ASSERT_TRUE(block.IsOpen());
  EXPECT_EQ(PLACEHOLDER, block.Kind3(0));
}

// Registers "Office Printer" with the nth view failing, for every n from the second on
// (the first is the creation step's), until the registration needs fewer views than
// that; the block must be as before each failure. Returns the result without failure.
int RegisterWithEveryViewFailing(CPeerBlock& block) {
  const std::vector<BYTE> before = block.Snapshot();
  const size_t handles = winsim::KernelHandleCount();
  const size_t views = winsim::MappedViewCount();
  for (unsigned n = 2; n < 2000; ++n) {
    winsim::ClearFaults();
    winsim::InjectFault("MapViewOfFile", ERROR_NOT_ENOUGH_MEMORY, n);
    HWND hOther = reinterpret_cast<HWND>(1);
    HANDLE hMap = nullptr;
    int result = RegisterMonitorWindow("Office Printer", "", 3, 0x00ABCDEF, &hOther, &hMap);
    EXPECT_NE(nullptr, hMap) << "view " << n;
    EXPECT_EQ(handles + 1, winsim::KernelHandleCount()) << "view " << n;
    EXPECT_EQ(views, winsim::MappedViewCount()) << "view " << n;
    CloseHandle(hMap);
    if (result != 2) {
      winsim::ClearFaults();
      return result;
    }
    EXPECT_EQ(nullptr, hOther);
    EXPECT_EQ(before, block.Snapshot()) << "written after view " << n << " failed";
  }
  return -99;
}

TEST_F(MonitorTableNativeTest, RegistrationWritesNothingAfterAFailedView) {
  HWND hLive = NewWindow();
  ASSERT_EQ(0, Register("Seed", "", 3, PLACEHOLDER));
  CPeerBlock block(BLOCK1);
  ASSERT_TRUE(block.IsOpen());

  // Added where the end marker was, which moves on.
  EXPECT_EQ(0, RegisterWithEveryViewFailing(block));
  EXPECT_EQ(0xFF, block.FirstByte(2));
  // Found with a dead slot.
  block.SetDword(1, BLOCK1.offKind3, PLACEHOLDER);
  EXPECT_EQ(0, RegisterWithEveryViewFailing(block));
  EXPECT_EQ(0x00ABCDEFu, block.Kind3(1));
  // Found with a live window.
  block.SetDword(1, BLOCK1.offKind3, HwndValue(hLive));
  EXPECT_EQ(1, RegisterWithEveryViewFailing(block));
  // Added in an entry freed before.
  block.Entry(1)[0] = 0;
  block.Write(2, "Shop", 0, 0, 0);
  block.Entry(3)[0] = 0xFF;
  EXPECT_EQ(0, RegisterWithEveryViewFailing(block));
  EXPECT_EQ("Office Printer", block.Name(1));
}

TEST_F(MonitorTableNativeTest, StoringAndRemovalWriteNothingAfterAFailedView) {
  HWND hWnd = NewWindow();
  ASSERT_EQ(0, Register("Lab Printer", "", 0, PLACEHOLDER));
  ASSERT_EQ(0, Register("Office Printer", "", 3, PLACEHOLDER));
  CPeerBlock block(BLOCK1);
  ASSERT_TRUE(block.IsOpen());
  const std::vector<BYTE> before = block.Snapshot();
  const size_t handles = winsim::KernelHandleCount();
  const size_t views = winsim::MappedViewCount();

  // Storing the window needs the entry-0 and entry-1 views; removal the same.
  for (unsigned n = 1; n <= 2; ++n) {
    winsim::ClearFaults();
    winsim::InjectFault("MapViewOfFile", ERROR_NOT_ENOUGH_MEMORY, n);
    EXPECT_EQ(-1, SetMonitorWindow("Office Printer", "", hWnd, 3)) << "view " << n;
    winsim::ClearFaults();
    winsim::InjectFault("MapViewOfFile", ERROR_NOT_ENOUGH_MEMORY, n);
    UnregisterMonitorWindow(m_handles.front(), "Office Printer", "", 3, FALSE);
    EXPECT_EQ(before, block.Snapshot()) << "view " << n;
    EXPECT_EQ(handles, winsim::KernelHandleCount());
    EXPECT_EQ(views, winsim::MappedViewCount());
  }

  winsim::ClearFaults();
  EXPECT_EQ(0, SetMonitorWindow("Office Printer", "", hWnd, 3));
  EXPECT_EQ(-2, SetMonitorWindow("Shop", "", hWnd, 3));
  UnregisterMonitorWindow(m_handles.front(), "Office Printer", "", 3, FALSE);
  EXPECT_EQ(0, block.FirstByte(1));
  EXPECT_EQ(handles, winsim::KernelHandleCount());
  EXPECT_EQ(views, winsim::MappedViewCount());
}

TEST_F(MonitorTableNativeTest, LastEntryIsUsedWithoutMappingBeyondTheBlock) {
  ASSERT_EQ(0, Register("Seed", "", 3, PLACEHOLDER));
  {
    CPeerBlock block(BLOCK1);
    ASSERT_TRUE(block.IsOpen());
    for (int i = 0; i < ENTRY_COUNT - 1; ++i) block.Write(i, "Printer " + std::to_string(i), 0, 0, 0);
    block.Entry(ENTRY_COUNT - 1)[0] = 0xFF;
  }
  ASSERT_EQ(0, Register("Office Printer", "", 3, PLACEHOLDER));
  // The platform would map a view into the block's last page, past its end.
  EXPECT_LE(winsim::LargestMappedViewSize(), 137000u);
  CPeerBlock block(BLOCK1);
  EXPECT_EQ("Office Printer", block.Name(ENTRY_COUNT - 1));
  EXPECT_EQ(1u, winsim::MappedViewCount()) << "only the peer's view";
}

}  // namespace
