// Shared monitor table as a peer program sees it in the blocks' bytes, each operation also
// run with every platform call failing in turn, and the handles, views and view sizes of
// every test counted through the import table; the table's mutex against hung, ended and
// enclosing holders.
#include "shared/MonitorTable.h"

#include "support/Fault.h"
#include "support/TestEnv.h"

#include <algorithm>
#include <sstream>
#include <thread>

namespace {

// The blocks by key length; the slots of kinds 1/2, 0 and 3 follow the name and wReserved.
const int kEntrySize[] = {274, 534}, kNameSize[] = {260, 520};
const DWORD P = MONITOR_WND_PLACEHOLDER;

std::string Hex(DWORD v) { return (std::ostringstream() << std::uppercase << std::hex << v).str(); }
// A key names a printer, or with "@" a port alone; keys over 260 characters use the second block.
int Block(const std::string& key) { return key.size() - (key[0] == '@') > 260; }
// In the rows a free entry's first byte shows as "~", the end marker's as "-".
char Mark(char c) { return c == 0 ? '~' : c == '~' ? 0 : c == '\xFF' ? '-' : c == '-' ? '\xFF' : c; }

class MonitorTableTest : public testing::Test {
protected:
  void SetUp() override { DestroyWindow(m_hDead); }
  void TearDown() override {
    for (int b : {0, 1}) {
      if (m_pView[b]) UnmapViewOfFile(m_pView[b]);
      if (m_hPeer[b]) CloseHandle(m_hPeer[b]);
    }
    DestroyWindow(m_hLive);
    const unsigned nHandles = m_create.Successes() + m_open.Successes() + m_mutex.Successes();
    EXPECT_EQ(std::make_pair(nHandles, m_map.Successes()), std::make_pair(m_close.Calls(), m_unmap.Calls()));
  }

  // Entry i of block b as a peer program maps it: the whole block in one view.
  BYTE* Entry(int i, int b) {
    if (!m_pView[b]) m_pView[b] = static_cast<BYTE*>(MapViewOfFile(m_hPeer[b], FILE_MAP_ALL_ACCESS, 0, 0, 0));
    return m_pView[b] + i * kEntrySize[b];
  }
  DWORD* Slots(int i, int b) { return reinterpret_cast<DWORD*>(Entry(i, b) + kNameSize[b] + 2); }
  std::vector<BYTE> Bytes(int b) { return {Entry(0, b), Entry(MONITOR_ENTRY_COUNT, b)}; }
  // The first n entries as "name|kind12|kind0|kind3;..." with the slots in hex, left out when
  // all are 0.
  std::string Dump(int n, int b) {
    std::string s;
    for (int i = 0; i < n; ++i) {
      const char* psz = reinterpret_cast<char*>(Entry(i, b));
      const DWORD* pSlots = Slots(i, b);
      s += (i ? ";" : "") + (Mark(psz[0]) + std::string(psz + 1, strnlen(psz + 1, kNameSize[b])));
      if (pSlots[0] | pSlots[1] | pSlots[2]) s += "|" + Hex(pSlots[0]) + "|" + Hex(pSlots[1]) + "|" + Hex(pSlots[2]);
    }
    return s;
  }
  // Writes block b from the same notation, zero after the entries given.
  void Load(std::string entries, int b) {
    memset(Entry(0, b), 0, MONITOR_ENTRY_COUNT * kEntrySize[b]);
    int i = 0;
    for (char* psz = strtok(&entries[0], ";"); psz; psz = strtok(nullptr, ";")) {
      DWORD* pSlots = Slots(i, b);
      sscanf(psz, "%*[^|]|%lx|%lx|%lx", &pSlots[0], &pSlots[1], &pSlots[2]);
      memcpy(Entry(i, b), psz, strcspn(psz, "|"));
      Entry(i++, b)[0] = Mark(psz[0]);
    }
  }

