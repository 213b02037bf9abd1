// winsim processes: CreateProcessA records what it was asked to start and resolves the
// program as Windows does; nothing runs. Handles close with CloseHandle.
#include "core.h"
#include "paths.h"

#include "winsim/control.h"

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

using namespace winsim::detail;

namespace {

std::vector<winsim::StartedProcess>& Started() {
  static std::vector<winsim::StartedProcess> started;
  return started;
}

ResetHook g_reset([] { Started().clear(); });

bool IsFile(const std::string& path, std::string* host = nullptr) {
  WinPath parsed;
  if (!ParseWinPath(path.c_str(), parsed)) return false;
  Located found = Locate(parsed);
  if (host) *host = found.host;
  return found.node == Node::kFile;
}

// A program file starts with the "MZ" signature; anything else is refused as the
// platform's loader does.
bool IsProgram(const std::string& host) {
  char magic[2] = {};
  std::ifstream in(host, std::ios::binary);
  return in.read(magic, 2) && magic[0] == 'M' && magic[1] == 'Z';
}

// The command line's program name without an extension is tried with ".exe" appended;
// an application name is taken as it is.
bool ResolveCandidate(const std::string& name, bool addExe, std::string& program) {
  const size_t slash = name.find_last_of("\\/");
  const bool hasExtension = name.find('.', slash == std::string::npos ? 0 : slash) != std::string::npos;
  const std::string candidate = hasExtension || !addExe ? name : name + ".exe";
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
    return ResolveCandidate(text.substr(1, close == std::string::npos ? std::string::npos : close - 1), true, program);
  }
  for (size_t pos = 0;;) {
    const size_t blank = text.find_first_of(" \t", pos);
    if (ResolveCandidate(text.substr(0, blank), true, program)) return true;
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
  const bool found = app ? ResolveCandidate(app, false, program) : ResolveFromCommandLine(cmd, program);
  if (!found) return Fail(FALSE, ERROR_FILE_NOT_FOUND);
  std::string host;
  IsFile(program, &host);
  if (!IsProgram(host)) return Fail(FALSE, ERROR_BAD_EXE_FORMAT);

  Started().push_back({app ? app : "", cmd ? cmd : "", program});
  static DWORD nextId = 0x100;
  pi->hProcess = NewHandle("process", nullptr, nullptr);
  pi->hThread = NewHandle("thread", nullptr, nullptr);
  pi->dwProcessId = nextId += 4;
  pi->dwThreadId = nextId += 4;
  return TRUE;
}
