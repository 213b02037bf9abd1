// The real resident's tray menu under Wine: a right-button press opens it with the
// driver's owner-drawn items measured and drawn; its commands and a double click start
// the driver's programs with the printer's identity, the status program always from its
// own file even when a shorter prefix of its path names another program.
#include "e2e/E2eTest.h"

#include <algorithm>

namespace e2e {
namespace {

// Colours of the menu bitmaps 920 (test page) and 921 (cleaning) as the screen shows them.
const DWORD TEST_PAGE_BLUE = 0x2060D0;
const DWORD CLEANING_CYAN = 0x30B0F0;
const size_t OWNER_DRAWN_ITEMS = 3;  // 920, 921 and 925; 930 has no text
const char DECOY[] = "C:\\Program.exe";

class TrayMenuTest : public E2eTest {
protected:
  void SetUp() override {
    E2eTest::SetUp();
    m_driver = testenv::InstallDemoDriver(testenv::ExistingPrinter(), testenv::ExistingPrinter());
    ASSERT_FALSE(HasFailure());
    ASSERT_TRUE(m_resident.Start(StartupArgs(m_driver)));
    m_hWnd = WaitUntilServing(m_resident, testenv::ExistingPrinter());
    ASSERT_NE(nullptr, m_hWnd) << "exit code " << m_resident.Wait(0);
  }
  void TearDown() override {
    if (m_resident.IsRunning()) {
      PostMessageA(m_hWnd, WM_CLOSE, 0, 0);
      EXPECT_EQ(0, m_resident.Wait(END_TIMEOUT_MS));
    }
    E2eTest::TearDown();
  }

  // Opens the menu and chooses the command; the record of the program it started.
  Record Choose(UINT nCommand) {
    const size_t before = testenv::ReadProgramRecords(m_recordFile).size();
    EXPECT_TRUE(residentctl::PostTrayMouse(m_hWnd, WM_RBUTTONDOWN));
    EXPECT_TRUE(residentctl::ChooseMenuItem(m_hWnd, nCommand, START_TIMEOUT_MS)) << nCommand;
    return NextRecord(before);
  }
  Record NextRecord(size_t before) {
    std::vector<Record> records = WaitForRecords(before + 1);
    if (records.size() != before + 1) {
      ADD_FAILURE() << records.size() - before << " programs started";
      return {};
    }
    return records.back();
  }

  // The status program's record: it ran from its file and read the /F parameter file
  // the resident wrote into the temporary folder, which it then deleted.
  void ExpectStatusRecord(Record r, const std::string& preferences) {
    EXPECT_EQ("status", r["program"]);
    EXPECT_EQ(m_driver.statusProgram, r["module"]);
    const std::string prefix = m_driver.statusProgram + " /F \"";
    ASSERT_EQ(0u, r["cmdline"].find(prefix)) << r["cmdline"];
    std::string file = r["cmdline"].substr(prefix.size());
    ASSERT_FALSE(file.empty());
    file.pop_back();  // the closing quote
    EXPECT_EQ(r["F"], file);
    std::string upper = file;
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    EXPECT_TRUE(upper.size() > 7 && upper.compare(0, 3, "O_P") == 0 && upper.compare(upper.size() - 4, 4, ".TMP") == 0)
        << file;
    EXPECT_FALSE(testenv::FileExists(testenv::TempDir() + file)) << "read and deleted";
    EXPECT_EQ(testenv::ExistingPrinter(), r["printer"]);
    EXPECT_EQ("CUPS:" + testenv::ExistingPrinter(), r["port"]);
    EXPECT_EQ(m_driver.driverName, r["driver"]);
    EXPECT_EQ(m_driver.modelID, r["model"]);
    EXPECT_EQ(preferences, r["E"]);
  }

