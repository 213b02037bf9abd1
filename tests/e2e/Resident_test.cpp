// The real resident under Wine, for what only a process of its own shows: its menu shows
// the driver's bitmaps, and the items at their places start the driver's programs (the
// status program from its own file, even when a shorter prefix of its unquoted path names
// another program); a killed resident's slot goes to the next one, the end of the session
// closes it; once its printer is deleted its timer removes its start-up entry at the next
// tick and it ends.
#include "e2e/E2eTest.h"

#include "shared/MonitorTable.h"

#include <algorithm>

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

  // The draw handler copies the items' bitmaps into the menu; items are drawn one at a
  // time, so a capture may come between them.
  ASSERT_TRUE(PostMessageA(hWnd, WM_TRAYNOTIFY, 0, WM_RBUTTONDOWN));
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
  EXPECT_TRUE(residentctl::ChooseMenuItem(hWnd, 0, TIMEOUT_MS));
  WaitForRecords(1);
  ASSERT_TRUE(PostMessageA(hWnd, WM_TRAYNOTIFY, 0, WM_RBUTTONDOWN));
  EXPECT_TRUE(residentctl::ChooseMenuItem(hWnd, 2, TIMEOUT_MS));
  EXPECT_TRUE(WaitForProcessesToEnd("O_P10RN1.EXE"));
  std::vector<Record> records = WaitForRecords(3, 500);
  ASSERT_EQ(2u, records.size()) << "one program each";
  Record& status = records[0];
  Record& aux = records[1];
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

  // Killed, the first cannot free its slot; the next start takes it over.
  ASSERT_TRUE(TerminateProcess(first.Handle(), 1));
  ASSERT_TRUE(residentctl::WaitGone(hWnd, TIMEOUT_MS));
  CProcess next;
  ASSERT_TRUE(next.Start(args));
  hWnd = next.Serving(printer);
  ASSERT_NE(nullptr, hWnd) << "exit code " << next.Wait(0);

  // The Restart Manager (an update, a removal) or the session's end closes it: asked, it
  // agrees, and told, it ends at once with its slot given back.
  DWORD_PTR nAnswer = 0;
  EXPECT_TRUE(
      SendMessageTimeoutA(hWnd, WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP, SMTO_ABORTIFHUNG, TIMEOUT_MS, &nAnswer));
  EXPECT_EQ(TRUE, nAnswer);
  SendMessageTimeoutA(hWnd, WM_ENDSESSION, TRUE, ENDSESSION_CLOSEAPP, SMTO_ABORTIFHUNG, TIMEOUT_MS, &nAnswer);
  EXPECT_EQ(0, next.Wait(TIMEOUT_MS));
  EXPECT_EQ(nullptr, residentctl::TableWindow(printer)) << "the slot is freed";
  EXPECT_NE("<missing>", testenv::GetReg(HKEY_CURRENT_USER, REG_RUN_KEY, printer)) << "closed, it keeps its entry";
}

TEST_F(ResidentTest, DeletedPrinterEndsItAtTheNextTick) {
  const std::string printer = "prw3 doomed";
  ASSERT_NO_FATAL_FAILURE(AddFilePrinter(printer));
  const testenv::DemoDriver driver = testenv::InstallDemoDriver(printer, testenv::ExistingPrinter());
  ASSERT_FALSE(HasFailure());
  CProcess resident;
  ASSERT_TRUE(resident.Start("/A \"" + driver.paramFile + "\""));
  ASSERT_NE(nullptr, resident.Serving(printer)) << "exit code " << resident.Wait(0);

  ASSERT_TRUE(DeletePrinterByName(printer));
  const DWORD deleted = GetTickCount();
  EXPECT_EQ(0, resident.Wait(TIMEOUT_MS)) << "ended by the timer";
  EXPECT_LT(GetTickCount() - deleted, 3000u) << "at the next tick (every 2 s), not a later one";
  EXPECT_EQ("<missing>", testenv::GetReg(HKEY_CURRENT_USER, REG_RUN_KEY, printer));
  EXPECT_FALSE(testenv::FileExists(driver.paramFile));
}

