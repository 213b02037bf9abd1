// winsim file calls over the sandbox: temporary path and names, OpenFile(OF_EXIST),
// deletion, folders, attributes and find handles (owned here until FindClose).
#include "core.h"
#include "modules.h"
#include "paths.h"

#include "winsim/control.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>

using namespace winsim::detail;

namespace {

const char kFindKind[] = "find";

struct FindState {
  std::vector<WIN32_FIND_DATAA> entries;
  size_t next = 0;
};

std::map<void*, std::unique_ptr<FindState>>& Finds() {
  static std::map<void*, std::unique_ptr<FindState>> finds;
  return finds;
}

// The temporary folder GetTempPathA reports, with its trailing separator.
std::string& TempFolder() {
  static std::string folder = kTempFolder;
  return folder;
}

const ResetHook kReset([] {
  Finds().clear();
  TempFolder() = kTempFolder;
});

DWORD NotFoundError(Node node) {
  return node == Node::kMissing ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

DWORD ErrnoToError(int err) {
  switch (err) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EEXIST: return ERROR_FILE_EXISTS;
    case EACCES:
    case EPERM:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    default: return ERROR_ACCESS_DENIED;
  }
}

bool MatchFrom(const char* pat, const char* name) {
  for (; *pat; ++pat, ++name) {
    if (*pat == '*') {
      while (pat[1] == '*') ++pat;
      if (!pat[1]) return true;
      for (const char* rest = name; *rest; ++rest)
        if (MatchFrom(pat + 1, rest)) return true;
      return false;
    }
    if (!*name) return false;
    if (*pat != '?' && FoldCase(static_cast<unsigned char>(*pat)) != FoldCase(static_cast<unsigned char>(*name)))
      return false;
  }
  return !*name;
}

// '*' and '?' without regard to case; as on Windows, a final ".*" also matches a name
// without any dot ("*.*" matches everything).
bool WildcardMatch(const std::string& pattern, const std::string& name) {
  if (MatchFrom(pattern.c_str(), name.c_str())) return true;
  size_t n = pattern.size();
  return n >= 2 && pattern.compare(n - 2, 2, ".*") == 0 && name.find('.') == std::string::npos &&
         MatchFrom(pattern.substr(0, n - 2).c_str(), name.c_str());
}

FILETIME ToFileTime(const struct timespec& ts) {
  const uint64_t kEpochDelta = 11644473600ULL;
  uint64_t t = (static_cast<uint64_t>(ts.tv_sec) + kEpochDelta) * 10000000ULL + static_cast<uint64_t>(ts.tv_nsec) / 100;
  return FILETIME{static_cast<DWORD>(t), static_cast<DWORD>(t >> 32)};
}

bool FillFindData(const std::string& host, const std::string& name, WIN32_FIND_DATAA& fd) {
  struct stat st;
  if (::stat(host.c_str(), &st) != 0 || name.size() >= MAX_PATH) return false;
  fd = WIN32_FIND_DATAA{};
  bool folder = S_ISDIR(st.st_mode);
  fd.dwFileAttributes = folder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
  fd.ftCreationTime = ToFileTime(st.st_ctim);
  fd.ftLastAccessTime = ToFileTime(st.st_atim);
  fd.ftLastWriteTime = ToFileTime(st.st_mtim);
  uint64_t size = folder ? 0 : static_cast<uint64_t>(st.st_size);
  fd.nFileSizeHigh = static_cast<DWORD>(size >> 32);
  fd.nFileSizeLow = static_cast<DWORD>(size);
  std::memcpy(fd.cFileName, name.c_str(), name.size() + 1);
  return true;
}

void CopyOut(LPWIN32_FIND_DATAA out, const WIN32_FIND_DATAA& fd) {
  if (out) *out = fd;
}

std::string FullName(const std::string& folder, const std::string& name) {
  return folder.back() == '\\' ? folder + name : folder + "\\" + name;
}

// Where a Windows path lives on the host: existing components as the host spells
// them, missing ones as given.
std::string HostPath(const std::string& winPath) {
  WinPath p;
  if (!ParseWinPath(winPath.c_str(), p)) return "";
  return Locate(p).host;
}

}  // namespace

