// Shared monitor table: registration, storing and removal as another program sees
// them in the blocks' bytes.
#include "shared/MonitorTable.h"

#include <gtest/gtest.h>

#include "shared/MonitorTableTestUtil.h"

namespace {

using namespace monitortest;

const DWORD PLACEHOLDER = 0xFFFFFFFF;

class MonitorTableTest : public CTableTest {};

TEST_F(MonitorTableTest, FirstRegistrationAndStoringTheWindow) {
  HWND hWnd = NewWindow();
  ASSERT_NE(nullptr, hWnd);
  EXPECT_EQ(-1, SetMonitorWindow("Office Printer", "", hWnd, 3)) << "no block yet";

  HWND hOther = nullptr;
  ASSERT_EQ(0, Register("Office Printer", "IP_10.0.0.5", 3, PLACEHOLDER, &hOther));
  EXPECT_EQ(nullptr, hOther);
  ASSERT_NE(nullptr, m_hLastMap);

  CPeerBlock block(BLOCK1);
  ASSERT_TRUE(block.IsOpen());
  EXPECT_EQ("Office Printer", block.Name(0));
  EXPECT_EQ(0, block.Reserved(0));
  EXPECT_EQ(0u, block.Kind12(0));
  EXPECT_EQ(0u, block.Kind0(0));
  EXPECT_EQ(PLACEHOLDER, block.Kind3(0));
  EXPECT_EQ(0xFF, block.FirstByte(1)) << "end marker";
  EXPECT_EQ(0, block.FirstByte(2));
  EXPECT_FALSE(BlockExists(BLOCK2));

  EXPECT_EQ(0, SetMonitorWindow("Office Printer", "IP_10.0.0.5", hWnd, 3));
  EXPECT_EQ(HwndValue(hWnd), block.Kind3(0));

  const std::vector<BYTE> before = block.Snapshot();
  EXPECT_EQ(-2, SetMonitorWindow("Lab Printer", "", hWnd, 3));
  EXPECT_EQ(0, SetMonitorWindow("OFFICE PRINTER", "", hWnd, 9)) << "a kind without a slot stores nothing";
  EXPECT_EQ(before, block.Snapshot());
}

TEST_F(MonitorTableTest, SecondRegistrationOfTheSameKey) {
  HWND hFirst = NewWindow();
  ASSERT_NE(nullptr, hFirst);
  ASSERT_EQ(0, Register("Office Printer", "", 3, PLACEHOLDER));
  ASSERT_EQ(0, SetMonitorWindow("Office Printer", "", hFirst, 3));
  CPeerBlock block(BLOCK1);
  ASSERT_TRUE(block.IsOpen());
  const std::vector<BYTE> before = block.Snapshot();

  // The first resident lives: it keeps the slot.
  HWND hOther = nullptr;
  EXPECT_EQ(1, Register("OFFICE PRINTER", "", 3, PLACEHOLDER, &hOther));
  EXPECT_EQ(hFirst, hOther);
  EXPECT_NE(nullptr, m_hLastMap);
  EXPECT_EQ(before, block.Snapshot());

  // It ended without removing itself: the next one takes the slot in the same entry.
  ASSERT_TRUE(DestroyWindow(hFirst));
  HWND hSecond = NewWindow();
  ASSERT_NE(nullptr, hSecond);
  EXPECT_EQ(0, Register("office printer", "", 3, HwndValue(hSecond), &hOther));
  EXPECT_EQ(nullptr, hOther);
  EXPECT_EQ(HwndValue(hSecond), block.Kind3(0));
  EXPECT_EQ("Office Printer", block.Name(0));
  EXPECT_EQ(0xFF, block.FirstByte(1));

  EXPECT_EQ(1, Register("Office Printer", "", 3, PLACEHOLDER, &hOther));
  EXPECT_EQ(hSecond, hOther);

  // A slot still holding the placeholder counts as dead.
  block.SetDword(0, BLOCK1.offKind3, PLACEHOLDER);
  HWND hThird = NewWindow();
  EXPECT_EQ(0, Register("Office Printer", "", 3, HwndValue(hThird), &hOther));
  EXPECT_EQ(nullptr, hOther);
  EXPECT_EQ(HwndValue(hThird), block.Kind3(0));
}

TEST_F(MonitorTableTest, KindsRemovalAndReuseOfFreedEntries) {
  HWND hWnd = NewWindow();
  ASSERT_NE(nullptr, hWnd);
  const DWORD value = HwndValue(hWnd);
  ASSERT_EQ(0, Register("Office Printer", "", 0, value));
  ASSERT_EQ(0, Register("Lab Printer", "", 3, PLACEHOLDER));
  CPeerBlock block(BLOCK1);
  ASSERT_TRUE(block.IsOpen());
  EXPECT_EQ(value, block.Kind0(0));
  EXPECT_EQ(0xFF, block.FirstByte(2));

  // Kinds 1 and 2 share one slot; kinds outside 0 to 3 have none.
  EXPECT_EQ(0, Register("Office Printer", "", 3, PLACEHOLDER));
  EXPECT_EQ(0, Register("Office Printer", "", 1, value));
  EXPECT_EQ(value, block.Kind12(0));
  HWND hOther = nullptr;
  EXPECT_EQ(1, Register("Office Printer", "", 2, PLACEHOLDER, &hOther));
  EXPECT_EQ(hWnd, hOther);
  EXPECT_EQ(1, Register("Office Printer", "", 7, PLACEHOLDER, &hOther));
  EXPECT_EQ(nullptr, hOther);

  HANDLE hMap = m_handles.front();
  std::vector<BYTE> before = block.Snapshot();
  UnregisterMonitorWindow(hMap, "Missing Printer", "", 3, FALSE);
  UnregisterMonitorWindow(hMap, "Office Printer", "", 7, FALSE);
  EXPECT_EQ(before, block.Snapshot());

  // Removal frees the entry only with its last slot; only the first name byte is cleared.
  UnregisterMonitorWindow(hMap, "OFFICE PRINTER", "", 3, FALSE);
  EXPECT_EQ(0u, block.Kind3(0));
  UnregisterMonitorWindow(hMap, "Office Printer", "", 0, FALSE);
  EXPECT_EQ(0u, block.Kind0(0));
  EXPECT_EQ('O', block.FirstByte(0));
  UnregisterMonitorWindow(hMap, "Office Printer", "", 2, FALSE);
  EXPECT_EQ(0u, block.Kind12(0));
  EXPECT_EQ(0, block.FirstByte(0));
  EXPECT_EQ(0, memcmp(block.Entry(0) + 1, "ffice Printer", 14));
  EXPECT_EQ(-2, SetMonitorWindow("Office Printer", "", hWnd, 3));

  // The next key takes the freed entry, not the end marker; the rest of the old name stays.
  EXPECT_EQ(0, Register("Shop", "", 3, PLACEHOLDER));
  EXPECT_EQ("Shop", block.Name(0));
  EXPECT_EQ(0, memcmp(block.Entry(0) + 5, "e Printer", 10));
  EXPECT_EQ(0u, block.Kind12(0));
  EXPECT_EQ(PLACEHOLDER, block.Kind3(0));
  EXPECT_EQ(0xFF, block.FirstByte(2));

  // An empty printer name: the port name is the key in all three operations.
  EXPECT_EQ(0, Register("", "IP_10.0.0.5", 3, PLACEHOLDER));
  EXPECT_EQ("IP_10.0.0.5", block.Name(2));
  EXPECT_EQ(0xFF, block.FirstByte(3));
  EXPECT_EQ(0, SetMonitorWindow("", "IP_10.0.0.5", hWnd, 3));
  EXPECT_EQ(value, block.Kind3(2));
  UnregisterMonitorWindow(hMap, "", "IP_10.0.0.5", 3, TRUE);
  EXPECT_EQ(0, block.FirstByte(2));
}

TEST_F(MonitorTableTest, KeyLengthChoosesTheBlock) {
  const std::string key260(260, 'p'), key261(261, 'q'), key520(520, 'r'), key521(521, 's');
  HWND hWnd = NewWindow();
  ASSERT_NE(nullptr, hWnd);

  ASSERT_EQ(0, Register(key260, "", 3, PLACEHOLDER));
  EXPECT_FALSE(BlockExists(BLOCK2));
  CPeerBlock block1(BLOCK1);
  ASSERT_TRUE(block1.IsOpen());
  EXPECT_EQ(key260, block1.Name(0)) << "its end is wReserved's first byte";
  EXPECT_EQ(0, block1.Reserved(0));
  EXPECT_EQ(PLACEHOLDER, block1.Kind3(0));
  EXPECT_EQ(0xFF, block1.FirstByte(1));
  EXPECT_EQ(0, SetMonitorWindow(key260.c_str(), "", hWnd, 3));
  HWND hOther = nullptr;
  EXPECT_EQ(1, Register(std::string(260, 'P'), "", 3, PLACEHOLDER, &hOther));
  EXPECT_EQ(hWnd, hOther);

  ASSERT_EQ(0, Register(key261, "", 3, PLACEHOLDER));
  ASSERT_EQ(0, Register("", key520, 0, PLACEHOLDER));
  CPeerBlock block2(BLOCK2);
  ASSERT_TRUE(block2.IsOpen());
  EXPECT_EQ(key261, block2.Name(0));
  EXPECT_EQ(PLACEHOLDER, block2.Kind3(0));
  EXPECT_EQ(key520, block2.Name(1));
  EXPECT_EQ(0, block2.Reserved(1));
  EXPECT_EQ(PLACEHOLDER, block2.Kind0(1));
  EXPECT_EQ(0xFF, block2.FirstByte(2));
  EXPECT_EQ(0, SetMonitorWindow(key520.c_str(), "", hWnd, 0));
  EXPECT_EQ(HwndValue(hWnd), block2.Kind0(1));
  EXPECT_EQ(0xFF, block1.FirstByte(1)) << "the first block is untouched";

  // Longer keys fit neither block and are refused.
  const std::vector<BYTE> before1 = block1.Snapshot(), before2 = block2.Snapshot();
  const size_t handles = m_handles.size();
  hOther = reinterpret_cast<HWND>(1);
  EXPECT_EQ(-1, Register(key521, "", 3, PLACEHOLDER, &hOther));
  EXPECT_EQ(nullptr, hOther);
  EXPECT_EQ(nullptr, m_hLastMap);
  EXPECT_EQ(handles, m_handles.size());
  EXPECT_EQ(-1, SetMonitorWindow(key521.c_str(), "", hWnd, 3));
  UnregisterMonitorWindow(m_handles.front(), key521.c_str(), "", 3, FALSE);
  EXPECT_EQ(before1, block1.Snapshot());
  EXPECT_EQ(before2, block2.Snapshot());
}

// Fills all 500 entries with other keys, as peers would have.
void FillTable(CPeerBlock& block) {
  for (int i = 0; i < ENTRY_COUNT; ++i) block.Write(i, "Printer " + std::to_string(i), 0, 0, 0);
}

TEST_F(MonitorTableTest, FullTableAndTheLastEntry) {
  ASSERT_EQ(0, Register("Seed", "", 3, PLACEHOLDER));
  CPeerBlock block(BLOCK1);
  ASSERT_TRUE(block.IsOpen());
  FillTable(block);
  const std::vector<BYTE> full = block.Snapshot();

  // Nothing matches, is free or marks the end: nothing is stored, and the result is 0.
  HWND hOther = nullptr;
  EXPECT_EQ(0, Register("Office Printer", "", 3, PLACEHOLDER, &hOther));
  EXPECT_EQ(nullptr, hOther);
  EXPECT_NE(nullptr, m_hLastMap);
  HWND hWnd = NewWindow();
  ASSERT_NE(nullptr, hWnd);
  EXPECT_EQ(1, SetMonitorWindow("Office Printer", "", hWnd, 3));
  EXPECT_EQ(full, block.Snapshot());

  // A key already in the last entry is found there.
  EXPECT_EQ(0, SetMonitorWindow("PRINTER 499", "", hWnd, 0));
  EXPECT_EQ(HwndValue(hWnd), block.Kind0(499));

  // A free entry late in the table is reused.
  block.Entry(300)[0] = 0;
  EXPECT_EQ(0, Register("Office Printer", "", 3, PLACEHOLDER));
  EXPECT_EQ("Office Printer", block.Name(300));
  EXPECT_EQ(0u, block.Kind12(300));
  EXPECT_EQ(PLACEHOLDER, block.Kind3(300));

  // The end marker in the last entry: that entry takes the key, with no marker after it.
  block.Write(499, "", 0, 0, 0);
  block.Entry(499)[0] = 0xFF;
  EXPECT_EQ(0, Register("Lab Printer", "", 3, PLACEHOLDER));
  EXPECT_EQ("Lab Printer", block.Name(499));
  EXPECT_EQ(PLACEHOLDER, block.Kind3(499));
  EXPECT_EQ(0, SetMonitorWindow("Lab Printer", "", hWnd, 3));
  EXPECT_EQ(HwndValue(hWnd), block.Kind3(499));
  EXPECT_EQ(1, SetMonitorWindow("Shop", "", hWnd, 3));
}

TEST_F(MonitorTableTest, ForeignNameWithoutTerminator) {
  ASSERT_EQ(0, Register("Seed", "", 3, PLACEHOLDER));
  CPeerBlock block(BLOCK1);
  ASSERT_TRUE(block.IsOpen());
  FillTable(block);
  HWND hWnd = NewWindow();
  ASSERT_NE(nullptr, hWnd);

  // The last entry holds 260 letters and non-zero bytes up to the block's end: its
  // name is 261 characters long and matches no key of this block.
  const std::string key(260, 'a');
  block.Write(499, std::string(260, 'A'), 0x41414141, 0x41414141, 0x41414141);
  block.Entry(499)[BLOCK1.offReserved] = 'B';
  block.Entry(499)[BLOCK1.offReserved + 1] = 'C';
  const std::vector<BYTE> before = block.Snapshot();
  EXPECT_EQ(0, Register(key, "", 3, PLACEHOLDER));
  EXPECT_EQ(1, SetMonitorWindow(key.c_str(), "", hWnd, 3));
  UnregisterMonitorWindow(m_handles.front(), key.c_str(), "", 3, FALSE);
  EXPECT_EQ(before, block.Snapshot());

  // With wReserved's first byte zero, the full-width name is the key.
  block.Entry(499)[BLOCK1.offReserved] = 0;
  block.Entry(499)[BLOCK1.offReserved + 1] = 0x7F;
  block.SetDword(499, BLOCK1.offKind3, HwndValue(hWnd));
  HWND hOther = nullptr;
  EXPECT_EQ(1, Register(key, "", 3, PLACEHOLDER, &hOther));
  EXPECT_EQ(hWnd, hOther);
  block.SetDword(499, BLOCK1.offKind12, 0);
  block.SetDword(499, BLOCK1.offKind0, 0);
  UnregisterMonitorWindow(m_handles.front(), key.c_str(), "", 3, FALSE);
  EXPECT_EQ(0, block.FirstByte(499));
  EXPECT_EQ(0u, block.Kind3(499));
}

}  // namespace