// Run at 96 DPI and, by scripts/test, at 144: the first auxiliary item highlighted fills
// its rectangle with the highlight colour; from its left edge the bitmap starts at 4 and
// is 16 wide, the text starts at 30 (glyphs may begin a pixel or two in), each scaled to
// the display's DPI.
TEST_F(ResidentTest, DrawsItsMenuAtTheDisplayScale) {
  const std::string printer = testenv::ExistingPrinter();
  const testenv::DemoDriver driver = testenv::InstallDemoDriver(printer, printer);
  ASSERT_FALSE(HasFailure());
  CProcess resident;
  ASSERT_TRUE(resident.Start("/A \"" + driver.paramFile + "\""));
  HWND hWnd = resident.Serving(printer);
  ASSERT_NE(nullptr, hWnd) << "exit code " << resident.Wait(0);
  ASSERT_TRUE(PostMessageA(hWnd, WM_TRAYNOTIFY, 0, WM_RBUTTONDOWN));
  HWND hMenu = residentctl::SelectMenuItem(hWnd, 2, TIMEOUT_MS);
  RECT rc = {};
  ASSERT_TRUE(hMenu && GetWindowRect(hMenu, &rc));
  const HDC hScreen = GetDC(nullptr);
  const int nDpi = GetDeviceCaps(hScreen, LOGPIXELSX);
  ReleaseDC(nullptr, hScreen);
  const COLORREF crHighlight = GetSysColor(COLOR_HIGHLIGHT);
  const DWORD highlight = GetRValue(crHighlight) << 16 | GetGValue(crHighlight) << 8 | GetBValue(crHighlight);
  const int cx = rc.right - rc.left;
  // Offsets from the highlight's left edge where columns turn from highlight to drawing
  // and back: the bitmap's start and end, and the text's start.
  std::vector<int> edges;
  residentctl::WaitFor(TIMEOUT_MS, [&] {
    std::vector<DWORD> pixels;
    if (!residentctl::CaptureScreen(rc, &pixels)) return false;
    std::vector<int> rows;
    int nLeft = cx;
    for (int y = 0; y * cx < static_cast<int>(pixels.size()); ++y)
      for (int x = 0; x < cx; ++x)
        if (pixels[y * cx + x] == highlight) {
          nLeft = std::min(nLeft, x);
          if (rows.empty() || rows.back() != y) rows.push_back(y);
        }
    edges.clear();
    bool bDrawing = false;
    for (int x = nLeft; x < cx && edges.size() < 3; ++x) {
      const bool bColumnDrawn =
          std::any_of(rows.begin(), rows.end(), [&](int y) { return pixels[y * cx + x] != highlight; });
      if (bColumnDrawn != bDrawing) edges.push_back(x - nLeft);
      bDrawing = bColumnDrawn;
    }
    return edges.size() == 3;
  });
  const auto scaled = [nDpi](int n) { return MulDiv(n, nDpi, USER_DEFAULT_SCREEN_DPI); };
  ASSERT_EQ(3u, edges.size()) << "at " << nDpi << " DPI";
  EXPECT_EQ(scaled(4), edges[0]) << nDpi << " DPI: the bitmap's left";
  EXPECT_EQ(scaled(4) + scaled(16), edges[1]) << nDpi << " DPI: the bitmap's right";
  EXPECT_LE(scaled(30), edges[2]) << nDpi << " DPI: the text's left";
  EXPECT_GE(scaled(30) + 2, edges[2]) << nDpi << " DPI: the text's left";
  EXPECT_TRUE(residentctl::CloseMenu(hWnd, TIMEOUT_MS));
}

}  // namespace
}  // namespace e2e
