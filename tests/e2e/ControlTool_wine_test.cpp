// prw3ctl, the tool that drives a resident from the command line, on a real resident:
// it finds the window and its slot, reads the icon's colour, works the menu and closes it.
#include "e2e/E2eTest.h"

#include <cstdio>

namespace e2e {
namespace {

class ControlToolTest : public E2eTest {
protected:
  // Runs prw3ctl with the arguments; its exit code, with its output in *pOut.
  static int RunTool(const std::string& args, std::string* pOut) {
    const std::string program = ToolProgram("prw3ctl.exe");
    std::string cmdLine = "\"" + program + "\" " + args;
    SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
    HANDLE hRead = nullptr, hWrite = nullptr;
    if (!CreatePipe(&hRead, &hWrite, &sa, 0)) return -1;
    SetHandleInformation(hRead, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = hWrite;
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION pi = {};
    const BOOL bStarted =
        CreateProcessA(program.c_str(), &cmdLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    CloseHandle(hWrite);
    pOut->clear();
    char buffer[256];
    for (DWORD n; bStarted && ReadFile(hRead, buffer, sizeof(buffer), &n, nullptr) && n > 0;) pOut->append(buffer, n);
    CloseHandle(hRead);
    if (!bStarted) return -1;
    DWORD dwCode = 1;
    WaitForSingleObject(pi.hProcess, END_TIMEOUT_MS);
    GetExitCodeProcess(pi.hProcess, &dwCode);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    while (!pOut->empty() && (pOut->back() == '\n' || pOut->back() == '\r')) pOut->pop_back();
    return static_cast<int>(dwCode);
  }
  static std::string Handle(HWND hWnd) {
    char sz[32];
    snprintf(sz, sizeof(sz), "%p", static_cast<void*>(hWnd));
    return sz;
  }
};

TEST_F(ControlToolTest, DrivesARunningResident) {
  std::string out;
  EXPECT_EQ(1, RunTool("-t 0 find", &out)) << "no resident yet";
  EXPECT_EQ(0, RunTool("wait-gone", &out));

  const testenv::DemoDriver driver = testenv::InstallDemoDriver(testenv::ExistingPrinter(), testenv::ExistingPrinter());
  ASSERT_FALSE(HasFailure());
  CResidentProcess resident;
  ASSERT_TRUE(resident.Start(StartupArgs(driver)));
  HWND hWnd = WaitUntilServing(resident, testenv::ExistingPrinter());
  ASSERT_NE(nullptr, hWnd);

  EXPECT_EQ(0, RunTool("find", &out));
  EXPECT_EQ(Handle(hWnd), out);
  EXPECT_EQ(0, RunTool("table " + testenv::ExistingPrinter(), &out));
  EXPECT_EQ(Handle(hWnd), out);
  EXPECT_EQ(0, RunTool("table \"no such printer\"", &out));
  EXPECT_EQ("none", out);
  const std::vector<std::string> green = {"green"};
  ASSERT_EQ(green, WaitForTrayColors(green));
  EXPECT_EQ(0, RunTool("icon-color", &out));
  EXPECT_EQ("green", out);

  EXPECT_EQ(0, RunTool("rclick", &out));
  EXPECT_EQ(0, RunTool("menu-choose 901", &out));
  std::vector<Record> records = WaitForRecords(1);
  ASSERT_EQ(1u, records.size());
  EXPECT_EQ("status", records[0]["program"]);
  EXPECT_EQ("1", records[0]["E"]);
  EXPECT_EQ(0, RunTool("rclick", &out));
  EXPECT_EQ(0, RunTool("menu-cancel", &out));

  EXPECT_EQ(0, RunTool("close", &out));
  EXPECT_EQ(0, RunTool("wait-gone", &out));
  EXPECT_EQ(0, resident.Wait(END_TIMEOUT_MS));
  EXPECT_EQ(1u, testenv::ReadProgramRecords(m_recordFile).size()) << "a cancelled menu starts nothing";
}

}  // namespace
}  // namespace e2e
