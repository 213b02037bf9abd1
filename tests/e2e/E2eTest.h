// The end-to-end tests under Wine: the real resident as a process of its own, the demo
// driver installed in the prefix, printers added for one test, and a prefix left as it
// was found (no resident, demo program, printer, registry value or file of ours remains).
#pragma once

#include <windows.h>

#include <shellapi.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "base/Scoped.h"
#include "profile/Contracts.h"
#include "support/DriverPackage.h"
#include "support/TestEnv.h"
#include "tools/ResidentControl.h"

namespace e2e {

const DWORD TIMEOUT_MS = 10000;
typedef std::map<std::string, std::string> Record;

inline std::string BinDir() { return getenv("PRW3_BIN_DIR") ? getenv("PRW3_BIN_DIR") : ""; }

// A program started from a command line (the resident's unless a whole line is given);
// one still running at the end is closed as a user would close it, else terminated.
class CProcess {
public:
  ~CProcess() {
    if (HWND hWnd = Window()) PostMessageA(hWnd, WM_CLOSE, 0, 0);
    if (Wait(TIMEOUT_MS) == -1) TerminateProcess(m_hProcess, 1);
  }
  bool Start(const std::string& args) { return StartCommandLine("\"" + BinDir() + "\\src\\prw3tray.exe\" " + args); }
  // As the system runs a start-up entry: the line's start says which file runs.
  bool StartCommandLine(std::string line) {
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi;
    const auto started = [&] {
      return CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi) != FALSE;
    };
    // On a loaded machine Wine's process creation fails now and then: try again.
    if (!residentctl::WaitFor(600, started)) return false;
    CloseHandle(pi.hThread);
    m_hProcess.Reset(pi.hProcess);
    m_dwProcessId = pi.dwProcessId;
    return true;
  }
  // The exit code, or -1 while it still runs after timeoutMs.
  int Wait(DWORD timeoutMs) const {
    DWORD dwCode = 0;
    const bool bEnded = WaitForSingleObject(m_hProcess, timeoutMs) == WAIT_OBJECT_0;
    return bEnded && GetExitCodeProcess(m_hProcess, &dwCode) ? static_cast<int>(dwCode) : -1;
  }
  bool IsRunning() const { return m_hProcess.IsValid() && Wait(0) == -1; }
  HANDLE Handle() const { return m_hProcess; }
  // The process's tray window, or null.
  HWND Window() const {
    HWND hWnd = nullptr;
    for (DWORD dwProcessId = 0; (hWnd = FindWindowExA(nullptr, hWnd, TRAY_WND_CLASS, nullptr)) != nullptr;)
      if (GetWindowThreadProcessId(hWnd, &dwProcessId) && dwProcessId == m_dwProcessId) break;
    return hWnd;
  }
  // The window once the resident serves: it exists before its start-up is done, which ends
  // with its icon and menu ready after it has taken the printer's slot.
  HWND Serving(const std::string& printer) const {
    const auto serving = [&] { return Window() && residentctl::TableWindow(printer) == Window(); };
    return residentctl::WaitFor(TIMEOUT_MS, serving) ? Window() : nullptr;
  }
  // Started as the start-up entry starts it: the window once it serves, or null.
  HWND Serve(const std::string& paramFile, const std::string& printer) {
    return Start("/A \"" + paramFile + "\"") ? Serving(printer) : nullptr;
  }

private:
  CKernelHandle m_hProcess;
  DWORD m_dwProcessId = 0;
};

// Deletes a printer from Wine's printer list; true when it is gone.
inline bool DeletePrinterByName(std::string name) {
  PRINTER_DEFAULTSA defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
  CPrinterHandle hPrinter;
  return OpenPrinterA(&name[0], hPrinter.Receive(), &defaults) ? DeletePrinter(hPrinter) != FALSE
                                                               : GetLastError() == ERROR_INVALID_PRINTER_NAME;
}

