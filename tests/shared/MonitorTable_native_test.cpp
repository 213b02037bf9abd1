// Shared monitor table under injected failures: a block that cannot be created or
// opened, a view that fails at any step; nothing is written after a failed view and no
// handle or view is left behind.
#include "shared/MonitorTable.h"

#include <gtest/gtest.h>

#include "shared/MonitorTableTestUtil.h"
#include "winsim/control.h"

namespace {

using namespace monitortest;

class MonitorTableNativeTest : public CTableTest {};

TEST_F(MonitorTableNativeTest, BlockThatCannotBeCreatedOrOpened) {
  for (const char* api : {"CreateFileMappingA", "MapViewOfFile"}) {
    winsim::InjectFault(api, ERROR_NOT_ENOUGH_MEMORY, 1);
    HWND hOther = nullptr;
    EXPECT_EQ(-1, Register("Office Printer", "", 3, PLACEHOLDER, &hOther)) << api;
    EXPECT_EQ(nullptr, m_hLastMap);
    EXPECT_EQ(0u, winsim::KernelHandleCount() + winsim::FileMappingCount() + winsim::MappedViewCount()) << api;
  }
  ASSERT_EQ(0, Register("Office Printer", "", 3, PLACEHOLDER));
  EXPECT_EQ(2u * 274, winsim::LargestMappedViewSize()) << "views reach only as far as the entries examined";
  winsim::InjectFault("OpenFileMappingA", ERROR_ACCESS_DENIED, 1);
  EXPECT_EQ(-1, SetMonitorWindow("Office Printer", "", NewWindow(), 3));
  EXPECT_EQ(PLACEHOLDER, CPeerBlock(BLOCK1).Kind3(0));
}

TEST_F(MonitorTableNativeTest, NothingIsWrittenAfterAFailedView) {
  HWND hLive = NewWindow();
  ASSERT_EQ(0, Register("Seed", "", 3, PLACEHOLDER));
  CPeerBlock block(BLOCK1);
  ASSERT_TRUE(block.IsOpen());
  // Registers with the nth view failing, for every n from the second on (the first is
  // the creation step's) until the registration needs fewer; the block must be as before.
  auto registerWithEveryViewFailing = [&]() {
    const std::vector<BYTE> before = block.Snapshot();
    for (unsigned n = 2;; ++n) {
      winsim::ClearFaults();
      winsim::InjectFault("MapViewOfFile", ERROR_NOT_ENOUGH_MEMORY, n);
      const int result = Register("Office Printer", "", 3, 0x00ABCDEF);
      EXPECT_EQ(2u, winsim::MappedViewCount() + winsim::KernelHandleCount() - m_handles.size()) << "the peer's only; " << n;
      if (result != 2) return result;
      EXPECT_EQ(before, block.Snapshot()) << "written after view " << n << " failed";
    }
  };
  EXPECT_EQ(0, registerWithEveryViewFailing()) << "added where the end marker was";
  EXPECT_EQ(0xFF, block.FirstByte(2));
  block.SetDword(1, BLOCK1.offKind3, PLACEHOLDER);
  EXPECT_EQ(0, registerWithEveryViewFailing()) << "found with a dead slot";
  EXPECT_EQ(0x00ABCDEFu, block.Kind3(1));
  block.SetDword(1, BLOCK1.offKind3, HwndValue(hLive));
  EXPECT_EQ(1, registerWithEveryViewFailing()) << "found with a live window";
  block.Entry(1)[0] = 0;
  block.Write(2, "Shop", 0, 0, 0);
  block.Entry(3)[0] = 0xFF;
  EXPECT_EQ(0, registerWithEveryViewFailing()) << "added in an entry freed before";
  EXPECT_EQ("Office Printer", block.Name(1));

  // Storing the window and removal need the entry-0 and entry-1 views.
  const std::vector<BYTE> before = block.Snapshot();
  for (unsigned n = 1; n <= 2; ++n) {
    winsim::ClearFaults();
    winsim::InjectFault("MapViewOfFile", ERROR_NOT_ENOUGH_MEMORY, n);
    EXPECT_EQ(-1, SetMonitorWindow("Office Printer", "", hLive, 3)) << "view " << n;
    winsim::ClearFaults();
    winsim::InjectFault("MapViewOfFile", ERROR_NOT_ENOUGH_MEMORY, n);
    UnregisterMonitorWindow(m_handles.front(), "Office Printer", "", 3, FALSE);
    EXPECT_EQ(before, block.Snapshot()) << "view " << n;
  }
  EXPECT_EQ(1u, winsim::MappedViewCount()) << "only the peer's view";
}

TEST_F(MonitorTableNativeTest, LastEntryIsUsedWithoutMappingBeyondTheBlock) {
  ASSERT_EQ(0, Register("Seed", "", 3, PLACEHOLDER));
  CPeerBlock block(BLOCK1);
  for (int i = 0; i < ENTRY_COUNT - 1; ++i) block.Write(i, "Printer " + std::to_string(i), 0, 0, 0);
  block.Entry(ENTRY_COUNT - 1)[0] = 0xFF;
  ASSERT_EQ(0, Register("Office Printer", "", 3, PLACEHOLDER));
  // The platform would map a view into the block's last page, past its end.
  EXPECT_LE(winsim::LargestMappedViewSize(), 137000u);
  EXPECT_EQ("Office Printer", block.Name(ENTRY_COUNT - 1));
}

}  // namespace
