// benchctl: starts tray programs under the real platform and times them, for scripts/bench.
//   benchctl startup ROUNDS LIST PRINTER
//                                  starts each program of LIST in turn, ROUNDS times, and
//                                  prints "label<TAB>milliseconds" from CreateProcess until
//                                  its icon is in the tray; each is closed before the next
//   benchctl hold LIST PRINTER     starts every program of LIST, waits for their icons,
//                                  prints "label<TAB>milliseconds" and leaves them running
//   benchctl close CLASS...        posts WM_CLOSE to every top-level window of the classes
// LIST is a text file of lines "label<TAB>command line". Exit code 0 when every program
// showed its icon, 1 otherwise, 2 on misuse.
#include <windows.h>
#include <shellapi.h>
#include <winspool.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

const DWORD ICON_TIMEOUT_MS = 15000;

struct Program {
  std::string label;
  std::string commandLine;
  PROCESS_INFORMATION pi = {};
  HWND hWnd = nullptr;
};

bool ReadList(const char* path, std::vector<Program>* programs) {
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    Program program;
    program.label = line.substr(0, tab);
    program.commandLine = line.substr(tab + 1);
    programs->push_back(program);
  }
  return !programs->empty();
}

struct WindowSearch {
  DWORD processId;
  std::vector<HWND> windows;
};

BOOL CALLBACK CollectProcessWindow(HWND hWnd, LPARAM lParam) {
  auto* search = reinterpret_cast<WindowSearch*>(lParam);
  DWORD processId = 0;
  GetWindowThreadProcessId(hWnd, &processId);
  if (processId == search->processId) search->windows.push_back(hWnd);
  return TRUE;
}

// The platform may give a process top-level windows of its own (an input method's, say).
std::vector<HWND> ProcessWindows(DWORD processId) {
  WindowSearch search = {processId, {}};
  EnumWindows(CollectProcessWindow, reinterpret_cast<LPARAM>(&search));
  return search.windows;
}

// The shell accepts a change that changes nothing only for an icon it holds.
bool HasTrayIcon(HWND hWnd) {
  NOTIFYICONDATAA nid = {};
  nid.cbSize = NOTIFYICONDATAA_V1_SIZE;
  nid.hWnd = hWnd;
  return Shell_NotifyIconA(NIM_MODIFY, &nid) != FALSE;
}

bool Start(Program* program) {
  // No standard handles: a program left running must not hold the caller's pipes open.
  STARTUPINFOA si = {};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESTDHANDLES;
  std::vector<char> commandLine(program->commandLine.begin(), program->commandLine.end());
  commandLine.push_back('\0');
  program->hWnd = nullptr;
  return CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &program->pi) !=
         FALSE;
}

// Polls every millisecond until one of the program's windows holds an icon; false when it
// ends or takes too long.
bool WaitForIcon(Program* program, DWORD startTick) {
  while (GetTickCount() - startTick < ICON_TIMEOUT_MS) {
    for (HWND hWnd : ProcessWindows(program->pi.dwProcessId))
      if (HasTrayIcon(hWnd)) {
        program->hWnd = hWnd;
        return true;
      }
    if (WaitForSingleObject(program->pi.hProcess, 1) == WAIT_OBJECT_0) {
      DWORD exitCode = 0;
      GetExitCodeProcess(program->pi.hProcess, &exitCode);
      fprintf(stderr, "benchctl: %s ended with %lu before its icon showed\n", program->label.c_str(), exitCode);
      return false;
    }
  }
  fprintf(stderr, "benchctl: %s showed no icon in time\n", program->label.c_str());
  return false;
}

void Release(Program* program) {
  CloseHandle(program->pi.hThread);
  CloseHandle(program->pi.hProcess);
  program->pi = PROCESS_INFORMATION();
}