namespace winsim {

void WriteFileBytes(const std::string& winPath, const std::string& bytes) {
  std::string host = HostPath(winPath);
  MakeHostFolders(host.substr(0, host.rfind('/')));
  if (FILE* f = std::fopen(host.c_str(), "wb")) {
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
}

void MakeFolder(const std::string& winPath) { MakeHostFolders(HostPath(winPath)); }

bool FileExists(const std::string& winPath) {
  WinPath p;
  if (!ParseWinPath(winPath.c_str(), p)) return false;
  Node node = Locate(p).node;
  return node == Node::kFile || node == Node::kFolder;
}

size_t OpenFindHandleCount() { return LiveHandleCount(kFindKind); }

void SetTempPath(const std::string& winFolder) { TempFolder() = winFolder; }

}  // namespace winsim

DWORD WINAPI GetTempPathA(DWORD nBufferLength, LPSTR lpBuffer) {
  if (DWORD e = Fault("GetTempPathA")) return Fail(0u, e);
  const std::string& folder = TempFolder();
  DWORD len = static_cast<DWORD>(folder.size());
  // Too small: nothing is copied and the size with the terminator comes back.
  if (!lpBuffer || nBufferLength <= len) return len + 1;
  std::memcpy(lpBuffer, folder.c_str(), len + 1);
  return len;
}

UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize) {
  if (DWORD e = Fault("GetWindowsDirectoryA")) return Fail(0u, e);
  UINT len = static_cast<UINT>(std::strlen(kWindowsFolder));
  // Too small: nothing is copied and the size with the terminator comes back.
  if (!lpBuffer || uSize <= len) return len + 1;
  std::memcpy(lpBuffer, kWindowsFolder, len + 1);
  return len;
}

UINT WINAPI GetTempFileNameA(LPCSTR lpPathName, LPCSTR lpPrefixString, UINT uUnique, LPSTR lpTempFileName) {
  if (!lpPathName || !lpTempFileName) return Fail(0u, ERROR_INVALID_PARAMETER);
  if (DWORD e = Fault("GetTempFileNameA")) return Fail(0u, e);
  if (std::strlen(lpPathName) > MAX_PATH - 14) return Fail(0u, ERROR_BUFFER_OVERFLOW);
  WinPath folder;
  if (!ParseWinPath(lpPathName, folder) || Locate(folder).node != Node::kFolder) return Fail(0u, ERROR_DIRECTORY);

  std::string base = lpPathName;
  if (base.back() != '\\' && base.back() != '/') base += '\\';
  base.append(lpPrefixString ? lpPrefixString : "", 0, 3);
  auto nameOf = [&](unsigned n) {
    char hex[8];
    std::snprintf(hex, sizeof(hex), "%X", n);
    return base + hex + ".TMP";
  };

  if (uUnique) {
    unsigned n = uUnique & 0xFFFF;
    std::string name = nameOf(n);
    std::memcpy(lpTempFileName, name.c_str(), name.size() + 1);
    return n;
  }
  // Like Windows: start at the tick count and take the first free number.
  unsigned start = GetTickCount() & 0xFFFF;
  if (!start) start = 1;
  unsigned n = start;
  do {
    std::string name = nameOf(n);
    WinPath p;
    ParseWinPath(name.c_str(), p);
    Located loc = Locate(p);
    if (loc.node == Node::kMissing) {
      int fd = ::open(loc.host.c_str(), O_CREAT | O_EXCL | O_WRONLY, 0600);
      if (fd >= 0) {
        ::close(fd);
        std::memcpy(lpTempFileName, name.c_str(), name.size() + 1);
        return n;
      }
      if (errno != EEXIST) return Fail(0u, ErrnoToError(errno));
    }
    n = n % 0xFFFF + 1;
  } while (n != start);
  return Fail(0u, ERROR_FILE_EXISTS);
}

