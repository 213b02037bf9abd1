// Windows paths mapped into a per-process sandbox folder on the host: one folder per
// drive letter, components looked up without regard to case, and the current folder.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace winsim::detail {

// The Windows temporary folder, with its trailing backslash.
extern const char kTempFolder[];
extern const char kWindowsFolder[];

// An absolute Windows path: a drive letter and its components, with "." and ".."
// resolved and the trailing dots and blanks Windows ignores removed.
struct WinPath {
  char drive = 'C';
  std::vector<std::string> parts;
  bool trailingSeparator = false;

  std::string Full() const;  // "C:\\a\\b", "C:\\" for a drive root
  WinPath Parent() const;
  bool IsRoot() const { return parts.empty(); }
};

// Makes a Windows path absolute against the current folder. False for an empty path
// and for forms the sandbox has no place for (UNC and device paths).
bool ParseWinPath(const char* path, WinPath& out);

enum class Node { kMissingParent, kParentNotFolder, kMissing, kFile, kFolder };

struct Located {
  std::string host;  // existing components as the host spells them, the rest as given
  Node node;
};
// Finds where a Windows path lives in the sandbox. A file named with a trailing
// separator counts as a parent that is not a folder, as Windows treats it.
Located Locate(const WinPath& path);

// Host folder that holds the drive folders; created on first use.
const std::string& SandboxRoot();

// C:\, where relative paths start.
const WinPath& CurrentFolder();

// Case-insensitive comparison in the simulated code page.
bool FoldEqual(const std::string& a, const std::string& b);

// Host helpers.
bool MakeHostFolders(const std::string& host);
void RemoveHostTree(const std::string& host);
// True while an _fsopen stream holds the host file open.
bool HostFileOpen(const std::string& host);

}  // namespace winsim::detail