double Elapsed(const LARGE_INTEGER& start) {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Starts, times and closes one program; the time is negative when no icon came.
double TimeOneStart(Program* program) {
  LARGE_INTEGER start;
  QueryPerformanceCounter(&start);
  const DWORD startTick = GetTickCount();
  if (!Start(program)) return -1;
  const bool shown = WaitForIcon(program, startTick);
  const double ms = Elapsed(start);
  if (program->hWnd) PostMessageA(program->hWnd, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(program->pi.hProcess, ICON_TIMEOUT_MS) != WAIT_OBJECT_0)
    TerminateProcess(program->pi.hProcess, 1);
  Release(program);
  return shown ? ms : -1;
}

// An icon of our own keeps the tray's window shown between the programs' icons: hiding and
// showing it again would be timed with them (without a window manager, hiding alone waits
// 2 s for one to answer).
HWND AddAnchorIcon() {
  HWND hWnd = CreateWindowExA(0, "STATIC", "benchctl", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  if (!hWnd) return nullptr;
  NOTIFYICONDATAA nid = {};
  nid.cbSize = NOTIFYICONDATAA_V1_SIZE;
  nid.hWnd = hWnd;
  nid.uFlags = NIF_ICON;
  nid.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
  Shell_NotifyIconA(NIM_ADD, &nid);
  return hWnd;
}

void RemoveAnchorIcon(HWND hWnd) {
  NOTIFYICONDATAA nid = {};
  nid.cbSize = NOTIFYICONDATAA_V1_SIZE;
  nid.hWnd = hWnd;
  Shell_NotifyIconA(NIM_DELETE, &nid);
  DestroyWindow(hWnd);
}

int Startup(int rounds, std::vector<Program>& programs) {
  HWND hAnchor = AddAnchorIcon();
  bool allShown = true;
  for (int round = 0; round < rounds; ++round)
    for (Program& program : programs) {
      const double ms = TimeOneStart(&program);
      allShown = allShown && ms >= 0;
      printf("%s\t%.2f\n", program.label.c_str(), ms);
      fflush(stdout);
      Sleep(300);  // lets the shell settle after the icon's removal
    }
  RemoveAnchorIcon(hAnchor);
  return allShown ? 0 : 1;
}

int Hold(std::vector<Program>& programs) {
  bool allShown = true;
  for (Program& program : programs) {
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    const bool shown = Start(&program) && WaitForIcon(&program, GetTickCount());
    allShown = allShown && shown;
    printf("%s\t%.2f\n", program.label.c_str(), shown ? Elapsed(start) : -1.0);
    fflush(stdout);
    Release(&program);
  }
  return allShown ? 0 : 1;
}

int Close(int count, char** classes) {
  for (int i = 0; i < count; ++i)
    for (HWND hWnd; (hWnd = FindWindowA(classes[i], nullptr)) != nullptr;) {
      DWORD processId = 0;
      GetWindowThreadProcessId(hWnd, &processId);
      PostMessageA(hWnd, WM_CLOSE, 0, 0);
      HANDLE hProcess = OpenProcess(SYNCHRONIZE, FALSE, processId);
      if (!hProcess) break;
      WaitForSingleObject(hProcess, ICON_TIMEOUT_MS);
      CloseHandle(hProcess);
    }
  return 0;
}

int Usage() {
  fprintf(stderr, "usage: benchctl startup ROUNDS LIST PRINTER | hold LIST PRINTER | close CLASS...\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  const std::string command = argv[1];
  if (command == "close") return Close(argc - 2, argv + 2);
  if (argc < 4) return Usage();
  // The first process of a session to use the spooler under Wine copies the system's
  // print queues into its printer list (tens of milliseconds and a printer driver loaded,
  // no such step on Windows): holding the printer open here keeps that one-off out of
  // every program measured.
  HANDLE hPrinter = nullptr;
  const char* pszPrinter = argv[argc - 1];
  if (!OpenPrinterA(const_cast<char*>(pszPrinter), &hPrinter, nullptr)) {
    fprintf(stderr, "benchctl: cannot open the printer %s\n", pszPrinter);
    return 1;
  }
  std::vector<Program> programs;
  int result;
  if (command == "startup" && argc == 5 && ReadList(argv[3], &programs))
    result = Startup(atoi(argv[2]), programs);
  else if (command == "hold" && argc == 4 && ReadList(argv[2], &programs))
    result = Hold(programs);
  else
    result = Usage();
  ClosePrinter(hPrinter);
  return result;
}
