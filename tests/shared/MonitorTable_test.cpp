// Shared monitor table: registration, storing and removal as another program sees them
// in the blocks' bytes.
#include "shared/MonitorTable.h"

#include <gtest/gtest.h>

#include "shared/MonitorTableTestUtil.h"

namespace {

using namespace monitortest;

class MonitorTableTest : public CTableTest {};

TEST_F(MonitorTableTest, RegistrationStoringAndASecondResidentOfTheSameKey) {
  HWND hWnd = NewWindow();
  EXPECT_EQ(-1, SetMonitorWindow("Office Printer", "", hWnd, 3)) << "no block yet";
  HWND hOther = reinterpret_cast<HWND>(1);
  ASSERT_EQ(0, Register("Office Printer", "IP_10.0.0.5", 3, PLACEHOLDER, &hOther));
  EXPECT_EQ(nullptr, hOther);
  CPeerBlock block(BLOCK1);
  ASSERT_TRUE(block.IsOpen());
  EXPECT_EQ("Office Printer 0 0 0 FFFFFFFF", block.Show(0));
  EXPECT_EQ(0xFF00, block.FirstByte(1) << 8 | block.FirstByte(2)) << "the end marker, then nothing";
  EXPECT_FALSE(BlockExists(BLOCK2));

  EXPECT_EQ(0, SetMonitorWindow("Office Printer", "IP_10.0.0.5", hWnd, 3));
  EXPECT_EQ(HwndValue(hWnd), block.Kind3(0));
  const std::vector<BYTE> before = block.Snapshot();
  EXPECT_EQ(-2, SetMonitorWindow("Lab Printer", "", hWnd, 3));
  EXPECT_EQ(0, SetMonitorWindow("OFFICE PRINTER", "", hWnd, 9)) << "a kind without a slot stores nothing";
  // A live first resident keeps the slot.
  EXPECT_EQ(1, Register("OFFICE PRINTER", "", 3, PLACEHOLDER, &hOther));
  EXPECT_EQ(hWnd, hOther);
  EXPECT_NE(nullptr, m_hLastMap);
  EXPECT_EQ(before, block.Snapshot());
  // One that ended without removing itself, or never stored its window, leaves it.
  DestroyWindow(hWnd);
  for (int round = 0; round < 2; ++round) {
    HWND hNext = NewWindow();
    EXPECT_EQ(0, Register("office printer", "", 3, HwndValue(hNext), &hOther)) << round;
    EXPECT_EQ(nullptr, hOther);
    EXPECT_EQ("Office Printer", block.Name(0));
    EXPECT_EQ(HwndValue(hNext), block.Kind3(0));
    EXPECT_EQ(0xFF, block.FirstByte(1));
    block.SetDword(0, BLOCK1.offKind3, PLACEHOLDER);
  }
}

TEST_F(MonitorTableTest, KindsRemovalAndReuseOfFreedEntries) {
  HWND hWnd = NewWindow();
  ASSERT_EQ(0, Register("Office Printer", "", 3, 0x33));
  ASSERT_EQ(0, Register("Lab Printer", "", 3, PLACEHOLDER));
  CPeerBlock block(BLOCK1);
  ASSERT_TRUE(block.IsOpen());
  // Kinds 1 and 2 share one slot; kinds outside 0 to 3 have none.
  EXPECT_EQ(0, Register("Office Printer", "", 1, HwndValue(hWnd)));
  HWND hOther = nullptr;
  EXPECT_EQ(1, Register("Office Printer", "", 2, PLACEHOLDER, &hOther));
  EXPECT_EQ(hWnd, hOther);
  EXPECT_EQ(1, Register("Office Printer", "", 7, PLACEHOLDER, &hOther));
  EXPECT_EQ(nullptr, hOther);
  HANDLE hMap = m_handles.front();
  const std::vector<BYTE> before = block.Snapshot();
  UnregisterMonitorWindow(hMap, "Missing Printer", "", 3, FALSE);
  UnregisterMonitorWindow(hMap, "Office Printer", "", 7, FALSE);
  EXPECT_EQ(before, block.Snapshot());

  // Removal frees the entry only with its last slot, whichever slot that is; only the
  // first name byte is cleared.
  UnregisterMonitorWindow(hMap, "OFFICE PRINTER", "", 2, FALSE);
  EXPECT_EQ("Office Printer 0 0 0 33", block.Show(0));
  EXPECT_EQ(0, Register("Office Printer", "", 0, 0x10));
  UnregisterMonitorWindow(hMap, "Office Printer", "", 0, FALSE);
  EXPECT_EQ("Office Printer 0 0 0 33", block.Show(0));
  EXPECT_EQ(0, Register("Office Printer", "", 0, 0x10));
  UnregisterMonitorWindow(hMap, "Office Printer", "", 3, FALSE);
  EXPECT_EQ("Office Printer 0 0 10 0", block.Show(0));
  UnregisterMonitorWindow(hMap, "Office Printer", "", 0, FALSE);
  EXPECT_EQ(" 0 0 0 0", block.Show(0));
  EXPECT_EQ(0, memcmp(block.Entry(0) + 1, "ffice Printer", 14));
  EXPECT_EQ(-2, SetMonitorWindow("Office Printer", "", hWnd, 3));

  // The next key takes the freed entry, not the end marker; the rest of the old name stays.
  // A peer may free an entry by its first byte alone: the new key's slots start cleared.
  block.SetDword(0, BLOCK1.offKind12, 0x77);
  EXPECT_EQ(0, Register("Shop", "", 3, PLACEHOLDER));
  EXPECT_EQ("Shop 0 0 0 FFFFFFFF", block.Show(0));
  EXPECT_EQ(0, memcmp(block.Entry(0) + 5, "e Printer", 10));
  EXPECT_EQ(0xFF, block.FirstByte(2));
  // An empty printer name: the port name is the key in all three operations. The entry
  // at the end marker starts cleared too; kind 0 alone is freed with its slot.
  block.SetDword(2, BLOCK1.offKind3, 0x77);
  EXPECT_EQ(0, Register("", "IP_10.0.0.5", 0, PLACEHOLDER));
  EXPECT_EQ(0, SetMonitorWindow("", "IP_10.0.0.5", hWnd, 0));
  EXPECT_EQ("IP_10.0.0.5", block.Name(2));
  EXPECT_EQ(HwndValue(hWnd), block.Dword(2, BLOCK1.offKind0));
  UnregisterMonitorWindow(hMap, "", "IP_10.0.0.5", 0, TRUE);
  EXPECT_EQ(0, block.FirstByte(2));
}

TEST_F(MonitorTableTest, KeyLengthChoosesTheBlock) {
  const std::string key260(260, 'p'), key261(261, 'q'), key520(520, 'r'), key521(521, 's');
  HWND hWnd = NewWindow();
  ASSERT_EQ(0, Register(key260, "", 3, PLACEHOLDER));
  EXPECT_FALSE(BlockExists(BLOCK2));
  CPeerBlock block1(BLOCK1);
  ASSERT_TRUE(block1.IsOpen());
  EXPECT_EQ(key260 + " 0 0 0 FFFFFFFF", block1.Show(0)) << "the name ends with wReserved's first byte";
  EXPECT_EQ(0, SetMonitorWindow(key260.c_str(), "", hWnd, 3));
  HWND hOther = nullptr;
  EXPECT_EQ(1, Register(std::string(260, 'P'), "", 3, PLACEHOLDER, &hOther));
  EXPECT_EQ(hWnd, hOther);

  ASSERT_EQ(0, Register(key261, "", 3, PLACEHOLDER));
  ASSERT_EQ(0, Register("", key520, 0, PLACEHOLDER));
  HANDLE hMap2 = m_hLastMap;
  CPeerBlock block2(BLOCK2);
  ASSERT_TRUE(block2.IsOpen());
  EXPECT_EQ(key261 + " 0 0 0 FFFFFFFF", block2.Show(0));
  EXPECT_EQ(key520 + " 0 0 FFFFFFFF 0", block2.Show(1));
  EXPECT_EQ(0, SetMonitorWindow(key520.c_str(), "", hWnd, 0));
  EXPECT_EQ(HwndValue(hWnd), block2.Dword(1, BLOCK2.offKind0));
  EXPECT_EQ(0xFF, block2.FirstByte(2));
  EXPECT_EQ(0xFF, block1.FirstByte(1)) << "the first block is untouched";

  // Longer keys fit neither block and are refused.
  const std::vector<BYTE> before1 = block1.Snapshot(), before2 = block2.Snapshot();
  hOther = reinterpret_cast<HWND>(1);
  EXPECT_EQ(-1, Register(key521, "", 3, PLACEHOLDER, &hOther));
  EXPECT_EQ(nullptr, hOther);
  EXPECT_EQ(nullptr, m_hLastMap);
  EXPECT_EQ(-1, SetMonitorWindow(key521.c_str(), "", hWnd, 3));
  UnregisterMonitorWindow(m_handles.front(), key521.c_str(), "", 3, FALSE);
  EXPECT_TRUE(before1 == block1.Snapshot() && before2 == block2.Snapshot());
  UnregisterMonitorWindow(hMap2, "", key520.c_str(), 0, TRUE);
  EXPECT_EQ(0, block2.FirstByte(1)) << "the longest key is removed too";
}

TEST_F(MonitorTableTest, FullTableIsScannedToItsLastEntryAndNoFurther) {
  ASSERT_EQ(0, Register("Seed", "", 3, PLACEHOLDER));
  CPeerBlock block(BLOCK1);
  ASSERT_TRUE(block.IsOpen());
  for (int i = 0; i < ENTRY_COUNT; ++i) block.Write(i, "Printer " + std::to_string(i), 0, 0, 0);
  // The last entry holds 260 letters and non-zero bytes up to the block's end: its name
  // is 261 characters long and matches no key of this block.
  const std::string key(260, 'a');
  block.Write(499, std::string(260, 'A'), 0x41414141, 0x41414141, 0x41414141);
  block.Entry(499)[BLOCK1.offReserved] = 'B';
  const std::vector<BYTE> full = block.Snapshot();

  // Nothing matches, is free or marks the end: nothing is stored, and the result is 0.
  HWND hWnd = NewWindow(), hOther = nullptr;
  for (const std::string& missing : {std::string("Office Printer"), key}) {
    EXPECT_EQ(0, Register(missing, "", 3, PLACEHOLDER, &hOther));
    EXPECT_EQ(nullptr, hOther);
    EXPECT_EQ(1, SetMonitorWindow(missing.c_str(), "", hWnd, 3));
    UnregisterMonitorWindow(m_handles.front(), missing.c_str(), "", 3, FALSE);
  }
  EXPECT_EQ(full, block.Snapshot());

  // With wReserved's first byte zero the full-width name is the key, found in the last entry.
  block.Entry(499)[BLOCK1.offReserved] = 0;
  block.SetDword(499, BLOCK1.offKind3, HwndValue(hWnd));
  EXPECT_EQ(1, Register(key, "", 3, PLACEHOLDER, &hOther));
  EXPECT_EQ(hWnd, hOther);
  EXPECT_EQ(0, SetMonitorWindow(key.c_str(), "", hWnd, 0));
  EXPECT_EQ(HwndValue(hWnd), block.Dword(499, BLOCK1.offKind0));
  // A free entry late in the table is reused.
  block.Entry(300)[0] = 0;
  EXPECT_EQ(0, Register("Office Printer", "", 3, PLACEHOLDER));
  EXPECT_EQ("Office Printer 0 0 0 FFFFFFFF", block.Show(300));
  // The end marker in the last entry: that entry takes the key, with no marker after it.
  block.Write(499, "", 0, 0, 0);
  block.Entry(499)[0] = 0xFF;
  EXPECT_EQ(0, Register("Lab Printer", "", 3, PLACEHOLDER));
  EXPECT_EQ("Lab Printer 0 0 0 FFFFFFFF", block.Show(499));
  EXPECT_EQ(0, SetMonitorWindow("Lab Printer", "", hWnd, 3));
  EXPECT_EQ(1, SetMonitorWindow("Shop", "", hWnd, 3));
}

}  // namespace
