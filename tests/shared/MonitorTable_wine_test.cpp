// Shared monitor table between real processes: a peer program registers, this process
// finds it, and after the peer is killed without removing itself a second peer takes
// its slot over in the same entry of the same block.
#include "shared/MonitorTable.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "shared/MonitorTableTestUtil.h"

namespace {

using namespace monitortest;

const DWORD PEER_TIMEOUT_MS = 10000;

// One tablepeer process with its standard output on a pipe.
class CPeer {
public:
  ~CPeer() {
    if (m_pi.hProcess) {
      TerminateProcess(m_pi.hProcess, 1);
      WaitForSingleObject(m_pi.hProcess, PEER_TIMEOUT_MS);
      CloseHandle(m_pi.hProcess);
      CloseHandle(m_pi.hThread);
    }
    if (m_hRead) CloseHandle(m_hRead);
  }

  bool Start(const std::string& args) {
    const char* szBin = getenv("PRW3_BIN_DIR");
    if (!szBin) return false;
    std::string cmd = std::string("\"") + szBin + "\\tests\\tools\\tablepeer.exe\" " + args;
    SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
    HANDLE hWrite = nullptr;
    if (!CreatePipe(&m_hRead, &hWrite, &sa, 0)) return false;
    SetHandleInformation(m_hRead, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = hWrite;
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    BOOL ok = CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &m_pi);
    CloseHandle(hWrite);
    return ok != FALSE;
  }

  // The first line the peer prints; empty when it ended without one.
  std::string ReadLine() {
    std::string line;
    char c;
    DWORD n;
    while (ReadFile(m_hRead, &c, 1, &n, nullptr) && n == 1 && c != '\n') line += c;
    return line;
  }

  HANDLE Process() const { return m_pi.hProcess; }

private:
  PROCESS_INFORMATION m_pi = {};
  HANDLE m_hRead = nullptr;
};

struct PeerReport {
  int nRegister = -99;
  HWND hWnd = nullptr;
  int nSet = -99;
};

PeerReport Parse(const std::string& line) {
  PeerReport r;
  unsigned long value = 0;
  if (sscanf(line.c_str(), "%d %lu %d", &r.nRegister, &value, &r.nSet) == 3)
    r.hWnd = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(value));
  return r;
}

// A killed process's windows go away shortly after it.
bool WaitUntilGone(HWND hWnd) {
  for (int i = 0; i < 100 && IsWindow(hWnd); ++i) Sleep(20);
  return !IsWindow(hWnd);
}

class MonitorTableWineTest : public CTableTest {};

TEST_F(MonitorTableWineTest, SecondProcessTakesOverAKilledResidentsEntry) {
  ASSERT_NE(nullptr, getenv("PRW3_BIN_DIR")) << "PRW3_BIN_DIR names the build folder";

  CPeer first;
  ASSERT_TRUE(first.Start("register \"Wine Office Printer\""));
  const PeerReport one = Parse(first.ReadLine());
  ASSERT_EQ(0, one.nRegister);
  ASSERT_EQ(0, one.nSet);
  ASSERT_TRUE(IsWindow(one.hWnd));

  // This process finds the first peer's live window; its handle holds the block from now on.
  HWND hOther = nullptr;
  EXPECT_EQ(1, Register("WINE OFFICE PRINTER", "", 3, 0xFFFFFFFF, &hOther));
  EXPECT_EQ(one.hWnd, hOther);
  CPeerBlock block(BLOCK1);
  ASSERT_TRUE(block.IsOpen());
  EXPECT_EQ("Wine Office Printer", block.Name(0));
  EXPECT_EQ(HwndValue(one.hWnd), block.Kind3(0));
  EXPECT_EQ(0xFF, block.FirstByte(1));

  // Killed, it cannot remove itself: its stale window stays in the slot.
  ASSERT_TRUE(TerminateProcess(first.Process(), 1));
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(first.Process(), PEER_TIMEOUT_MS));
  ASSERT_TRUE(WaitUntilGone(one.hWnd));
  EXPECT_EQ(HwndValue(one.hWnd), block.Kind3(0));

  CPeer second;
  ASSERT_TRUE(second.Start("register \"wine office printer\""));
  const PeerReport two = Parse(second.ReadLine());
  EXPECT_EQ(0, two.nRegister);
  EXPECT_EQ(0, two.nSet);
  ASSERT_TRUE(IsWindow(two.hWnd));
  EXPECT_NE(one.hWnd, two.hWnd);
  EXPECT_EQ("Wine Office Printer", block.Name(0)) << "the same entry";
  EXPECT_EQ(HwndValue(two.hWnd), block.Kind3(0));
  EXPECT_EQ(0xFF, block.FirstByte(1));

  // Closed normally, the peer removes itself and frees the entry.
  ASSERT_TRUE(PostMessageA(two.hWnd, WM_CLOSE, 0, 0));
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(second.Process(), PEER_TIMEOUT_MS));
  DWORD exitCode = 1;
  EXPECT_TRUE(GetExitCodeProcess(second.Process(), &exitCode));
  EXPECT_EQ(0u, exitCode);
  EXPECT_EQ(0, block.FirstByte(0));
  EXPECT_EQ(0u, block.Kind3(0));
}

}  // namespace