  testenv::DemoDriver m_driver;
  CResidentProcess m_resident;
  HWND m_hWnd = nullptr;
};

TEST_F(TrayMenuTest, RightClickOpensTheMenuWithOwnerDrawnItems) {
  ASSERT_TRUE(residentctl::PostTrayMouse(m_hWnd, WM_RBUTTONDOWN));
  HWND hMenu = residentctl::WaitForMenu(START_TIMEOUT_MS);
  ASSERT_NE(nullptr, hMenu);
  RECT rc;
  ASSERT_TRUE(GetWindowRect(hMenu, &rc));
  // Each owner-drawn item is as high as the measure handler said; the two text items
  // take at least a menu line less one pixel each.
  const int cyItem = GetSystemMetrics(SM_CYMENU);
  EXPECT_GE(rc.bottom - rc.top, static_cast<int>(OWNER_DRAWN_ITEMS) * cyItem + 2 * (cyItem - 1));
  EXPECT_GT(rc.right - rc.left, GetSystemMetrics(SM_CXMENUCHECK));

  // The draw handler copied the items' bitmaps into the menu.
  std::vector<DWORD> pixels;
  for (DWORD start = GetTickCount(); GetTickCount() - start < START_TIMEOUT_MS; Sleep(20)) {
    ASSERT_TRUE(residentctl::CaptureScreen(rc, &pixels));
    if (std::count(pixels.begin(), pixels.end(), CLEANING_CYAN) > 0) break;
  }
  EXPECT_GT(std::count(pixels.begin(), pixels.end(), TEST_PAGE_BLUE), 0) << "bitmap 920";
  EXPECT_GT(std::count(pixels.begin(), pixels.end(), CLEANING_CYAN), 0) << "bitmap 921";

  const std::string artifacts = BinDir() + "\\artifacts";
  CreateDirectoryA(artifacts.c_str(), nullptr);
  EXPECT_TRUE(residentctl::SaveScreenBitmap(artifacts + "\\menu.bmp"));

  EXPECT_TRUE(residentctl::CancelMenu(END_TIMEOUT_MS));
  EXPECT_TRUE(m_resident.IsRunning());
  EXPECT_TRUE(testenv::ReadProgramRecords(m_recordFile).empty()) << "no command without a choice";
}

TEST_F(TrayMenuTest, CommandsAndDoubleClickStartTheDriversPrograms) {
  ExpectStatusRecord(Choose(ID_PRINTER_STATUS), "0");
  ExpectStatusRecord(Choose(ID_MONITORING_PREFERENCES), "1");

  Record aux = Choose(AUX_FIRST_ID);
  EXPECT_EQ("aux", aux["program"]);
  EXPECT_EQ(m_driver.auxProgram, aux["module"]);
  EXPECT_EQ("/testpage /P \"prw3test\" /M \"PRW3DEMO\" /D \"prw3test\" /O \"CUPS:prw3test\"", aux["args"]);

  const size_t before = testenv::ReadProgramRecords(m_recordFile).size();
  ASSERT_TRUE(residentctl::PostTrayMouse(m_hWnd, WM_LBUTTONDBLCLK));
  ExpectStatusRecord(NextRecord(before), "0");
  EXPECT_TRUE(m_resident.IsRunning());
}

TEST_F(TrayMenuTest, PrinterStatusStartsItsOwnFileDespiteADecoyOnTheWay) {
  // A program at C:\Program.exe, a prefix of the unquoted C:\Program Files\... path. It
  // is a copy of the auxiliary tool, so a start of it would leave a record naming it.
  ASSERT_TRUE(CopyFileA(m_driver.auxProgram.c_str(), DECOY, FALSE)) << GetLastError();
  m_files.push_back(DECOY);

  Record r = Choose(ID_PRINTER_STATUS);
  ExpectStatusRecord(r, "0");
  EXPECT_TRUE(WaitForProcessesToEnd("O_P10RN1.EXE", END_TIMEOUT_MS));
  EXPECT_EQ(1u, WaitForRecords(2, 500).size()) << "nothing else started";

  // The same command line started without naming the program takes the decoy.
  std::string cmdLine = r["cmdline"];
  STARTUPINFOA si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  ASSERT_TRUE(CreateProcessA(nullptr, &cmdLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  CloseHandle(pi.hThread);
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(pi.hProcess, END_TIMEOUT_MS));
  CloseHandle(pi.hProcess);
  std::vector<Record> records = WaitForRecords(2);
  ASSERT_EQ(2u, records.size());
  EXPECT_EQ(DECOY, records[1]["module"]);
}

}  // namespace
}  // namespace e2e