class E2eTest : public testing::Test {
protected:
  void SetUp() override {
    // PRW3_BIN_DIR names the build folder.
    ASSERT_FALSE(BinDir().empty());
    static CTrayKeeper keeper;
    m_files.push_back(m_recordFile = testenv::TempDir() + "prw3-e2e-records.txt");
    testenv::RemoveFile(m_recordFile);
    // Inherited by the resident and from it by the programs it starts.
    SetEnvironmentVariableA("PRW3_RECORD_FILE", m_recordFile.c_str());
    SetEnvironmentVariableA("PRW3_STATUS_TIMEOUT_MS", "100");
  }

  // The listener removes our keys under "software\OLMAR" after this.
  void TearDown() override {
    // A program still running keeps its file: let the started ones end first.
    CKernelHandle hSnapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    EXPECT_TRUE(hSnapshot.IsValid());
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL bMore = Process32First(hSnapshot, &entry); bMore; bMore = Process32Next(hSnapshot, &entry)) {
      const char* pszExe = entry.szExeFile;
      if (lstrcmpiA(pszExe, "O_P10RN1.EXE") && lstrcmpiA(pszExe, "O_PAUX.EXE") && lstrcmpiA(pszExe, "Program.exe"))
        continue;
      CKernelHandle hProcess(OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID));
      EXPECT_TRUE(!hProcess.IsValid() || WaitForSingleObject(hProcess, TIMEOUT_MS) == WAIT_OBJECT_0) << pszExe;
    }
    testenv::UninstallDemoDriver();
    for (const std::string& name : m_printers) EXPECT_TRUE(DeletePrinterByName(name)) << name;
    for (const std::string& path : m_files) testenv::RemoveFile(path);
  }

  // A printer on Wine's side for this test only, with the driver Wine made for the test
  // queue and the port "FILE:" (a blank in the name is fine there, unlike in a queue's).
  void AddFilePrinter(const std::string& name) {
    DeletePrinterByName(name);
    std::string printer = name, driver = testenv::ExistingPrinter();
    char port[] = "FILE:", processor[] = "WinPrint", type[] = "RAW";
    PRINTER_INFO_2A info = {};
    info.pPrinterName = &printer[0];
    info.pPortName = port;
    info.pDriverName = &driver[0];
    info.pPrintProcessor = processor;
    info.pDatatype = type;
    CPrinterHandle hPrinter(AddPrinterA(nullptr, 2, reinterpret_cast<BYTE*>(&info)));
    ASSERT_TRUE(hPrinter.IsValid()) << name << ": error " << GetLastError();
    m_printers.push_back(name);
  }

  // The records once there are at least n of them (fewer after the timeout).
  std::vector<Record> WaitForRecords(size_t n, DWORD timeoutMs = TIMEOUT_MS) {
    std::vector<Record> records;
    residentctl::WaitFor(timeoutMs, [&] { return (records = testenv::ReadProgramRecords(m_recordFile)).size() >= n; });
    return records;
  }

  std::string m_recordFile;
  std::vector<std::string> m_printers, m_files;

private:
  // Wine hides its tray window when the last icon goes, and with no window manager that
  // takes two seconds in the shell call of whoever removed the icon: a blank icon of the
  // tests' own keeps the window shown while they run.
  struct CTrayKeeper {
    NOTIFYICONDATAA nid = {};
    CTrayKeeper() {
      // Transparent everywhere.
      const std::vector<BYTE> andMask(32, 0xFF), xorMask(32);
      nid.cbSize = sizeof(nid);
      nid.uFlags = NIF_ICON;
      nid.hIcon = CreateIcon(nullptr, 16, 16, 1, 1, andMask.data(), xorMask.data());
      nid.hWnd = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
      Shell_NotifyIconA(NIM_ADD, &nid);
    }
    ~CTrayKeeper() { Shell_NotifyIconA(NIM_DELETE, &nid); }
  };
};

}  // namespace e2e
