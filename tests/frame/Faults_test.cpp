// Faults through the resident's whole life: every call it makes is failed in turn, once
// on each of the times it is made. Whatever fails, the process ends with 0 or carries on
// as the program states, and leaves no handle, key, view, library, printer, search,
// stream, menu or GDI object behind.
#include "support/Resident.h"

namespace {

// What is acquired and what releases it: each group must balance after a run.
const std::pair<std::vector<const char*>, std::vector<const char*>> kGroups[] = {
    {{"RegOpenKeyExA", "RegCreateKeyExA"}, {"RegCloseKey"}},
    {{"CreateFileMappingA", "OpenFileMappingA", "CreateMutexA", "CreateProcessA", "CreateProcessA"}, {"CloseHandle"}},
    {{"MapViewOfFile"}, {"UnmapViewOfFile"}},
    {{"LoadLibraryA", "LoadLibraryExA"}, {"FreeLibrary"}},
    {{"OpenPrinterA", "OpenPrinterW"}, {"ClosePrinter"}},
    {{"FindFirstFileA"}, {"FindClose"}},
    {{"_fsopen"}, {"fclose"}},
    {{"LoadMenuA"}, {"DestroyMenu"}},
    {{"CreateSolidBrush", "LoadBitmapA", "CreateCompatibleDC", "CreateICA"}, {"DeleteObject", "DeleteDC"}},
};

using FaultsTest = ResidentTest;

TEST_F(FaultsTest, EveryCallFailingOnceFromStartToDeletedPrinter) {
  // Releases are not failed: nothing can be done when they fail, and no outcome is stated.
  const std::string kNotFailed =
      " RegCloseKey CloseHandle UnmapViewOfFile FreeLibrary ClosePrinter FindClose fclose DeleteObject DeleteDC "
      "DestroyMenu ReleaseMutex GetTickCount Sleep GetACP ";
  // Start; the menu opens and has an item measured and drawn (on a context made once,
  // outside any count); Printer Status and an auxiliary item, an icon change and a shell
  // restart; then the printer is deleted and the timer ticks (a failure may have left no
  // timer, and the harness closes it then).
  static const HDC s_hdc = CreateCompatibleDC(nullptr);
  const auto menu = [] {
    WhileMenuOpen([] {
      Measure(920);
      Draw(920, s_hdc, {0, 0, 100, 19});
    });
    Tray(WM_RBUTTONDOWN);
  };
  const auto restart = [] { Post(RegisterWindowMessageA("TaskbarCreated")); };
  const Steps life = {
      menu, Command(ID_PRINTER_STATUS), Command(920), [] { Post(WM_TRAYICONCHANGE); }, restart, Deleted(Tick)};
  unsigned nInjected = 0;
  std::vector<const char*> failing = fault::KnownImports();
  // The program's nothrow allocations.
  failing.push_back("new");
  for (const char* pszApi : failing) {
    if (kNotFailed.find(" " + std::string(pszApi) + " ") != std::string::npos) continue;
    for (unsigned n = 0, nCalls = 0; n <= nCalls; ++n) {
      SCOPED_TRACE(std::string(pszApi) + " #" + std::to_string(n));
      testenv::DeleteRegTree(HKEY_CURRENT_USER, "software\\OLMAR");
      for (HKEY hHive : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
        testenv::SetRegString(hHive, kRunKey, m_driver.printerKey, m_driver.runCommand);
      testenv::WriteFile(m_driver.paramFile, "/P \"prw3test\"\r\n/D \"prw3test\"\r\n/M \"PRW3DEMO\"\r\n");
      RemoveParamFiles();
      {
        // Every acquiring and releasing call is counted while the run lasts.
        std::map<std::string, fault::CHook> counts;
        for (const auto& [acquire, release] : kGroups)
          for (const auto* names : {&acquire, &release})
            for (const char* pszName : *names) counts.try_emplace(pszName, pszName);
        const bool bNew = std::string(pszApi) == "new";
        std::unique_ptr<fault::CHook> hook(bNew ? nullptr : new fault::CHook(pszApi, ERROR_NOT_ENOUGH_MEMORY, n));
        fault::CFailNew failNew(bNew ? n : 0);
        Run("", life, false);
        if (!n) nCalls = hook ? hook->Calls() : failNew.Calls();
        // Each group's objects acquired are all released.
        for (const auto& [acquire, release] : kGroups) {
          int nHeld = 0;
          for (const char* pszName : acquire) nHeld += counts.at(pszName).Successes();
          for (const char* pszName : release) nHeld -= counts.at(pszName).Calls();
          EXPECT_EQ(0, nHeld) << release[0];
        }
      }
      if (!n) continue;
      ++nInjected;
      // The table's block is not left open.
      EXPECT_FALSE(BlockExists());
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

}  // namespace
