// Residents started together under Wine, as at log-on: twenty printers' residents, each
// started twice at once. Of each pair exactly one serves the printer from its slot (the
// other tells it to re-read its icon and ends), the shared table stays well formed, and
// every resident ends cleanly.
#include "e2e/E2eTest.h"

#include "shared/MonitorTable.h"

#include <algorithm>
#include <set>

namespace e2e {
namespace {

const int PRINTERS = 20;
// Before the residents took turns at the table, about three pairs a round went wrong.
const int ROUNDS = 3;

// Empty when the block is well formed: every occupied entry before the end marker holds
// one of the keys, no key twice, nothing after the marker. Else what is wrong.
std::string CheckTable(const BYTE* p, std::set<std::string> keys) {
  int i = 0;
  for (; i < MONITOR_ENTRY_COUNT && p[i * MONITOR_ENTRY_SIZE] != MONITOR_END_MARKER; ++i) {
    const char* psz = reinterpret_cast<const char*>(p + i * MONITOR_ENTRY_SIZE);
    if (*psz != MONITOR_FREE_ENTRY && !keys.erase(std::string(psz, strnlen(psz, MONITOR_NAME_SIZE))))
      return "entry " + std::to_string(i) + ": a key unknown or twice";
  }
  const BYTE *pRest = p + (i + 1) * MONITOR_ENTRY_SIZE, *pEnd = p + MONITOR_ENTRY_COUNT * MONITOR_ENTRY_SIZE;
  return i == MONITOR_ENTRY_COUNT                     ? "no end marker"
         : std::count(pRest, pEnd, 0) != pEnd - pRest ? "an entry is used after the end marker"
                                                      : "";
}

class ManyResidentsTest : public E2eTest {};

TEST_F(ManyResidentsTest, TwinsStartedAtOnceLeaveOneResidentPerPrinterInItsSlot) {
  for (int i = 1; i <= PRINTERS; ++i)
    ASSERT_NO_FATAL_FAILURE(AddFilePrinter("prw3 many " + std::to_string(100 + i).substr(1)));
  const std::set<std::string> keys(m_printers.begin(), m_printers.end());
  // The driver's part serves every printer of the driver.
  testenv::InstallDemoDriver(m_printers[0], testenv::ExistingPrinter());
  ASSERT_FALSE(HasFailure());
  // The block goes with its last handle: this view keeps it between the rounds.
  CKernelHandle hTable;
  CMappedView pView;
  for (int round = 1; round <= ROUNDS; ++round) {
    std::vector<CProcess> residents(2 * PRINTERS);
    for (int i = 0; i < 2 * PRINTERS; ++i) ASSERT_TRUE(residents[i].Start("/P \"" + m_printers[i / 2] + "\""));
    // A pair counts as lost while not exactly one of it runs with its window in the
    // printer's slot; one still waiting for its turn at the table shows late.
    int nLost = 0;
    residentctl::WaitFor(TIMEOUT_MS, [&] {
      nLost = 0;
      for (int i = 0; i < PRINTERS; ++i) {
        const CProcess* pair = &residents[2 * i];
        const HWND hHeld = residentctl::TableWindow(m_printers[i]);
        nLost += pair[0].IsRunning() + pair[1].IsRunning() != 1 || !hHeld ||
                 (hHeld != pair[0].Window() && hHeld != pair[1].Window());
      }
      return nLost == 0;
    });
    // Printers without exactly one resident in its slot.
    EXPECT_EQ(0, nLost) << "round " << round;
    hTable.Reset(OpenFileMappingA(FILE_MAP_READ, FALSE, MONITOR_MAP_NAME));
    pView.Reset(MapViewOfFile(hTable, FILE_MAP_READ, 0, 0, 0));
    ASSERT_TRUE(pView.IsValid());
    const BYTE* pTable = static_cast<const BYTE*>(pView.Get());
    EXPECT_EQ("", CheckTable(pTable, keys)) << "round " << round << ", all running";

    // A resident running beside its twin, or without its slot, could not be reached by /R.
    for (auto& resident : residents)
      if (HWND hWnd = resident.Window()) PostMessageA(hWnd, WM_CLOSE, 0, 0);
    for (int i = 0; i < 2 * PRINTERS; ++i) EXPECT_EQ(0, residents[i].Wait(TIMEOUT_MS)) << m_printers[i / 2];
    EXPECT_EQ("", CheckTable(pTable, keys)) << "round " << round << ", all ended";
    EXPECT_TRUE(residentctl::TraySlots().empty()) << "round " << round << ": a slot is still taken";
  }
}

}  // namespace
}  // namespace e2e
