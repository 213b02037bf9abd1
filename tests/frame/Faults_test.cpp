// Faults through the resident's whole life: every call it makes is failed in turn, once
// on each of the times it is made. Whatever fails, the process ends with 0 or carries on
// as the program states, and leaves no handle, key, view, library, printer, search,
// stream, menu or GDI object behind. And a long run of menus, icon changes, shell
// restarts and ticks that must not grow them.
#include "support/Resident.h"

#include "frame/MainFrame.h"
#include "shared/MonitorTable.h"

#include <cstring>
#include <map>
#include <memory>

namespace {

// What is acquired and what releases it: each group must balance after a run.
const std::vector<std::pair<std::vector<const char*>, std::vector<const char*>>> kGroups = {
    {{"RegOpenKeyExA", "RegCreateKeyExA"}, {"RegCloseKey"}},
    {{"CreateFileMappingA", "OpenFileMappingA", "CreateMutexA", "CreateProcessA", "CreateProcessA"}, {"CloseHandle"}},
    {{"MapViewOfFile"}, {"UnmapViewOfFile"}},
    {{"LoadLibraryA"}, {"FreeLibrary"}},
    {{"OpenPrinterA", "OpenPrinterW"}, {"ClosePrinter"}},
    {{"FindFirstFileA"}, {"FindClose"}},
    {{"_fsopen"}, {"fclose"}},
    {{"LoadMenuA"}, {"DestroyMenu"}},
    {{"CreateSolidBrush", "LoadBitmapA", "CreateCompatibleDC", "CreateICA"}, {"DeleteObject", "DeleteDC"}},
};

// Counts every acquiring and releasing call while it lives; Held gives, per group, the
// objects acquired and not released.
struct CBalance {
  std::map<std::string, std::unique_ptr<fault::CHook>> hooks;
  CBalance() {
    for (const auto& group : kGroups)
      for (const auto* names : {&group.first, &group.second})
        for (const char* pszName : *names)
          if (!hooks[pszName]) hooks[pszName] = std::make_unique<fault::CHook>(pszName);
  }
  std::vector<int> Held() const {
    std::vector<int> held;
    for (const auto& [acquire, release] : kGroups) {
      held.push_back(0);
      for (const char* pszName : acquire) held.back() += hooks.at(pszName)->Successes();
      for (const char* pszName : release) held.back() -= hooks.at(pszName)->Calls();
    }
    return held;
  }
};

class FaultsTest : public ResidentTest {
protected:
  // Measures and draws item 920 as the open menu would, then chooses the command.
  static std::function<void()> OpenMenuAndChoose(UINT nID) {
    return [nID] {
      WhileMenuOpen([nID] {
        static HDC s_hdc = CreateCompatibleDC(nullptr);  // made once, outside any count
        MEASUREITEMSTRUCT measure = {ODT_MENU, 0, 920, 0, 0, 0};
        DRAWITEMSTRUCT draw = {ODT_MENU, 0, 920, ODA_DRAWENTIRE, ODS_SELECTED, nullptr, s_hdc, {0, 0, 100, 19}, 0};
        SendMessageA(Window(), WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&measure));
        SendMessageA(Window(), WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&draw));
        Post(WM_COMMAND, nID);
      });
      Tray(WM_RBUTTONDOWN);
    };
  }
  void TearDown() override {
    testenv::DeleteRegValue(HKEY_LOCAL_MACHINE, kRunKey, m_driver.printerKey);
    ResidentTest::TearDown();
  }
};

