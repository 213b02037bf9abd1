// The real resident program as the end-to-end tests under Wine run it: started as a
// process of its own, waited for, and closed again should a test fail half-way; and the
// spooler printers those tests add and delete on Wine's side.
#pragma once

#include <windows.h>

#include <string>

namespace e2e {

// The build folder (PRW3_BIN_DIR) and the programs in it.
std::string BinDir();
std::string ResidentProgram();
std::string ToolProgram(const std::string& fileName);

class CResidentProcess {
public:
  CResidentProcess() = default;
  // A process still running is closed as a user would close it, else terminated.
  ~CResidentProcess();
  CResidentProcess(const CResidentProcess&) = delete;
  CResidentProcess& operator=(const CResidentProcess&) = delete;

  // Starts the resident with the arguments (the text after the program's name).
  bool Start(const std::string& args);
  // Starts a whole command line the way the system runs a start-up entry: no program
  // named apart, the line's start says which file runs.
  bool StartCommandLine(std::string cmdLine);
  // The exit code once the process has ended, or -1 when it still runs after timeoutMs.
  int Wait(DWORD timeoutMs);
  bool IsRunning() const;
  // The process's hidden window, waiting up to timeoutMs for it; null if none.
  HWND Window(DWORD timeoutMs) const;
  HANDLE Process() const { return m_pi.hProcess; }
  DWORD ProcessId() const { return m_pi.dwProcessId; }

private:
  static const int START_ATTEMPTS = 3;
  static const DWORD START_RETRY_MS = 200;
  bool Launch(const char* pszProgram, std::string cmdLine);

  PROCESS_INFORMATION m_pi = {};
};

// The tray window of the process, or null.
HWND FindProcessWindow(DWORD dwProcessId);

// Waits until no process runs from a file of that name (such as "O_P10RN1.EXE").
bool WaitForProcessesToEnd(const std::string& exeName, DWORD timeoutMs);

// Adds a printer on Wine's side with the driver Wine made for the test queue and the
// port "FILE:" (a blank in the name is fine there, unlike in a CUPS queue's).
bool AddFilePrinter(const std::string& name);
// Deletes a printer from Wine's printer list; true when it is gone.
bool DeletePrinterByName(const std::string& name);

}  // namespace e2e
