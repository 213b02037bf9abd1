// winsim processes: CreateProcessA records what it was asked to start and resolves the
// program as Windows does; nothing runs. Handles close with CloseHandle.
#include "core.h"
#include "paths.h"

#include "winsim/control.h"

#include <cstring>
#include <string>
#include <vector>

using namespace winsim::detail;

namespace {

std::vector<winsim::StartedProcess>& Started() {
  static std::vector<winsim::StartedProcess> started;
  return started;
}

ResetHook g_reset([] { Started().clear(); });

bool IsFile(const std::string& path) {
  WinPath parsed;
  return ParseWinPath(path.c_str(), parsed) && Locate(parsed).node == Node::kFile;
}

// A name without an extension is tried with ".exe" appended, as Windows does.
bool ResolveCandidate(const std::string& name, std::string& program) {
  const size_t slash = name.find_last_of("\\/");
  const bool hasExtension = name.find('.', slash == std::string::npos ? 0 : slash) != std::string::npos;
  const std::string candidate = hasExtension ? name : name + ".exe";
  if (!IsFile(candidate)) return false;
  program = candidate;
  return true;
}

// Without an application name the program is the first word of the command line: the
// quoted text, or else each blank-separated prefix in turn until one names a file.
bool ResolveFromCommandLine(const char* cmd, std::string& program) {
  std::string text = cmd ? cmd : "";
  if (!text.empty() && text[0] == '"') {
    const size_t close = text.find('"', 1);
    return ResolveCandidate(text.substr(1, close == std::string::npos ? std::string::npos : close - 1), program);
  }
  for (size_t pos = 0;;) {
    const size_t blank = text.find_first_of(" \t", pos);
    if (ResolveCandidate(text.substr(0, blank), program)) return true;
    if (blank == std::string::npos) return false;
    pos = blank + 1;
  }
}

}  // namespace

namespace winsim {

const std::vector<StartedProcess>& StartedProcesses() { return Started(); }

}  // namespace winsim

BOOL WINAPI CreateProcessA(LPCSTR app, LPSTR cmd, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD,
                           LPVOID, LPCSTR, LPSTARTUPINFOA si, LPPROCESS_INFORMATION pi) {
  if (!si || !pi || (!app && !cmd)) return Fail(FALSE, ERROR_INVALID_PARAMETER);
  if (DWORD e = Fault("CreateProcessA")) return Fail(FALSE, e);
  std::string program;
  const bool found = app ? ResolveCandidate(app, program) : ResolveFromCommandLine(cmd, program);
  if (!found) return Fail(FALSE, ERROR_FILE_NOT_FOUND);

  Started().push_back({app ? app : "", cmd ? cmd : "", program});
  static DWORD nextId = 0x100;
  pi->hProcess = NewHandle("process", nullptr, nullptr);
  pi->hThread = NewHandle("thread", nullptr, nullptr);
  pi->dwProcessId = nextId += 4;
  pi->dwThreadId = nextId += 4;
  return TRUE;
}
