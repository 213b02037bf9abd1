// The real resident under Wine from start to end: it shows its icon and holds its
// printer's slot; its menu shows the driver's bitmaps, and its commands and a double click
// start the driver's programs (the status program from its own file, even when a shorter
// prefix of its unquoted path names another program); a second start makes it re-read its
// icon, a killed resident's slot goes to the next one, the end of the session closes it.
// Once its printer is deleted it removes its start-up entry at the next tick and ends, and
// its debug log traces the run.
#include "e2e/E2eTest.h"

#include "shared/MonitorTable.h"
#include "targets/TargetRegistry.h"

#include <algorithm>
#include <cstdio>

namespace e2e {
namespace {

const DWORD TEST_PAGE_BLUE = 0x2060D0;  // bitmap 920 as the screen shows it
const DWORD CLEANING_CYAN = 0x30B0F0;   // bitmap 921
const char DECOY[] = "C:\\Program.exe";

class ResidentTest : public E2eTest {};

TEST_F(ResidentTest, ServesItsPrinterFromStartToSessionEnd) {
  const std::string printer = testenv::ExistingPrinter();
  const testenv::DemoDriver driver = testenv::InstallDemoDriver(printer, printer);
  ASSERT_FALSE(HasFailure());
  // A copy of the auxiliary tool at C:\Program.exe: a start of it would leave a record.
  ASSERT_TRUE(CopyFileA(driver.auxProgram.c_str(), DECOY, FALSE)) << GetLastError();
  m_files.push_back(DECOY);
  const std::string args = "/A \"" + driver.paramFile + "\"";
  CProcess first;
  ASSERT_TRUE(first.Start(args));
  HWND hWnd = first.Serving(printer);
  ASSERT_NE(nullptr, hWnd) << "exit code " << first.Wait(0);
  // The block lives as long as a handle to it: this one keeps a killed resident's slot.
  CKernelHandle hTable(OpenFileMappingA(FILE_MAP_READ, FALSE, MONITOR_MAP_NAME));
  ASSERT_TRUE(hTable.IsValid());
  EXPECT_EQ(std::vector<std::string>{"green"}, WaitForTrayColors({"green"})) << "icon 700";

  // prw3ctl, as scripts/demo uses it, sees the same.
  char szWindow[32];
  snprintf(szWindow, sizeof(szWindow), "%p", static_cast<void*>(hWnd));
  const std::string views[][2] = {
      {"find", szWindow}, {"table " + printer, szWindow}, {"table nosuchprinter", "none"}, {"icon-color", "green"}};
  for (const auto& view : views) EXPECT_EQ("0|" + view[1], Ctl(view[0])) << view[0];

  // The draw handler copies the items' bitmaps into the menu; items are drawn one at a
  // time, so a capture may come between them.
  ASSERT_EQ("0|", Ctl("rclick"));
  HWND hMenu = residentctl::WaitForMenu(0, TIMEOUT_MS);
  RECT rc = {};
  ASSERT_TRUE(hMenu && GetWindowRect(hMenu, &rc));
  std::vector<DWORD> pixels;
  const auto shows = [&](DWORD colour) { return std::count(pixels.begin(), pixels.end(), colour) > 0; };
  EXPECT_TRUE(residentctl::WaitFor(
      TIMEOUT_MS,
      [&] { return residentctl::CaptureScreen(rc, &pixels) && shows(TEST_PAGE_BLUE) && shows(CLEANING_CYAN); }))
      << "bitmap 920 " << shows(TEST_PAGE_BLUE) << ", bitmap 921 " << shows(CLEANING_CYAN);

  // The menu's order: the printer's name (Printer Status, the menu is open already),
  // Monitoring Preferences, then the driver's items from Print Test Page on. The status
  // program ran from its own file and read the /F file the resident wrote into the
  // temporary folder, which it then deleted.
  EXPECT_EQ("0|", Ctl("menu-choose 0"));
  WaitForRecords(1);
  EXPECT_TRUE(Ctl("rclick") == "0|" && Ctl("menu-choose 2") == "0|");
  EXPECT_TRUE(WaitForProcessesToEnd("O_P10RN1.EXE"));
  std::vector<Record> records = WaitForRecords(3, 500);
  ASSERT_EQ(2u, records.size()) << "one program each";
  Record &status = records[0], &aux = records[1];
  EXPECT_EQ("status|" + driver.statusProgram + "|prw3test CUPS:prw3test PRW3DEMO 0|" + driver.auxProgram +
                "|/testpage /P \"prw3test\" /M \"PRW3DEMO\" /D \"prw3test\" /O \"CUPS:prw3test\"",
            status["program"] + "|" + status["module"] + "|" + status["printer"] + " " + status["port"] + " " +
                status["model"] + " " + status["E"] + "|" + aux["module"] + "|" + aux["args"]);
  EXPECT_EQ(driver.statusProgram + " /F \"" + status["F"] + "\"", status["cmdline"]);
  EXPECT_FALSE(testenv::FileExists(testenv::TempDir() + status["F"])) << "read and deleted";

  // The status program's command line started without naming the program takes the decoy.
  CProcess plain;
  ASSERT_TRUE(plain.StartCommandLine(status["cmdline"]));
  plain.Wait(TIMEOUT_MS);
  EXPECT_EQ(DECOY, WaitForRecords(3).back()["module"]);

  // The preferences program picks another icon; a second start tells the first and ends.
  char szTarget[MAX_PATH] = "";
  FindTargetKey(printer.c_str(), FALSE, szTarget);
  for (const auto& icon : {std::make_pair(1, "amber"), std::make_pair(2, "red")}) {
    testenv::SetRegDword(HKEY_CURRENT_USER, szTarget, TRAY_ICON_SELECTED, icon.first);
    CProcess second;
    ASSERT_TRUE(second.Start(args));
    EXPECT_EQ(0, second.Wait(TIMEOUT_MS));
    EXPECT_EQ(std::vector<std::string>{icon.second}, WaitForTrayColors({icon.second}));
  }
  EXPECT_EQ(hWnd, residentctl::TableWindow(printer)) << "the first keeps its slot";

  // Killed, the first cannot free its slot; the next start takes it over.
  ASSERT_TRUE(TerminateProcess(first.Handle(), 1));
  ASSERT_TRUE(residentctl::WaitGone(hWnd, TIMEOUT_MS));
  CProcess next;
  ASSERT_TRUE(next.Start(args));
  hWnd = next.Serving(printer);
  ASSERT_NE(nullptr, hWnd) << "exit code " << next.Wait(0);
  EXPECT_EQ(std::vector<std::string>{"red"}, WaitForTrayColors({"red"}));

  // The Restart Manager (an update, a removal) or the session's end closes it: asked, it
  // agrees, and told, it ends at once with its slot given back and its icon gone.
  DWORD_PTR nAnswer = 0;
  EXPECT_TRUE(
      SendMessageTimeoutA(hWnd, WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP, SMTO_ABORTIFHUNG, TIMEOUT_MS, &nAnswer));
  EXPECT_EQ(TRUE, nAnswer);
  SendMessageTimeoutA(hWnd, WM_ENDSESSION, TRUE, ENDSESSION_CLOSEAPP, SMTO_ABORTIFHUNG, TIMEOUT_MS, &nAnswer);
  EXPECT_EQ(0, next.Wait(TIMEOUT_MS));
  EXPECT_EQ(nullptr, residentctl::TableWindow(printer)) << "the slot is freed";
  EXPECT_EQ(std::vector<std::string>(), WaitForTrayColors({})) << "the icon is gone";
  EXPECT_NE("<missing>", testenv::GetReg(HKEY_CURRENT_USER, REG_RUN_KEY, printer)) << "closed, it keeps its entry";
}

TEST_F(ResidentTest, DeletedPrinterEndsItAtTheNextTickAndItsLogTracesTheRun) {
  const std::string printer = "prw3 doomed", missing = "C:\\prw3-missing.exe";
  ASSERT_NO_FATAL_FAILURE(AddFilePrinter(printer));
  const testenv::DemoDriver driver = testenv::InstallDemoDriver(printer, testenv::ExistingPrinter());
  ASSERT_FALSE(HasFailure());
  const std::string args = "/A \"" + driver.paramFile + "\"";
  // The log switched on (the listener removes the switch), and an auxiliary command whose
  // program does not exist.
  testenv::SetRegDword(HKEY_LOCAL_MACHINE, REG_DEBUG_KEY, REG_DEBUG_VALUE, 1);
  m_files.push_back(DEBUG_LOG_PATH);
  testenv::RemoveFile(DEBUG_LOG_PATH);
  testenv::SetRegString(HKEY_LOCAL_MACHINE,
                        std::string(REG_DRIVER_KEY_PREFIX) + driver.driverName + "\\Menu",
                        std::to_string(AUX_FIRST_ID),
                        missing);

  CProcess resident;
  ASSERT_TRUE(resident.Start(args));
  HWND hWnd = resident.Serving(printer);
  ASSERT_NE(nullptr, hWnd) << "exit code " << resident.Wait(0);
  // Printer Status, then Print Test Page after Monitoring Preferences.
  for (int nPosition : {0, 2}) {
    PostMessageA(hWnd, WM_TRAYNOTIFY, 0, WM_RBUTTONDOWN);
    EXPECT_TRUE(residentctl::ChooseMenuItem(hWnd, nPosition, TIMEOUT_MS)) << nPosition;
  }
  const std::vector<Record> records = WaitForRecords(1);
  ASSERT_EQ(1u, records.size()) << "the status program, and no auxiliary one";

  ASSERT_TRUE(DeletePrinterByName(printer));
  const DWORD deleted = GetTickCount();
  EXPECT_EQ(0, resident.Wait(TIMEOUT_MS)) << "ended by the timer";
  EXPECT_LT(GetTickCount() - deleted, 3000u) << "at the next tick (every 2 s), not a later one";
  EXPECT_EQ("<missing>", testenv::GetReg(HKEY_CURRENT_USER, REG_RUN_KEY, printer));
  EXPECT_FALSE(testenv::FileExists(driver.paramFile));
  EXPECT_EQ(std::vector<std::string>(), WaitForTrayColors({}));

  // The key lines, in this order, after their tick stamps. The failed auxiliary command
  // leaves no other trace than its lines.
  const std::string expected[] = {"lpszCmdLine : " + args,
                                  "MainFrame.StartUp() : Result : 1",
                                  "CMainFrame::StartExe : lpszCmdLine : " + records[0].at("cmdline"),
                                  "CMainFrame::StartExe : lpszCmdLine : " + missing + " /P \"" + printer + "\" /M \"" +
                                      driver.modelID + "\" /D \"" + driver.driverName + "\" /O \"FILE:\"",
                                  "CMainFrame::ChkDelPrn : Printer Open Failed : " + printer,
                                  "Delete Reg HKCU\\run",
                                  "Delete Reg HKLM\\run",
                                  "***** LOG END ******"};
  const std::string log = testenv::ReadFile(DEBUG_LOG_PATH);
  size_t pos = 0;
  for (const std::string& line : expected)
    ASSERT_NE(std::string::npos, pos = log.find(" : " + line + "\r\n", pos)) << "not found in order: " << line << "\n"
                                                                             << log;
}

}  // namespace
}  // namespace e2e