HFILE WINAPI OpenFile(LPCSTR lpFileName, LPOFSTRUCT lpReOpenBuff, UINT uStyle) {
  if (!lpFileName || !lpReOpenBuff) return Fail(HFILE_ERROR, ERROR_INVALID_PARAMETER);
  lpReOpenBuff->cBytes = sizeof(OFSTRUCT);
  auto fail = [&](DWORD error, const std::string& path) {
    lpReOpenBuff->nErrCode = static_cast<WORD>(error);
    std::snprintf(lpReOpenBuff->szPathName, OFS_MAXPATHNAME, "%s", path.c_str());
    return Fail(HFILE_ERROR, error);
  };
  if (DWORD e = Fault("OpenFile")) return fail(e, lpFileName);
  // Only the existence test is simulated: the program opens files with the CRT.
  if (!(uStyle & OF_EXIST)) return fail(ERROR_INVALID_PARAMETER, lpFileName);

  std::vector<WinPath> candidates;
  WinPath p;
  bool bare = !std::strpbrk(lpFileName, "\\/:");
  if (!bare && !ParseWinPath(lpFileName, p)) return fail(ERROR_FILE_NOT_FOUND, lpFileName);
  // The record holds OFS_MAXPATHNAME characters: a full path that does not fit with its
  // terminator is refused, whether or not the file exists.
  const std::string full = bare ? FullName(CurrentFolder().Full(), lpFileName) : p.Full();
  if (full.size() >= OFS_MAXPATHNAME) return fail(ERROR_INVALID_DATA, "");
  if (!bare) {
    candidates.push_back(p);
  } else {
    // A bare name goes through the search path: the program's folder, the current
    // folder, then the system folders. The temporary folder is not on it.
    WinPath program;
    ParseWinPath(MainModulePath().c_str(), program);
    const std::string folders[] = {program.Parent().Full(), CurrentFolder().Full(), "C:\\windows\\system32",
                                   "C:\\windows\\system", kWindowsFolder};
    for (const std::string& folder : folders)
      if (ParseWinPath(FullName(folder, lpFileName).c_str(), p)) candidates.push_back(p);
  }
  for (const WinPath& candidate : candidates) {
    if (candidate.Full().size() >= OFS_MAXPATHNAME) continue;
    Node node = Locate(candidate).node;
    if (node == Node::kFolder) return fail(ERROR_ACCESS_DENIED, candidate.Full());
    if (node != Node::kFile) continue;
    lpReOpenBuff->nErrCode = 0;
    std::snprintf(lpReOpenBuff->szPathName, OFS_MAXPATHNAME, "%s", candidate.Full().c_str());
    return 1;
  }
  if (bare) return fail(ERROR_FILE_NOT_FOUND, FullName(CurrentFolder().Full(), lpFileName));
  return fail(ERROR_FILE_NOT_FOUND, candidates[0].Full());
}

BOOL WINAPI DeleteFileA(LPCSTR lpFileName) {
  if (!lpFileName) return Fail(FALSE, ERROR_INVALID_PARAMETER);
  if (DWORD e = Fault("DeleteFileA")) return Fail(FALSE, e);
  WinPath p;
  if (!ParseWinPath(lpFileName, p)) return Fail(FALSE, ERROR_PATH_NOT_FOUND);
  Located loc = Locate(p);
  if (loc.node == Node::kFolder) return Fail(FALSE, ERROR_ACCESS_DENIED);
  if (loc.node != Node::kFile) return Fail(FALSE, NotFoundError(loc.node));
  // The CRT opens files without delete sharing.
  if (HostFileOpen(loc.host)) return Fail(FALSE, ERROR_SHARING_VIOLATION);
  if (::unlink(loc.host.c_str()) != 0) return Fail(FALSE, ErrnoToError(errno));
  return TRUE;
}

BOOL WINAPI CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES) {
  if (!lpPathName) return Fail(FALSE, ERROR_INVALID_PARAMETER);
  if (DWORD e = Fault("CreateDirectoryA")) return Fail(FALSE, e);
  WinPath p;
  if (!ParseWinPath(lpPathName, p)) return Fail(FALSE, ERROR_PATH_NOT_FOUND);
  Located loc = Locate(p);
  if (loc.node == Node::kFile || loc.node == Node::kFolder) return Fail(FALSE, ERROR_ALREADY_EXISTS);
  if (loc.node != Node::kMissing) return Fail(FALSE, ERROR_PATH_NOT_FOUND);
  if (::mkdir(loc.host.c_str(), 0700) != 0) return Fail(FALSE, ErrnoToError(errno));
  return TRUE;
}

BOOL WINAPI RemoveDirectoryA(LPCSTR lpPathName) {
  if (!lpPathName) return Fail(FALSE, ERROR_INVALID_PARAMETER);
  if (DWORD e = Fault("RemoveDirectoryA")) return Fail(FALSE, e);
  WinPath p;
  if (!ParseWinPath(lpPathName, p)) return Fail(FALSE, ERROR_PATH_NOT_FOUND);
  Located loc = Locate(p);
  if (loc.node == Node::kFile) return Fail(FALSE, ERROR_DIRECTORY);
  if (loc.node != Node::kFolder) return Fail(FALSE, NotFoundError(loc.node));
  if (p.IsRoot()) return Fail(FALSE, ERROR_ACCESS_DENIED);
  if (::rmdir(loc.host.c_str()) != 0) return Fail(FALSE, ErrnoToError(errno));
  return TRUE;
}

DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName) {
  if (!lpFileName) return Fail(INVALID_FILE_ATTRIBUTES, ERROR_INVALID_PARAMETER);
  if (DWORD e = Fault("GetFileAttributesA")) return Fail(INVALID_FILE_ATTRIBUTES, e);
  WinPath p;
  if (!ParseWinPath(lpFileName, p)) return Fail(INVALID_FILE_ATTRIBUTES, ERROR_PATH_NOT_FOUND);
  Node node = Locate(p).node;
  if (node == Node::kFolder) return FILE_ATTRIBUTE_DIRECTORY;
  if (node == Node::kFile) return FILE_ATTRIBUTE_ARCHIVE;
  return Fail(INVALID_FILE_ATTRIBUTES, NotFoundError(node));
}

HANDLE WINAPI FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData) {
  if (!lpFileName) return Fail(INVALID_HANDLE_VALUE, ERROR_INVALID_PARAMETER);
  if (DWORD e = Fault("FindFirstFileA")) return Fail(INVALID_HANDLE_VALUE, e);
  std::string query = lpFileName;
  std::replace(query.begin(), query.end(), '/', '\\');
  size_t cut = query.find_last_of("\\:");
  std::string folderPart = cut == std::string::npos ? "." : query.substr(0, cut + 1);
  std::string pattern = cut == std::string::npos ? query : query.substr(cut + 1);
  // Windows ignores trailing dots and blanks of the last component ("*." is "*").
  if (pattern.find_first_not_of('.') != std::string::npos)
    while (!pattern.empty() && (pattern.back() == '.' || pattern.back() == ' ')) pattern.pop_back();

  WinPath folder;
  if (query.empty() || !ParseWinPath(folderPart.c_str(), folder)) return Fail(INVALID_HANDLE_VALUE, ERROR_PATH_NOT_FOUND);
  folder.trailingSeparator = false;
  Located where = Locate(folder);
  if (where.node != Node::kFolder) return Fail(INVALID_HANDLE_VALUE, ERROR_PATH_NOT_FOUND);
  if (pattern.empty()) return Fail(INVALID_HANDLE_VALUE, ERROR_FILE_NOT_FOUND);

  auto state = std::make_unique<FindState>();
  WIN32_FIND_DATAA fd;
  // A drive root has no "." and ".." entries.
  if (!folder.IsRoot()) {
    for (const char* dot : {".", ".."})
      if (WildcardMatch(pattern, dot) && FillFindData(where.host, dot, fd)) state->entries.push_back(fd);
  }
  std::vector<std::string> names;
  if (DIR* dir = ::opendir(where.host.c_str())) {
    while (dirent* e = ::readdir(dir)) {
      std::string name = e->d_name;
      if (name != "." && name != ".." && WildcardMatch(pattern, name)) names.push_back(name);
    }
    ::closedir(dir);
  }
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
      return FoldCase(static_cast<unsigned char>(x)) < FoldCase(static_cast<unsigned char>(y));
    });
  });
  for (const std::string& name : names)
    if (FillFindData(where.host + "/" + name, name, fd)) state->entries.push_back(fd);
  if (state->entries.empty()) return Fail(INVALID_HANDLE_VALUE, ERROR_FILE_NOT_FOUND);

  CopyOut(lpFindFileData, state->entries[0]);
  state->next = 1;
  FindState* raw = state.get();
  Finds()[raw] = std::move(state);
  return NewHandle(kFindKind, raw, [](void* object) { Finds().erase(object); }, false);
}

BOOL WINAPI FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData) {
  if (DWORD e = Fault("FindNextFileA")) return Fail(FALSE, e);
  auto* state = static_cast<FindState*>(HandleObject(hFindFile, kFindKind));
  if (!state) return Fail(FALSE, ERROR_INVALID_HANDLE);
  if (state->next >= state->entries.size()) return Fail(FALSE, ERROR_NO_MORE_FILES);
  CopyOut(lpFindFileData, state->entries[state->next++]);
  return TRUE;
}

BOOL WINAPI FindClose(HANDLE hFindFile) {
  if (DWORD e = Fault("FindClose")) return Fail(FALSE, e);
  if (!CloseHandleOf(hFindFile, kFindKind)) return Fail(FALSE, ERROR_INVALID_HANDLE);
  return TRUE;
}