  // One operation on a key, a printer's with port "IP_1": 'R'egister; 'S'et; 'F'ind (the
  // window found comes back as the other); or 'U'nregister with the peer's handle of the
  // key's block, as a resident holds one. The first handle registration hands out is the peer's.
  int Op(char op, const std::string& key, int nKind, DWORD dwValue = P) {
    const bool bPort = key[0] == '@';
    const char *psz1 = bPort ? "" : key.c_str(), *psz2 = bPort ? key.c_str() + 1 : "IP_1";
    HANDLE &hPeer = m_hPeer[Block(key)], hMap = nullptr;
    m_hOther = nullptr;
    if (op == 'S') return SetMonitorWindow(psz1, psz2, static_cast<HWND>(ULongToHandle(dwValue)), nKind);
    if (op == 'F') m_hOther = FindMonitorWindow(psz1, psz2, nKind);
    if (op == 'U') UnregisterMonitorWindow(hPeer, psz1, psz2, nKind, bPort);
    if (op != 'R') return 0;
    const int nResult = RegisterMonitorWindow(psz1, psz2, nKind, dwValue, &m_hOther, &hMap);
    EXPECT_EQ(nResult >= 0, hMap != nullptr) << nResult;  // a mapping handle with results 0 to 2 only
    if (!hPeer) std::swap(hPeer, hMap);
    if (hMap) CloseHandle(hMap);
    return nResult;
  }

