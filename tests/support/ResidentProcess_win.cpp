// The resident as a process of its own, and the printers of the end-to-end tests.
#include "support/ResidentProcess_win.h"

#include "profile/Contracts.h"
#include "support/TestEnv.h"

#include <tlhelp32.h>
#include <winspool.h>

#include <cstdlib>

namespace e2e {
namespace {

const DWORD CLOSE_TIMEOUT_MS = 5000;

struct WindowSearch {
  DWORD dwProcessId;
  HWND hWnd;
};

BOOL CALLBACK MatchProcessWindow(HWND hWnd, LPARAM lParam) {
  WindowSearch* pSearch = reinterpret_cast<WindowSearch*>(lParam);
  DWORD dwProcessId = 0;
  GetWindowThreadProcessId(hWnd, &dwProcessId);
  char szClass[64] = {0};
  GetClassNameA(hWnd, szClass, sizeof(szClass));
  if (dwProcessId != pSearch->dwProcessId || lstrcmpA(szClass, TRAY_WND_CLASS) != 0) return TRUE;
  pSearch->hWnd = hWnd;
  return FALSE;
}

}  // namespace

std::string BinDir() {
  const char* pszBin = getenv("PRW3_BIN_DIR");
  return pszBin ? pszBin : "";
}

std::string ResidentProgram() { return BinDir() + "\\src\\prw3tray.exe"; }

std::string ToolProgram(const std::string& fileName) { return BinDir() + "\\tests\\tools\\" + fileName; }

CResidentProcess::~CResidentProcess() {
  if (!m_pi.hProcess) return;
  if (IsRunning()) {
    HWND hWnd = FindProcessWindow(m_pi.dwProcessId);
    if (hWnd) PostMessageA(hWnd, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(m_pi.hProcess, CLOSE_TIMEOUT_MS) != WAIT_OBJECT_0) {
      TerminateProcess(m_pi.hProcess, 1);
      WaitForSingleObject(m_pi.hProcess, CLOSE_TIMEOUT_MS);
    }
  }
  CloseHandle(m_pi.hThread);
  CloseHandle(m_pi.hProcess);
}

bool CResidentProcess::Start(const std::string& args) {
  const std::string program = ResidentProgram();
  return Launch(program.c_str(), "\"" + program + "\" " + args);
}

bool CResidentProcess::StartCommandLine(std::string cmdLine) { return Launch(nullptr, cmdLine); }

bool CResidentProcess::Launch(const char* pszProgram, std::string cmdLine) {
  // On a loaded machine Wine's process creation fails now and then; the tests are about
  // the resident, so a start is tried a few times before it counts as failed.
  for (int nAttempt = 1;; ++nAttempt) {
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    std::string line = cmdLine;
    if (CreateProcessA(pszProgram, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &m_pi)) return true;
    if (nAttempt == START_ATTEMPTS) return false;
    Sleep(START_RETRY_MS);
  }
}

int CResidentProcess::Wait(DWORD timeoutMs) {
  if (!m_pi.hProcess || WaitForSingleObject(m_pi.hProcess, timeoutMs) != WAIT_OBJECT_0) return -1;
  DWORD dwCode = 0;
  GetExitCodeProcess(m_pi.hProcess, &dwCode);
  return static_cast<int>(dwCode);
}

bool CResidentProcess::IsRunning() const {
  return m_pi.hProcess && WaitForSingleObject(m_pi.hProcess, 0) == WAIT_TIMEOUT;
}

HWND CResidentProcess::Window(DWORD timeoutMs) const {
  const DWORD start = GetTickCount();
  for (;;) {
    HWND hWnd = FindProcessWindow(m_pi.dwProcessId);
    if (hWnd || !IsRunning() || GetTickCount() - start >= timeoutMs) return hWnd;
    Sleep(10);
  }
}

HWND FindProcessWindow(DWORD dwProcessId) {
  WindowSearch search = {dwProcessId, nullptr};
  EnumWindows(MatchProcessWindow, reinterpret_cast<LPARAM>(&search));
  return search.hWnd;
}

bool WaitForProcessesToEnd(const std::string& exeName, DWORD timeoutMs) {
  HANDLE hSnapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (hSnapshot == INVALID_HANDLE_VALUE) return false;
  bool bEnded = true;
  PROCESSENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL bMore = Process32First(hSnapshot, &entry); bMore; bMore = Process32Next(hSnapshot, &entry)) {
    if (lstrcmpiA(entry.szExeFile, exeName.c_str()) != 0) continue;
    HANDLE hProcess = OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID);
    if (!hProcess) continue;
    bEnded = WaitForSingleObject(hProcess, timeoutMs) == WAIT_OBJECT_0 && bEnded;
    CloseHandle(hProcess);
  }
  CloseHandle(hSnapshot);
  return bEnded;
}

bool AddFilePrinter(const std::string& name) {
  std::string printer = name, driver = testenv::ExistingPrinter(), port = "FILE:", processor = "WinPrint",
              datatype = "RAW";
  PRINTER_INFO_2A info = {};
  info.pPrinterName = &printer[0];
  info.pPortName = &port[0];
  info.pDriverName = &driver[0];
  info.pPrintProcessor = &processor[0];
  info.pDatatype = &datatype[0];
  HANDLE hPrinter = AddPrinterA(nullptr, 2, reinterpret_cast<BYTE*>(&info));
  if (!hPrinter) return false;
  ClosePrinter(hPrinter);
  return true;
}

bool DeletePrinterByName(const std::string& name) {
  std::string printer = name;
  PRINTER_DEFAULTSA defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
  HANDLE hPrinter = nullptr;
  if (!OpenPrinterA(&printer[0], &hPrinter, &defaults)) return GetLastError() == ERROR_INVALID_PRINTER_NAME;
  const BOOL bDeleted = DeletePrinter(hPrinter);
  ClosePrinter(hPrinter);
  return bDeleted != FALSE;
}

}  // namespace e2e
