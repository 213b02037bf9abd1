// The fixture of the end-to-end tests under Wine: the demo driver installed in the prefix,
// the demo programs' record file, printers added for one test, and a prefix left as it
// was found (no resident, demo program, printer, start-up entry or file of ours remains).
#pragma once

#include <windows.h>

#include <shellapi.h>

#include <gtest/gtest.h>

#include <cstring>

#include <map>
#include <string>
#include <vector>

#include "base/Scoped.h"
#include "profile/Contracts.h"
#include "support/DriverPackage.h"
#include "support/ResidentControl_win.h"
#include "support/ResidentProcess_win.h"
#include "support/TestEnv.h"
#include "support/TestFiles.h"
#include "support/TestRegistry.h"

namespace e2e {

const DWORD START_TIMEOUT_MS = 10000;
const DWORD END_TIMEOUT_MS = 10000;
// The demo programs close their window this long after they start.
const char STATUS_TIMEOUT_MS[] = "100";

typedef std::map<std::string, std::string> Record;

// Wine hides its tray window when the last icon goes, and with no window manager on the
// test display that takes two seconds, in the shell call of whoever removed the icon: a
// blank icon of the tests' own keeps the window shown while the tests run.
class CTrayKeeper {
public:
  CTrayKeeper() {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "Prw3E2eTrayKeeper";
    RegisterClassA(&wc);
    m_nid.cbSize = sizeof(m_nid);
    m_nid.hWnd = CreateWindowExA(0, wc.lpszClassName, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    BYTE andMask[16 * 2], xorMask[16 * 2];
    memset(andMask, 0xFF, sizeof(andMask));  // transparent everywhere
    memset(xorMask, 0, sizeof(xorMask));
    m_nid.hIcon = CreateIcon(nullptr, 16, 16, 1, 1, andMask, xorMask);
    m_nid.uFlags = NIF_ICON;
    Shell_NotifyIconA(NIM_ADD, &m_nid);
  }
  ~CTrayKeeper() {
    Shell_NotifyIconA(NIM_DELETE, &m_nid);
    DestroyWindow(m_nid.hWnd);
    DestroyIcon(m_nid.hIcon);
  }
  CTrayKeeper(const CTrayKeeper&) = delete;
  CTrayKeeper& operator=(const CTrayKeeper&) = delete;

private:
  NOTIFYICONDATAA m_nid = {};
};

class E2eTest : public testing::Test {
protected:
  void SetUp() override {
    ASSERT_FALSE(BinDir().empty()) << "PRW3_BIN_DIR names the build folder";
    static CTrayKeeper keeper;
    CloseStrayResidents();
    m_recordFile = testenv::TempDir() + "prw3-e2e-records.txt";
    testenv::RemoveFile(m_recordFile);
    // Inherited by the resident and from it by the programs it starts.
    SetEnvironmentVariableA("PRW3_RECORD_FILE", m_recordFile.c_str());
    SetEnvironmentVariableA("PRW3_STATUS_TIMEOUT_MS", STATUS_TIMEOUT_MS);
  }

  void TearDown() override {
    CloseStrayResidents();
    // A program still running keeps its file: let the started ones end first.
    EXPECT_TRUE(WaitForProgramsToEnd()) << "a demo program is still running";
    testenv::UninstallDemoDriver();
    for (const std::string& name : m_printers) EXPECT_TRUE(DeletePrinterByName(name)) << name;
    for (const std::string& name : m_hklmRunValues) testenv::DeleteRegValue(HKEY_LOCAL_MACHINE, REG_RUN_KEY, name);
    for (const std::string& path : m_files) testenv::RemoveFile(path);
    testenv::RemoveFile(m_recordFile);
    RemoveParameterFiles();
    SetEnvironmentVariableA("PRW3_RECORD_FILE", nullptr);
    SetEnvironmentVariableA("PRW3_STATUS_TIMEOUT_MS", nullptr);
  }

