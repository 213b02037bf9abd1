// The file-system sandbox: a mkdtemp folder created on first use and removed at exit,
// emptied and re-seeded by Reset; Windows paths resolved into it without regard to case.
#include "paths.h"

#include "core.h"

#include <dirent.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace winsim::detail {

const char kTempFolder[] = "C:\\users\\user\\Temp\\";
const char kWindowsFolder[] = "C:\\windows";

namespace {

const char* const kSkeleton[] = {"C:\\windows\\system32", "C:\\users\\user\\Temp"};

// "D:name" and "name" are relative to current; only the current drive has a current folder.
bool ParseAgainst(const char* path, const WinPath& current, WinPath& out) {
  if (!path || !*path) return false;
  std::string s = path;
  for (char& c : s)
    if (c == '/') c = '\\';
  if (s.size() >= 2 && s[0] == '\\' && s[1] == '\\') return false;

  WinPath result;
  size_t pos = 0;
  bool hasDrive = s.size() >= 2 && s[1] == ':' && std::isalpha(static_cast<unsigned char>(s[0]));
  if (hasDrive) {
    result.drive = static_cast<char>(std::toupper(static_cast<unsigned char>(s[0])));
    pos = 2;
    bool absolute = pos < s.size() && s[pos] == '\\';
    if (!absolute && result.drive == current.drive) result.parts = current.parts;
  } else if (s[0] == '\\') {
    result.drive = current.drive;
  } else {
    result = current;
  }
  result.trailingSeparator = false;

  while (pos < s.size()) {
    size_t end = s.find('\\', pos);
    if (end == std::string::npos) end = s.size();
    std::string part = s.substr(pos, end - pos);
    pos = end + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!result.parts.empty()) result.parts.pop_back();
      continue;
    }
    while (!part.empty() && (part.back() == '.' || part.back() == ' ')) part.pop_back();
    if (!part.empty()) result.parts.push_back(part);
  }
  result.trailingSeparator = !result.parts.empty() && s.back() == '\\';
  out = result;
  return true;
}

WinPath ParseFixed(const char* path) {
  WinPath p;
  ParseAgainst(path, WinPath{}, p);
  return p;
}

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
  ::remove(path);
  return 0;
}

std::vector<std::string> SkeletonHostFolders(const std::string& root) {
  std::vector<std::string> folders;
  for (const char* folder : kSkeleton) {
    WinPath p = ParseFixed(folder);
    std::string host = root + "/" + p.drive;
    folders.push_back(host);
    for (const std::string& part : p.parts) folders.push_back(host += "/" + part);
  }
  return folders;
}

void SeedSkeleton(const std::string& root) {
  for (const std::string& folder : SkeletonHostFolders(root)) MakeHostFolders(folder);
}

// Removes everything below folder that is not a skeleton folder; cheaper than
// removing and re-creating the skeleton on every Reset.
void Prune(const std::string& folder, const std::vector<std::string>& keep) {
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  std::vector<std::string> names;
  while (dirent* e = ::readdir(dir)) {
    std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(dir);
  for (const std::string& name : names) {
    std::string path = folder + "/" + name;
    struct stat st;
    bool kept = std::find(keep.begin(), keep.end(), path) != keep.end() && ::lstat(path.c_str(), &st) == 0 &&
                S_ISDIR(st.st_mode);
    if (kept) Prune(path, keep);
    else RemoveHostTree(path);
  }
}

// Owns the sandbox folder for the life of the process.
struct Sandbox {
  std::string root;
  Sandbox() {
    const char* base = std::getenv("TMPDIR");
    std::string templ = std::string(base && *base ? base : "/tmp") + "/winsim-XXXXXX";
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    // Without a sandbox every path would land in the host's root: stop here.
    if (!::mkdtemp(buf.data())) {
      std::perror("winsim: cannot create the file sandbox");
      std::abort();
    }
    root = buf.data();
    SeedSkeleton(root);
  }
  ~Sandbox() { RemoveHostTree(root); }
};

std::unique_ptr<Sandbox>& TheSandbox() {
  static std::unique_ptr<Sandbox> sandbox;
  return sandbox;
}

// The host entry in folder whose name equals name without regard to case, or "".
std::string FindEntry(const std::string& folder, const std::string& name) {
  struct stat st;
  if (::lstat((folder + "/" + name).c_str(), &st) == 0) return name;
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return "";
  std::string found;
  while (dirent* e = ::readdir(dir)) {
    if (FoldEqual(e->d_name, name)) {
      found = e->d_name;
      break;
    }
  }
  ::closedir(dir);
  return found;
}

bool IsHostFolder(const std::string& host) {
  struct stat st;
  return ::stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

const ResetHook kReset([] {
  // A sandbox not made yet has nothing to empty.
  if (const auto& sandbox = TheSandbox()) {
    Prune(sandbox->root, SkeletonHostFolders(sandbox->root));
    SeedSkeleton(sandbox->root);
  }
});

}  // namespace

std::string WinPath::Full() const {
  std::string s(1, drive);
  s += ":\\";
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i) s += '\\';
    s += parts[i];
  }
  return s;
}

WinPath WinPath::Parent() const {
  WinPath p = *this;
  if (!p.parts.empty()) p.parts.pop_back();
  p.trailingSeparator = false;
  return p;
}

bool ParseWinPath(const char* path, WinPath& out) { return ParseAgainst(path, CurrentFolder(), out); }

Located Locate(const WinPath& path) {
  Located loc{SandboxRoot() + "/" + std::string(1, path.drive), Node::kFolder};
  if (!IsHostFolder(loc.host)) {
    loc.node = Node::kMissingParent;
    for (const std::string& part : path.parts) loc.host += "/" + part;
    return loc;
  }
  for (size_t i = 0; i < path.parts.size(); ++i) {
    bool last = i + 1 == path.parts.size();
    std::string name = FindEntry(loc.host, path.parts[i]);
    if (name.empty()) {
      loc.node = last ? Node::kMissing : Node::kMissingParent;
      for (size_t j = i; j < path.parts.size(); ++j) loc.host += "/" + path.parts[j];
      return loc;
    }
    loc.host += "/" + name;
    bool folder = IsHostFolder(loc.host);
    if (!last && !folder) {
      loc.node = Node::kParentNotFolder;
      for (size_t j = i + 1; j < path.parts.size(); ++j) loc.host += "/" + path.parts[j];
      return loc;
    }
    if (last) loc.node = folder ? Node::kFolder : (path.trailingSeparator ? Node::kParentNotFolder : Node::kFile);
  }
  return loc;
}

const std::string& SandboxRoot() {
  std::unique_ptr<Sandbox>& sandbox = TheSandbox();
  if (!sandbox) sandbox = std::make_unique<Sandbox>();
  return sandbox->root;
}

const WinPath& CurrentFolder() {
  static const WinPath root = ParseFixed("C:\\");
  return root;
}

bool FoldEqual(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (FoldCase(static_cast<unsigned char>(a[i])) != FoldCase(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

bool MakeHostFolders(const std::string& host) {
  if (host.empty() || IsHostFolder(host)) return true;
  size_t slash = host.rfind('/');
  if (slash != std::string::npos && slash > 0 && !MakeHostFolders(host.substr(0, slash))) return false;
  return ::mkdir(host.c_str(), 0700) == 0 || IsHostFolder(host);
}

void RemoveHostTree(const std::string& host) { ::nftw(host.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS); }

}  // namespace winsim::detail
