// The real resident under Wine, for what only a process of its own shows: its menu shows
// the driver's bitmaps, and the items at their places start the driver's programs (the
// status program from its own file, even when a shorter prefix of its unquoted path names
// another program); a killed resident's slot goes to the next one; once its printer is
// deleted its timer removes its start-up entry at the next tick and it ends. And its menu
// drawn at the display's scale.
#include "e2e/E2eTest.h"

#include "shared/MonitorTable.h"

#include <algorithm>

namespace e2e {
namespace {

const DWORD TEST_PAGE_BLUE = 0x2060D0;  // bitmap 920 as the screen shows it
const DWORD CLEANING_CYAN = 0x30B0F0;   // bitmap 921
const char DECOY[] = "C:\\Program.exe";

class ResidentTest : public E2eTest {};

TEST_F(ResidentTest, ServesItsPrinterUntilItIsDeleted) {
  const std::string printer = "prw3 doomed";
  ASSERT_NO_FATAL_FAILURE(AddFilePrinter(printer));
  const testenv::DemoDriver driver = testenv::InstallDemoDriver(printer, testenv::ExistingPrinter());
  ASSERT_FALSE(HasFailure());
  // A copy of the auxiliary tool at C:\Program.exe: a start of it would leave a record.
  ASSERT_TRUE(CopyFileA(driver.auxProgram.c_str(), DECOY, FALSE)) << GetLastError();
  m_files.push_back(DECOY);
  CProcess first;
  HWND hWnd = first.Serve(driver.paramFile, printer);
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
      << "920: " << shows(TEST_PAGE_BLUE) << ", 921: " << shows(CLEANING_CYAN);

  // The menu's order: the printer's name (Printer Status, the menu is open already),
  // Monitoring Preferences, then the driver's items from Print Test Page on. The status
  // program ran from its own file and read the /F file the resident wrote.
  EXPECT_TRUE(residentctl::ChooseMenuItem(hWnd, 0, TIMEOUT_MS));
  WaitForRecords(1);
  ASSERT_TRUE(PostMessageA(hWnd, WM_TRAYNOTIFY, 0, WM_RBUTTONDOWN));
  EXPECT_TRUE(residentctl::ChooseMenuItem(hWnd, 2, TIMEOUT_MS));
  std::vector<Record> records = WaitForRecords(3, 500);
  ASSERT_EQ(2u, records.size()) << "one program each";
  Record& status = records[0];
  EXPECT_EQ("status|" + driver.statusProgram + "|prw3 doomed FILE: PRW3DEMO 0|" + driver.auxProgram +
                "|/testpage /P \"prw3 doomed\" /M \"PRW3DEMO\" /D \"prw3test\" /O \"FILE:\"",
            status["program"] + "|" + status["module"] + "|" + status["printer"] + " " + status["port"] + " " +
                status["model"] + " " + status["E"] + "|" + records[1]["module"] + "|" + records[1]["args"]);

  // The status program's command line started without naming the program takes the decoy.
  CProcess plain;
  ASSERT_TRUE(plain.StartCommandLine(status["cmdline"]));
  EXPECT_EQ(DECOY, WaitForRecords(3).back()["module"]);

  // Killed, the first cannot free its slot; the next start takes it over.
  ASSERT_TRUE(TerminateProcess(first.Handle(), 1) && residentctl::WaitGone(hWnd, TIMEOUT_MS));
  CProcess next;
  ASSERT_NE(nullptr, next.Serve(driver.paramFile, printer)) << "exit code " << next.Wait(0);

  ASSERT_TRUE(DeletePrinterByName(printer));
  const DWORD deleted = GetTickCount();
  // Ended by the timer at the next tick (every 2 s), not a later one.
  EXPECT_EQ(0, next.Wait(TIMEOUT_MS));
  EXPECT_LT(GetTickCount() - deleted, 3000u);
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
  HWND hWnd = resident.Serve(driver.paramFile, printer);
  ASSERT_NE(nullptr, hWnd) << "exit code " << resident.Wait(0);
  ASSERT_TRUE(PostMessageA(hWnd, WM_TRAYNOTIFY, 0, WM_RBUTTONDOWN));
  HWND hMenu = residentctl::SelectMenuItem(hWnd, 2, TIMEOUT_MS);
  RECT rc = {};
  ASSERT_TRUE(hMenu && GetWindowRect(hMenu, &rc));
  const CDeviceContext hScreen(CreateDCA("DISPLAY", nullptr, nullptr, nullptr));
  const int nDpi = GetDeviceCaps(hScreen, LOGPIXELSX);
  EXPECT_EQ(testenv::AskedDpi(), nDpi);
  const COLORREF crHighlight = GetSysColor(COLOR_HIGHLIGHT);
  const DWORD highlight = GetRValue(crHighlight) << 16 | GetGValue(crHighlight) << 8 | GetBValue(crHighlight);
  const int cx = rc.right - rc.left;
  // Offsets from the highlight's left edge where columns turn from highlight to drawing
  // and back: the bitmap's start and end, and the text's start.
  std::vector<int> edges;
  residentctl::WaitFor(TIMEOUT_MS, [&] {
    std::vector<DWORD> pixels;
    if (!residentctl::CaptureScreen(rc, &pixels)) return false;
    // The highlight's top left and bottom right pixels; a column is drawn where a row
    // between them is not highlighted, and each edge flips that.
    const int nFirst = static_cast<int>(std::find(pixels.begin(), pixels.end(), highlight) - pixels.begin());
    const int nLast = static_cast<int>(std::find(pixels.rbegin(), pixels.rend(), highlight).base() - pixels.begin());
    edges.clear();
    for (int x = nFirst % cx; x < cx && edges.size() < 3; ++x) {
      bool bDrawn = false;
      for (int y = nFirst / cx; y * cx < nLast; ++y) bDrawn |= pixels[y * cx + x] != highlight;
      if (bDrawn != (edges.size() % 2 == 1)) edges.push_back(x - nFirst % cx);
    }
    return edges.size() == 3;
  });
  const auto scaled = [nDpi](int n) { return MulDiv(n, nDpi, USER_DEFAULT_SCREEN_DPI); };
  ASSERT_EQ(3u, edges.size()) << nDpi << " DPI";
  // The bitmap's left and right, the text's left.
  EXPECT_EQ(scaled(4), edges[0]) << nDpi << " DPI";
  EXPECT_EQ(scaled(4) + scaled(16), edges[1]) << nDpi << " DPI";
  EXPECT_TRUE(edges[2] >= scaled(30) && edges[2] <= scaled(30) + 2) << nDpi << " DPI: " << edges[2];
  EXPECT_TRUE(residentctl::CloseMenu(hWnd, TIMEOUT_MS));
}

}  // namespace
}  // namespace e2e