  // A printer on Wine's side for this test only (one left by an aborted run goes first).
  void AddPrinter(const std::string& name) {
    DeletePrinterByName(name);
    ASSERT_TRUE(AddFilePrinter(name)) << name << ": error " << GetLastError();
    m_printers.push_back(name);
  }

  // The start-up entry's arguments: the parameter file the installer left.
  static std::string StartupArgs(const testenv::DemoDriver& driver) { return "/A \"" + driver.paramFile + "\""; }

  // The resident's window once it is up: its window exists before its start-up is done,
  // which ends with its icon and menu ready after it has taken the printer's slot.
  static HWND WaitUntilServing(const CResidentProcess& resident, const std::string& printer) {
    HWND hWnd = resident.Window(START_TIMEOUT_MS);
    for (DWORD start = GetTickCount(); hWnd && GetTickCount() - start < START_TIMEOUT_MS; Sleep(10))
      if (residentctl::TableWindow(printer) == hWnd) return hWnd;
    return nullptr;
  }

  // The printer's monitored target under HKEY_CURRENT_USER, found by its name.
  static std::string TargetKeyOf(const std::string& printer) {
    CRegKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, REG_VQL_TARGET_KEY, 0, KEY_READ, key.Receive()) != ERROR_SUCCESS) return "";
    char szName[MAX_PATH];
    for (DWORD i = 0;; ++i) {
      DWORD cch = sizeof(szName);
      if (RegEnumKeyExA(key, i, szName, &cch, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) return "";
      std::string path = std::string(REG_VQL_TARGET_KEY) + "\\" + szName;
      if (testenv::GetReg(HKEY_CURRENT_USER, path, REG_TARGET_NAME) == printer) return path;
    }
  }

  // The records once there are at least n of them (fewer after the timeout).
  std::vector<Record> WaitForRecords(size_t n, DWORD timeoutMs = START_TIMEOUT_MS) {
    const DWORD start = GetTickCount();
    for (;;) {
      std::vector<Record> records = testenv::ReadProgramRecords(m_recordFile);
      if (records.size() >= n || GetTickCount() - start >= timeoutMs) return records;
      Sleep(20);
    }
  }

  // Polls the tray until it shows the colours (after the timeout: what it shows).
  static std::vector<std::string> WaitForTrayColors(const std::vector<std::string>& expected) {
    std::vector<std::string> colours;
    for (DWORD start = GetTickCount(); GetTickCount() - start < START_TIMEOUT_MS; Sleep(20))
      if ((colours = residentctl::TrayIconColors()) == expected) break;
    return colours;
  }

  std::string m_recordFile;
  std::vector<std::string> m_printers;
  std::vector<std::string> m_hklmRunValues;
  std::vector<std::string> m_files;

private:
  // Residents of an earlier, failed test would answer for their printers.
  static void CloseStrayResidents() {
    for (HWND hWnd; (hWnd = FindWindowA(TRAY_WND_CLASS, TRAY_WND_TITLE)) != nullptr;) {
      PostMessageA(hWnd, WM_CLOSE, 0, 0);
      if (!residentctl::WaitGone(hWnd, END_TIMEOUT_MS)) {
        ADD_FAILURE() << "a resident does not close";
        return;
      }
    }
  }

  static bool WaitForProgramsToEnd() {
    const char* const programs[] = {"O_P10RN1.EXE", "O_PAUX.EXE", "Program.exe"};
    for (const char* program : programs)
      if (!WaitForProcessesToEnd(program, END_TIMEOUT_MS)) return false;
    return true;
  }

  // Parameter files the resident wrote for programs that never read them.
  static void RemoveParameterFiles() {
    WIN32_FIND_DATAA data;
    CFindHandle hFind(FindFirstFileA((testenv::TempDir() + "O_P*.TMP").c_str(), &data));
    if (!hFind.IsValid()) return;
    do {
      testenv::RemoveFile(testenv::TempDir() + data.cFileName);
    } while (FindNextFileA(hFind, &data));
  }
};

}  // namespace e2e