TEST_F(FaultsTest, EveryCallFailingOnceFromStartToDeletedPrinter) {
  // Releases are not failed: nothing can be done when they fail, and no outcome is stated.
  const std::vector<std::string> kNotFailed = {"RegCloseKey",
                                               "CloseHandle",
                                               "UnmapViewOfFile",
                                               "FreeLibrary",
                                               "ClosePrinter",
                                               "FindClose",
                                               "fclose",
                                               "DeleteObject",
                                               "DeleteDC",
                                               "DestroyMenu",
                                               "ReleaseMutex",
                                               "GetTickCount",
                                               "Sleep",
                                               "GetACP"};
  // Start, Printer Status from the menu, an auxiliary item; then the printer is deleted and
  // the timer ticks (a failure may have left no timer, and the harness closes it then).
  const std::vector<std::function<void()>> life = {
      OpenMenuAndChoose(ID_PRINTER_STATUS), OpenMenuAndChoose(920), [this] {
        Fail("OpenPrinterA", ERROR_INVALID_PRINTER_NAME), Fail("OpenPrinterW", ERROR_INVALID_PRINTER_NAME);
        Post(WM_TIMER, DELPRN_TIMER_ID);
      }};
  unsigned nInjected = 0;
  std::vector<const char*> failing = fault::KnownImports();
  failing.push_back("new");  // the program's nothrow allocations
  for (const char* pszApi : failing) {
    if (std::find(kNotFailed.begin(), kNotFailed.end(), pszApi) != kNotFailed.end()) continue;
    for (unsigned n = 0, nCalls = 0; n <= nCalls; ++n) {
      SCOPED_TRACE(std::string(pszApi) + " failing on call " + std::to_string(n));
      testenv::DeleteRegTree(HKEY_CURRENT_USER, "software\\OLMAR");
      testenv::SetRegString(HKEY_CURRENT_USER, kRunKey, m_driver.printerKey, m_driver.runCommand);
      testenv::SetRegString(HKEY_LOCAL_MACHINE, kRunKey, m_driver.printerKey, m_driver.runCommand);
      testenv::WriteFile(m_driver.paramFile, "/P \"prw3test\"\r\n/D \"prw3test\"\r\n/M \"PRW3DEMO\"\r\n");
      RemoveParamFiles();
      Journal().clear();
      std::vector<int> held;
      int nExitCode = -1;
      {
        CBalance balance;
        const bool bNew = strcmp(pszApi, "new") == 0;
        std::unique_ptr<fault::CHook> hook(bNew ? nullptr : new fault::CHook(pszApi, ERROR_NOT_ENOUGH_MEMORY, n));
        fault::CFailNew failNew(bNew ? n : 0);
        nExitCode = Run("", life, false);
        ReleaseHooks();
        held = balance.Held();
        if (!n) nCalls = hook ? hook->Calls() : failNew.Calls();
      }
      if (!n) continue;
      ++nInjected;
      EXPECT_EQ(0, nExitCode);
      EXPECT_EQ(std::vector<int>(kGroups.size(), 0), held);
      EXPECT_FALSE(BlockExists()) << "the table's block is left open";
      // One message at most, and Printer Status either started or said it could not; a
      // parameter file stays only for a status program that was started.
      const bool bStatus = Lines({"start C:"}) != "";
      const auto nBoxes = std::count_if(
          Journal().begin(), Journal().end(), [](const std::string& line) { return line.rfind("box", 0) == 0; });
      EXPECT_LE(bStatus + nBoxes, 1) << Lines({"box"});
      EXPECT_TRUE(ParamFiles().empty() || bStatus) << ParamFiles();
    }
  }
  EXPECT_GT(nInjected, 250u);
}

TEST_F(FaultsTest, ThousandMenusIconChangesShellRestartsAndTicksLeaveNoObjectBehind) {
  EXPECT_EQ(0, Run("", {[this] {
                     const HDC hdc = CreateCompatibleDC(nullptr);
                     CBalance balance;
                     fault::CHook icons("LoadImageA");
                     const UINT nTaskbarCreated = RegisterWindowMessageA("TaskbarCreated");
                     for (int i = 0; i < 1000; ++i) {
                       WhileMenuOpen([hdc] {
                         for (UINT nID : {920u, 921u}) {
                           DRAWITEMSTRUCT draw = {
                               ODT_MENU, 0, nID, ODA_DRAWENTIRE, ODS_SELECTED, nullptr, hdc, {0, 0, 100, 19}, 0};
                           SendMessageA(Window(), WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&draw));
                         }
                       });
                       SendMessageA(Window(), WM_TRAYNOTIFY, 0, WM_RBUTTONDOWN);
                       if (i % 10) continue;
                       testenv::SetRegDword(HKEY_CURRENT_USER, TargetKey(), TRAY_ICON_SELECTED, i / 10 % 3);
                       for (UINT uMsg : {UINT(WM_TRAYICONCHANGE), nTaskbarCreated, UINT(WM_TIMER)})
                         SendMessageA(Window(), uMsg, uMsg == WM_TIMER ? DELPRN_TIMER_ID : 0, 0);
                     }
                     EXPECT_EQ(std::vector<int>(kGroups.size(), 0), balance.Held());
                     EXPECT_EQ(0u, icons.Calls()) << "the icons held serve every change and restart";
                     DeleteDC(hdc);
                   }}));
  EXPECT_EQ(1000u, static_cast<size_t>(std::count(Journal().begin(), Journal().end(), "menu 2 owner")));
}

}  // namespace
