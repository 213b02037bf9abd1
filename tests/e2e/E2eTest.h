// The end-to-end tests under Wine: the real resident as a process of its own, the demo
// driver installed in the prefix, printers added for one test, and a prefix left as it
// was found (no resident, demo program, printer, registry value or file of ours remains).
#pragma once

#include <windows.h>

#include <shellapi.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "base/Scoped.h"
#include "profile/Contracts.h"
#include "support/DriverPackage.h"
#include "support/ResidentControl.h"
#include "support/TestEnv.h"

namespace e2e {

const DWORD TIMEOUT_MS = 10000;
typedef std::map<std::string, std::string> Record;

inline std::string BinDir() { return getenv("PRW3_BIN_DIR") ? getenv("PRW3_BIN_DIR") : ""; }

// A program started from a command line (the resident's unless a whole line is given);
// one still running at the end is closed as a user would close it, else terminated.
class CProcess {
public:
  CProcess() = default;
  CProcess(const CProcess&) = delete;
  CProcess& operator=(const CProcess&) = delete;
  ~CProcess() {
    if (!m_pi.hProcess) return;
    if (HWND hWnd = Window()) PostMessageA(hWnd, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(m_pi.hProcess, TIMEOUT_MS) != WAIT_OBJECT_0) TerminateProcess(m_pi.hProcess, 1);
    CloseHandle(m_pi.hThread);
    CloseHandle(m_pi.hProcess);
  }
  bool Start(const std::string& args) { return StartCommandLine("\"" + BinDir() + "\\src\\prw3tray.exe\" " + args); }
  // As the system runs a start-up entry: the line's start says which file runs. The
  // process may write its output to hOut.
  bool StartCommandLine(std::string line, HANDLE hOut = nullptr) {
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    si.dwFlags = hOut ? STARTF_USESTDHANDLES : 0;
    si.hStdOutput = hOut;
    // On a loaded machine Wine's process creation fails now and then: try again.
    for (int nAttempt = 0; nAttempt < 3; ++nAttempt, Sleep(200))
      if (CreateProcessA(nullptr, &line[0], nullptr, nullptr, hOut != nullptr, 0, nullptr, nullptr, &si, &m_pi))
        return true;
    return false;
  }
  // The exit code, or -1 while it still runs after timeoutMs.
  int Wait(DWORD timeoutMs) const {
    DWORD dwCode = 0;
    if (WaitForSingleObject(m_pi.hProcess, timeoutMs) != WAIT_OBJECT_0) return -1;
    GetExitCodeProcess(m_pi.hProcess, &dwCode);
    return static_cast<int>(dwCode);
  }
  bool IsRunning() const { return m_pi.hProcess && Wait(0) == -1; }
  HANDLE Handle() const { return m_pi.hProcess; }
  // The process's tray window, or null.
  HWND Window() const {
    HWND hWnd = nullptr;
    for (DWORD dwProcessId = 0; (hWnd = FindWindowExA(nullptr, hWnd, TRAY_WND_CLASS, nullptr)) != nullptr;)
      if (GetWindowThreadProcessId(hWnd, &dwProcessId) && dwProcessId == m_pi.dwProcessId) break;
    return hWnd;
  }

private:
  PROCESS_INFORMATION m_pi = {};
};

// Waits until no process runs from a file of that name (such as "O_P10RN1.EXE").
inline bool WaitForProcessesToEnd(const char* pszExeName) {
  CKernelHandle hSnapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  bool bEnded = hSnapshot.IsValid();
  PROCESSENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL bMore = Process32First(hSnapshot, &entry); bEnded && bMore; bMore = Process32Next(hSnapshot, &entry)) {
    CKernelHandle hProcess(lstrcmpiA(entry.szExeFile, pszExeName) ? nullptr : OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID));
    if (hProcess.IsValid()) bEnded = WaitForSingleObject(hProcess, TIMEOUT_MS) == WAIT_OBJECT_0;
  }
  return bEnded;
}

// Deletes a printer from Wine's printer list; true when it is gone.
inline bool DeletePrinterByName(std::string name) {
  PRINTER_DEFAULTSA defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
  CPrinterHandle hPrinter;
  if (!OpenPrinterA(&name[0], hPrinter.Receive(), &defaults)) return GetLastError() == ERROR_INVALID_PRINTER_NAME;
  return DeletePrinter(hPrinter) != FALSE;
}

class E2eTest : public testing::Test {
protected:
  void SetUp() override {
    ASSERT_FALSE(BinDir().empty()) << "PRW3_BIN_DIR names the build folder";
    static CTrayKeeper keeper;
    m_files.push_back(m_recordFile = testenv::TempDir() + "prw3-e2e-records.txt");
    testenv::RemoveFile(m_recordFile);
    // Inherited by the resident and from it by the programs it starts.
    SetEnvironmentVariableA("PRW3_RECORD_FILE", m_recordFile.c_str());
    SetEnvironmentVariableA("PRW3_STATUS_TIMEOUT_MS", "100");
  }