  HWND m_hLive = testenv::CreateTestWindow(), m_hDead = testenv::CreateTestWindow(), m_hOther = nullptr;
  HANDLE m_hPeer[2] = {};
  BYTE* m_pView[2] = {};
  fault::CHook m_create{"CreateFileMappingA"}, m_open{"OpenFileMappingA"}, m_mutex{"CreateMutexA"},
      m_close{"CloseHandle"}, m_unmap{"UnmapViewOfFile"};
  SIZE_T m_cbLargest = 0;
  fault::CReplace<decltype(&MapViewOfFile)> m_map{
      "MapViewOfFile", [this](auto real, HANDLE h, DWORD dwAccess, DWORD dwHi, DWORD dwLo, SIZE_T cb) {
        m_cbLargest = std::max(m_cbLargest, cb);
        return real(h, dwAccess, dwHi, dwLo, cb);
      }};
};

TEST_F(MonitorTableTest, RegistrationStoringAndRemovalEvenWithEveryStepFailing) {
  // No block yet; views reach only as far as the entries examined; nor a second block.
  EXPECT_EQ(-1, Op('S', "Office", 3));
  ASSERT_EQ(0, Op('R', "Office", 3));
  EXPECT_EQ(2u * 274, m_cbLargest);
  EXPECT_EQ("Office|0|0|FFFFFFFF;-;~", Dump(3, 0));
  EXPECT_EQ(-1, Op('S', std::string(261, 'q'), 3));
  ASSERT_EQ(0, Op('R', std::string(261, 'q'), 3));
  const DWORD W = HandleToULong(m_hLive);
  const std::string w = Hex(W), d = Hex(HandleToULong(m_hDead)), p260(260, 'p'), r520(520, 'r'), a260(260, 'A');
  std::string full;  // every entry taken, the last one's name running into wReserved's first byte
  for (int i = 0; i < MONITOR_ENTRY_COUNT - 1; ++i) full += "Printer " + std::to_string(i) + ";";
  const std::string last = std::string(261, 'A') + "|41414141|41414141|41414141";
  // The entries before, one operation on a key, the entries after ("": as before), the value
  // given, the result and whether the live window comes back.
  const struct {
    std::string before;
    char op;
    std::string key;
    int nKind;
    std::string after;
    DWORD dwValue = P;
    int nResult = 0;
    bool bLive = false;
  } kCases[] = {
      {"Office|0|0|" + w + ";-", 'R', "OFFICE", 3, "", P, 1, true},
      {"Office|0|0|" + w + ";-", 'R', "Office", 1, "Office|" + w + "|0|" + w + ";-", W},
      {"Office|" + w + "|0|0;-", 'R', "office", 2, "", P, 1, true},
      {"Office|1|2|3;-", 'R', "Office", 7, "", P, 1},
      {"Office|0|0|" + d + ";-", 'R', "office", 3, "Office|0|0|33;-", 0x33},
      {"Office|0|0|FFFFFFFF;-", 'R', "OFFICE", 3, "Office|0|0|33;-", 0x33},
      {"Office Printer;-", 'R', "Office", 3, "Office Printer;Office|0|0|33;-", 0x33},
      {"~ffice|77|0|0;Lab;-", 'R', "Shop", 3, "Shop|0|0|FFFFFFFF;Lab;-"},
      {"Lab;-|0|0|77", 'R', "@IP_1", 0, "Lab;IP_1|0|FFFFFFFF|0;-"},
      {"Office|0|0|FFFFFFFF;-", 'S', "Office", 3, "Office|0|0|" + w + ";-", W},
      {"Office;-", 'S', "Lab", 3, "", W, -2},
      {"Office;-", 'S', "OFFICE", 9, "", W},
      {"IP_1;-", 'S', "@IP_1", 0, "IP_1|0|" + w + "|0;-", W},
      // Removal clears the kind's slot, and frees the entry by its first byte once no other
      // slot is held.
      {"Office|0|0|3;-", 'U', "Office", 7, ""},
      {"Office|1|2|0;-", 'U', "OFFICE", 0, "Office|1|0|0;-"},
      {"Office|0|2|0;-", 'U', "OFFICE", 0, "~ffice;-"},
      {"Office|1|0|3;-", 'U', "OFFICE", 1, "Office|0|0|3;-"},
      {"Office|1|0|0;-", 'U', "OFFICE", 2, "~ffice;-"},
      {"Office|0|2|3;-", 'U', "OFFICE", 3, "Office|0|2|0;-"},
      {"Office|0|0|3;-", 'U', "OFFICE", 3, "~ffice;-"},
      {"Lab;IP_1|0|2|0;-", 'U', "@IP_1", 0, "Lab;~P_1;-"},
      // A look-up finds a live window only, and changes nothing.
      {"Lab;Office|0|0|" + w + ";-", 'F', "OFFICE", 3, "", P, 0, true},
      {"Office|0|0|" + d + ";-", 'F', "Office", 3, ""},
      {"Office|0|0|" + w + ";-", 'F', "Office", 7, ""},
      // A key that begins with the end marker's byte (a port "\xFF..." in code page 1252)
      // would hide every entry after it once stored in a freed entry: it is never stored,
      // and the resident runs without a slot.
      {"IP_2|0|0|" + w + ";~;IP_3|0|0|" + w + ";-", 'R', "@\xFFPort", 3, "", P, 0},
      {"IP_2;-", 'S', "@\xFFPort", 3, "", W, 1},
      // Keys of up to 260 characters in the first block, a full-width name ended by
      // wReserved's first byte; keys of up to 520 in the second; longer ones in neither.
      {"-", 'R', p260, 3, p260 + "|0|0|FFFFFFFF;-"},
      {p260 + "|0|0|" + w + ";-", 'R', std::string(260, 'P'), 3, "", P, 1, true},
      {"-", 'R', "@" + r520, 0, r520 + "|0|FFFFFFFF|0;-"},
      {r520 + ";-", 'S', r520, 0, r520 + "|0|33|0;-", 0x33},
      {r520 + "|0|2|0;-", 'U', "@" + r520, 0, "~" + r520.substr(1) + ";-"},
      {"Office;-", 'R', std::string(521, 's'), 3, "", P, -1},
      // A full table is scanned to its last entry, and not beyond; its free entries are reused.
      {full + last, 'R', "Office", 3, ""},
      {full + last, 'R', a260, 3, ""},
      {full + last, 'S', "Office", 3, "", W, 1},
      {full + last, 'U', "Office", 3, ""},
      {full + a260, 'S', a260, 3, full + a260 + "|0|0|" + w, W},
      {"~" + full.substr(1) + last, 'R', "Shop", 3, "Shop|0|0|FFFFFFFF;" + full.substr(full.find(';') + 1) + last},
      {full + "-|1|2|3", 'R', "Lab", 3, full + "Lab|0|0|FFFFFFFF"},
  };
  for (const auto& c : kCases) {
    const int b = Block(c.key);
    // The nth call of each import the operation makes fails, for every n it reaches; a
    // failed step writes nothing. The first run that reaches none is checked as the row says.
    for (const char* pszImport : {"CreateFileMappingA", "OpenFileMappingA", "MapViewOfFile"})
      for (unsigned n = 1; n <= 8; ++n) {
        Load(c.before, b);
        const std::vector<BYTE> before = Bytes(b);
        m_cbLargest = 0;
        fault::CHook fail(pszImport, ERROR_NOT_ENOUGH_MEMORY, n);
        const int nResult = Op(c.op, c.key, c.nKind, c.dwValue);
        const std::string what = std::to_string(&c - kCases) + " " + pszImport + " " + std::to_string(n);
        if (fail.Calls() < n) {
          EXPECT_EQ(std::make_pair(c.nResult, c.bLive ? m_hLive : nullptr), std::make_pair(nResult, m_hOther)) << what;
          if (c.after.empty())
            EXPECT_TRUE(before == Bytes(b)) << what;
          else
            EXPECT_EQ(c.after, Dump(std::count(c.after.begin(), c.after.end(), ';') + 1, b)) << what;
          EXPECT_LE(m_cbLargest, MONITOR_ENTRY_COUNT * static_cast<SIZE_T>(kEntrySize[b])) << what;
          break;
        }
        EXPECT_TRUE(before == Bytes(b) &&
                    (c.op == 'U' || (c.op == 'F' && !m_hOther) || nResult == -1 || (c.op == 'R' && nResult == 2)))
            << what;
      }
  }
}

TEST(MonitorTableLock, DelaysAnOperationOnceNeverBlocksItAndIsReleasedOnEveryWayOut) {
  // A peer opens the mutex the operation creates, and keeps it alive from then on. This
  // thread's ReleaseMutex fails once the program left it free: another can take it at once.
  HANDLE hMutex = nullptr;
  {
    auto peer = FAULT_REPLACE(WaitForSingleObject, [&](auto real, HANDLE h, DWORD dwMs) {
      hMutex = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, "PrwV3MapFileMutex");
      return real(h, dwMs);
    });
    EXPECT_EQ(-1, SetMonitorWindow("Office", "", nullptr, 3));
  }
  // Released on every way out, also by the one that created it.
  EXPECT_FALSE(ReleaseMutex(hMutex));
  {
    CMonitorTableLock outer;
    fault::CHook wait("WaitForSingleObject");
    EXPECT_EQ(-1, SetMonitorWindow("Office", "", nullptr, 3));
    // A scope inside another waits for nothing, and leaves the outer scope's hold.
    EXPECT_EQ(0u, wait.Calls());
    EXPECT_TRUE(ReleaseMutex(hMutex));
  }
  std::vector<DWORD> waits;
  {
    auto wait = FAULT_REPLACE(WaitForSingleObject, [&](auto, HANDLE, DWORD dwMs) {
      waits.push_back(dwMs);
      return static_cast<DWORD>(WAIT_TIMEOUT);
    });
    UnregisterMonitorWindow(nullptr, "Office", "", 3, FALSE);
  }
  // A hung holder delays it once, and never for good.
  ASSERT_EQ(1u, waits.size());
  EXPECT_LE(waits[0], 10000u);
  std::thread([&] { WaitForSingleObject(hMutex, INFINITE); }).join();
  EXPECT_EQ(-1, SetMonitorWindow("Office", "", nullptr, 3));
  // A mutex its holder left when it ended counts as owned, and is released.
  EXPECT_FALSE(ReleaseMutex(hMutex));
  CloseHandle(hMutex);
}

}  // namespace