  void TearDown() override {
    // A program still running keeps its file: let the started ones end first.
    for (const char* program : {"O_P10RN1.EXE", "O_PAUX.EXE", "Program.exe"})
      EXPECT_TRUE(WaitForProcessesToEnd(program)) << program << " still runs";
    for (const std::string& key : m_hklmKeys) testenv::DeleteRegTree(HKEY_LOCAL_MACHINE, key);
    testenv::UninstallDemoDriver();
    for (const std::string& name : m_printers) EXPECT_TRUE(DeletePrinterByName(name)) << name;
    for (const std::string& path : m_files) testenv::RemoveFile(path);
  }

  // A printer on Wine's side for this test only, with the driver Wine made for the test
  // queue and the port "FILE:" (a blank in the name is fine there, unlike in a queue's).
  void AddFilePrinter(const std::string& name) {
    DeletePrinterByName(name);
    std::string printer = name, driver = testenv::ExistingPrinter(), port = "FILE:", proc = "WinPrint", type = "RAW";
    PRINTER_INFO_2A info = {};
    info.pPrinterName = &printer[0];
    info.pPortName = &port[0];
    info.pDriverName = &driver[0];
    info.pPrintProcessor = &proc[0];
    info.pDatatype = &type[0];
    CPrinterHandle hPrinter(AddPrinterA(nullptr, 2, reinterpret_cast<BYTE*>(&info)));
    ASSERT_TRUE(hPrinter.IsValid()) << name << ": error " << GetLastError();
    m_printers.push_back(name);
  }

  // The resident's window once it serves: its window exists before its start-up is done,
  // which ends with its icon and menu ready after it has taken the printer's slot.
  static HWND WaitUntilServing(const CProcess& resident, const std::string& printer) {
    for (DWORD start = GetTickCount(); resident.IsRunning() && GetTickCount() - start < TIMEOUT_MS; Sleep(10))
      if (HWND hWnd = resident.Window())
        if (residentctl::TableWindow(printer) == hWnd) return hWnd;
    return nullptr;
  }

  // The printer's monitored target under HKEY_CURRENT_USER, found by its name.
  static std::string TargetKeyOf(const std::string& printer) {
    CRegKey hKey;
    RegOpenKeyExA(HKEY_CURRENT_USER, REG_VQL_TARGET_KEY, 0, KEY_READ, hKey.Receive());
    char szName[MAX_PATH];
    for (DWORD i = 0, cch = sizeof(szName); RegEnumKeyExA(hKey, i, szName, &cch, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++i, cch = sizeof(szName)) {
      const std::string path = std::string(REG_VQL_TARGET_KEY) + "\\" + szName;
      if (testenv::GetReg(HKEY_CURRENT_USER, path, REG_TARGET_NAME) == printer) return path;
    }
    return "";
  }

  // The records once there are at least n of them (fewer after the timeout).
  std::vector<Record> WaitForRecords(size_t n, DWORD timeoutMs = TIMEOUT_MS) {
    for (DWORD start = GetTickCount();; Sleep(20)) {
      std::vector<Record> records = testenv::ReadProgramRecords(m_recordFile);
      if (records.size() >= n || GetTickCount() - start >= timeoutMs) return records;
    }
  }

  // Polls the tray until it shows the colours (after the timeout: what it shows).
  static std::vector<std::string> WaitForTrayColors(const std::vector<std::string>& expected) {
    std::vector<std::string> colours;
    for (DWORD start = GetTickCount(); GetTickCount() - start < TIMEOUT_MS; Sleep(20))
      if ((colours = residentctl::TrayIconColors()) == expected) break;
    return colours;
  }

  // Runs prw3ctl, the tool scripts/demo drives the resident with: its exit code, and its
  // output without the line end.
  static int Ctl(const std::string& args, std::string* pOut = nullptr) {
    SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
    CKernelHandle hRead, hWrite;
    CreatePipe(hRead.Receive(), hWrite.Receive(), &sa, 0);
    SetHandleInformation(hRead, HANDLE_FLAG_INHERIT, 0);
    CProcess ctl;
    if (!ctl.StartCommandLine("\"" + BinDir() + "\\tests\\tools\\prw3ctl.exe\" " + args, hWrite)) return -1;
    hWrite.Close();
    char buffer[256];
    std::string out;
    for (DWORD n; ReadFile(hRead, buffer, sizeof(buffer), &n, nullptr) && n > 0;) out.append(buffer, n);
    if (pOut) *pOut = out.substr(0, out.find_first_of("\r\n"));
    return ctl.Wait(TIMEOUT_MS);
  }

  std::string m_recordFile;
  std::vector<std::string> m_printers;
  std::vector<std::string> m_hklmKeys;
  std::vector<std::string> m_files;

private:
  // Wine hides its tray window when the last icon goes, and with no window manager that
  // takes two seconds in the shell call of whoever removed the icon: a blank icon of the
  // tests' own keeps the window shown while they run.
  struct CTrayKeeper {
    NOTIFYICONDATAA nid = {};
    CTrayKeeper() {
      nid.cbSize = sizeof(nid);
      nid.hWnd = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
      BYTE andMask[32], xorMask[32] = {0};
      memset(andMask, 0xFF, sizeof(andMask));  // transparent everywhere
      nid.hIcon = CreateIcon(nullptr, 16, 16, 1, 1, andMask, xorMask);
      nid.uFlags = NIF_ICON;
      Shell_NotifyIconA(NIM_ADD, &nid);
    }
    ~CTrayKeeper() { Shell_NotifyIconA(NIM_DELETE, &nid); }
  };
};

}  // namespace e2e
