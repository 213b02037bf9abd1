// winsim registry: the HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER hives in memory, the
// table of open key handles with their granted rights, and the registry test controls.
#include "core.h"

#include "winsim/control.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace winsim::detail {
namespace {

struct Value {
  std::string name;
  DWORD type;
  std::vector<BYTE> data;
};

struct Key {
  std::string name;
  HKEY hive;
  Key* parent = nullptr;  // null for a hive's root and once deleted
  bool deleted = false;
  std::vector<std::shared_ptr<Key>> subkeys;  // in name order, as Windows enumerates them
  std::vector<Value> values;                  // in creation order, as Windows enumerates them
};

struct KeyHandle {
  std::shared_ptr<Key> key;
  REGSAM access;
};

struct DenyRule {
  HKEY hive;
  std::string path;  // folded
  REGSAM rights;
};

struct RegistryState {
  std::shared_ptr<Key> machine = NewRoot(HKEY_LOCAL_MACHINE);
  std::shared_ptr<Key> user = NewRoot(HKEY_CURRENT_USER);
  std::map<uintptr_t, KeyHandle> handles;
  uintptr_t nextHandle = 0x40000;
  std::vector<DenyRule> denied;
  bool administrator = false;

  static std::shared_ptr<Key> NewRoot(HKEY hive) {
    auto key = std::make_shared<Key>();
    key->hive = hive;
    return key;
  }
};

RegistryState& S() {
  static RegistryState s;
  return s;
}

const ResetHook g_reset([] { S() = RegistryState{}; });

const REGSAM kWow64Flags = KEY_WOW64_32KEY | KEY_WOW64_64KEY;

bool IsPredefined(HKEY h) {
  auto v = reinterpret_cast<uintptr_t>(h);
  return v >= reinterpret_cast<uintptr_t>(HKEY_CLASSES_ROOT) &&
         v <= reinterpret_cast<uintptr_t>(HKEY_CLASSES_ROOT) + 6;
}

std::shared_ptr<Key> HiveRoot(HKEY hive) {
  if (hive == HKEY_LOCAL_MACHINE) return S().machine;
  if (hive == HKEY_CURRENT_USER) return S().user;
  return nullptr;
}

// Names compare as Windows compares them: upper-cased, by UTF-16 code unit.
int CompareNames(const std::string& a, const std::string& b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    WCHAR ca = Cp1252ToWide(FoldCase(static_cast<unsigned char>(a[i])));
    WCHAR cb = Cp1252ToWide(FoldCase(static_cast<unsigned char>(b[i])));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

std::string Fold(const std::string& s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(FoldCase(static_cast<unsigned char>(c)));
  return out;
}

// Splits a subkey path into its names. Empty components (doubled or trailing
// backslashes) are skipped as Windows does; a leading backslash makes the path invalid.
bool SplitPath(const char* path, std::vector<std::string>& parts) {
  parts.clear();
  if (!path) return true;
  if (path[0] == '\\') return false;
  std::string part;
  for (const char* p = path;; ++p) {
    if (*p == '\\' || *p == '\0') {
      if (!part.empty()) parts.push_back(part);
      part.clear();
      if (*p == '\0') return true;
    } else {
      part += *p;
    }
  }
}

// The checks the platform makes of a subkey path before it looks for the key: the
// ANSI calls convert the path into a buffer of MAX_PATH + 1 wide characters, and one
// name holds at most 256 characters (Wine's limit; Windows documents 255).
const size_t kMaxSubkeyPath = MAX_PATH;
const size_t kMaxKeyName = 256;

LSTATUS SplitSubkeyPath(const char* path, std::vector<std::string>& parts) {
  if (path && std::strlen(path) > kMaxSubkeyPath) return ERROR_MORE_DATA;
  if (!SplitPath(path, parts)) return ERROR_BAD_PATHNAME;
  for (const std::string& part : parts)
    if (part.size() > kMaxKeyName) return ERROR_INVALID_PARAMETER;
  return ERROR_SUCCESS;
}

std::shared_ptr<Key> FindSubkey(const Key& key, const std::string& name) {
  for (const auto& sub : key.subkeys)
    if (CompareNames(sub->name, name) == 0) return sub;
  return nullptr;
}

std::shared_ptr<Key> AddSubkey(Key& key, const std::string& name) {
  auto sub = std::make_shared<Key>();
  sub->name = name;
  sub->hive = key.hive;
  sub->parent = &key;
  auto at = std::find_if(key.subkeys.begin(), key.subkeys.end(),
                         [&](const std::shared_ptr<Key>& k) { return CompareNames(k->name, name) > 0; });
  key.subkeys.insert(at, sub);
  return sub;
}

// The key's path below its hive, folded, for matching deny rules.
std::string FoldedPath(const Key& key) {
  std::string path;
  for (const Key* k = &key; k->parent; k = k->parent) path = path.empty() ? k->name : k->name + "\\" + path;
  return Fold(path);
}

std::string ChildPath(const std::string& parent, const std::string& name) {
  return parent.empty() ? Fold(name) : parent + "\\" + Fold(name);
}

// What a standard user may not do anywhere in HKEY_LOCAL_MACHINE.
const REGSAM kWriteRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC | WRITE_OWNER;

REGSAM DeniedRights(HKEY hive, const std::string& foldedPath) {
  REGSAM rights = hive == HKEY_LOCAL_MACHINE && !S().administrator ? kWriteRights : 0;
  for (const DenyRule& rule : S().denied) {
    if (rule.hive != hive) continue;
    const std::string& p = rule.path;
    if (p.empty() || foldedPath == p ||
        (foldedPath.size() > p.size() && foldedPath.compare(0, p.size(), p) == 0 && foldedPath[p.size()] == '\\'))
      rights |= rule.rights;
  }
  return rights;
}

// Walks `parts` down from `key`; null when a name is missing.
std::shared_ptr<Key> Walk(std::shared_ptr<Key> key, const std::vector<std::string>& parts) {
  for (const std::string& part : parts) {
    key = FindSubkey(*key, part);
    if (!key) return nullptr;
  }
  return key;
}

// Predefined keys stand for their hive's root with every right the hive grants there.
LSTATUS Resolve(HKEY h, std::shared_ptr<Key>& key, REGSAM& access) {
  if (IsPredefined(h)) {
    key = HiveRoot(h);
    if (!key) return ERROR_INVALID_HANDLE;
    access = KEY_ALL_ACCESS & ~DeniedRights(h, "");
    return ERROR_SUCCESS;
  }
  auto it = S().handles.find(reinterpret_cast<uintptr_t>(h));
  if (it == S().handles.end()) return ERROR_INVALID_HANDLE;
  key = it->second.key;
  access = it->second.access;
  return ERROR_SUCCESS;
}

// The key behind a handle for an operation that needs `rights`; the rights are checked
// before the key's deletion, as on Windows.
LSTATUS UseKey(HKEY h, REGSAM rights, std::shared_ptr<Key>& key) {
  REGSAM access = 0;
  if (LSTATUS e = Resolve(h, key, access)) return e;
  if ((access & rights) != rights) return ERROR_ACCESS_DENIED;
  if (key->deleted) return ERROR_KEY_DELETED;
  return ERROR_SUCCESS;
}

HKEY NewKeyHandle(std::shared_ptr<Key> key, REGSAM access) {
  RegistryState& s = S();
  s.nextHandle += 4;
  s.handles[s.nextHandle] = KeyHandle{std::move(key), access};
  return reinterpret_cast<HKEY>(s.nextHandle);
}

Value* FindValue(Key& key, const char* name) {
  std::string wanted = name ? name : "";
  for (Value& v : key.values)
    if (CompareNames(v.name, wanted) == 0) return &v;
  return nullptr;
}

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// Copies stored data out under the rules RegQueryValueExA and RegEnumValueA share: nothing
// is written when it does not fit, and a string that lacks its terminator gets one when
// the buffer has room (without counting it).
LSTATUS CopyData(const Value& v, LPBYTE data, DWORD capacity) {
  DWORD size = static_cast<DWORD>(v.data.size());
  if (!data || size == 0) return ERROR_SUCCESS;
  if (size > capacity) return ERROR_MORE_DATA;
  std::memcpy(data, v.data.data(), size);
  if (IsStringType(v.type) && size < capacity && data[size - 1]) data[size] = 0;
  return ERROR_SUCCESS;
}

void DeleteTree(Key& key) {
  for (auto& sub : key.subkeys) DeleteTree(*sub);
  key.subkeys.clear();
  key.values.clear();
  key.deleted = true;
  key.parent = nullptr;
}

// Takes the key out of its parent; handles still open on it or below see it deleted.
void Detach(std::shared_ptr<Key> key) {
  auto& siblings = key->parent->subkeys;
  siblings.erase(std::find(siblings.begin(), siblings.end(), key));
  DeleteTree(*key);
}

// Control paths may start with a backslash.
std::vector<std::string> ControlPath(const std::string& path) {
  std::vector<std::string> parts;
  size_t start = path.find_first_not_of('\\');
  SplitPath(start == std::string::npos ? "" : path.c_str() + start, parts);
  return parts;
}

std::shared_ptr<Key> ControlKey(HKEY hive, const std::string& path) {
  auto root = HiveRoot(hive);
  return root ? Walk(root, ControlPath(path)) : nullptr;
}

std::shared_ptr<Key> CreatePath(HKEY hive, const std::vector<std::string>& parts) {
  auto key = HiveRoot(hive);
  for (const std::string& part : parts) {
    auto sub = FindSubkey(*key, part);
    key = sub ? sub : AddSubkey(*key, part);
  }
  return key;
}

// The open key behind a handle and the components of a subkey path below it. Only the
// key itself matters here: the rights of the handle it was reached through do not.
LSTATUS ResolveSubkeyPath(HKEY hKey, LPCSTR lpSubKey, std::shared_ptr<Key>& key, std::vector<std::string>& parts) {
  REGSAM parentAccess = 0;
  if (LSTATUS e = Resolve(hKey, key, parentAccess)) return e;
  if (key->deleted) return ERROR_KEY_DELETED;
  return SplitSubkeyPath(lpSubKey, parts);
}

}  // namespace
}  // namespace winsim::detail

using namespace winsim::detail;

LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult) {
  (void)ulOptions;
  if (DWORD e = Fault("RegOpenKeyExA")) return e;
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  std::shared_ptr<Key> key;
  std::vector<std::string> parts;
  if (LSTATUS e = ResolveSubkeyPath(hKey, lpSubKey, key, parts)) return e;
  // No subkey on a predefined key hands back the predefined key itself.
  if (parts.empty() && IsPredefined(hKey)) {
    *phkResult = hKey;
    return ERROR_SUCCESS;
  }
  key = Walk(key, parts);
  if (!key) return ERROR_FILE_NOT_FOUND;
  REGSAM access = samDesired & ~kWow64Flags;
  if (access & DeniedRights(key->hive, FoldedPath(*key))) return ERROR_ACCESS_DENIED;
  *phkResult = NewKeyHandle(key, access);
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions,
                               REGSAM samDesired, const LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                               PHKEY phkResult, LPDWORD lpdwDisposition) {
  (void)Reserved;
  (void)lpClass;
  (void)dwOptions;
  (void)lpSecurityAttributes;
  if (DWORD e = Fault("RegCreateKeyExA")) return e;
  if (!phkResult) return ERROR_BADKEY;
  *phkResult = nullptr;
  // The rights of the parent handle do not matter, only those on the keys themselves.
  std::shared_ptr<Key> key;
  std::vector<std::string> parts;
  if (LSTATUS e = ResolveSubkeyPath(hKey, lpSubKey, key, parts)) return e;

  size_t existing = 0;
  for (; existing < parts.size(); ++existing) {
    auto sub = FindSubkey(*key, parts[existing]);
    if (!sub) break;
    key = sub;
  }
  // Check every right the whole creation needs before creating anything.
  std::string path = FoldedPath(*key);
  for (size_t i = existing; i < parts.size(); ++i) {
    if (DeniedRights(key->hive, path) & KEY_CREATE_SUB_KEY) return ERROR_ACCESS_DENIED;
    path = ChildPath(path, parts[i]);
  }
  REGSAM access = samDesired & ~kWow64Flags;
  if (access & DeniedRights(key->hive, path)) return ERROR_ACCESS_DENIED;

  for (size_t i = existing; i < parts.size(); ++i) key = AddSubkey(*key, parts[i]);
  if (lpdwDisposition) *lpdwDisposition = existing < parts.size() ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  *phkResult = NewKeyHandle(key, access);
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                                LPDWORD lpcbData) {
  if (DWORD e = Fault("RegQueryValueExA")) return e;
  if ((lpData && !lpcbData) || lpReserved) return ERROR_INVALID_PARAMETER;
  DWORD capacity = lpcbData ? *lpcbData : 0;
  // A size query reports 0 and the type REG_NONE unless the value is found.
  if (!lpData && lpcbData) *lpcbData = 0;
  if (lpType) *lpType = REG_NONE;
  std::shared_ptr<Key> key;
  if (LSTATUS e = UseKey(hKey, KEY_QUERY_VALUE, key)) return e;
  const Value* v = FindValue(*key, lpValueName);
  if (!v) return ERROR_FILE_NOT_FOUND;
  LSTATUS result = CopyData(*v, lpData, capacity);
  if (lpType) *lpType = v->type;
  if (lpcbData) *lpcbData = static_cast<DWORD>(v->data.size());
  return result;
}

LSTATUS WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                              DWORD cbData) {
  (void)Reserved;
  if (DWORD e = Fault("RegSetValueExA")) return e;
  std::shared_ptr<Key> key;
  if (LSTATUS e = UseKey(hKey, KEY_SET_VALUE, key)) return e;
  if (!lpData && cbData) return ERROR_NOACCESS;
  // A string whose count leaves out its terminator is stored with it, as Windows does;
  // like Windows this looks at the byte just past the count.
  if (IsStringType(dwType) && cbData && lpData[cbData - 1] && !lpData[cbData]) ++cbData;
  std::vector<BYTE> data(lpData, lpData + cbData);
  if (Value* v = FindValue(*key, lpValueName)) {
    v->type = dwType;
    v->data = std::move(data);
  } else {
    key->values.push_back(Value{lpValueName ? lpValueName : "", dwType, std::move(data)});
  }
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                             LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  if (DWORD e = Fault("RegEnumValueA")) return e;
  if ((lpData && !lpcbData) || lpReserved || !lpValueName || !lpcchValueName) return ERROR_INVALID_PARAMETER;
  std::shared_ptr<Key> key;
  if (LSTATUS e = UseKey(hKey, KEY_QUERY_VALUE, key)) return e;
  if (dwIndex >= key->values.size()) return ERROR_NO_MORE_ITEMS;
  const Value& v = key->values[dwIndex];
  LSTATUS result = CopyData(v, lpData, lpData ? *lpcbData : 0);
  if (result == ERROR_SUCCESS) {
    // A name that does not fit is cut to the buffer (as Wine and most Windows versions
    // do) and its count is left alone.
    DWORD len = static_cast<DWORD>(v.name.size());
    if (len >= *lpcchValueName) {
      result = ERROR_MORE_DATA;
      if (*lpcchValueName) {
        DWORD cut = *lpcchValueName - 1;
        std::memcpy(lpValueName, v.name.data(), cut);
        lpValueName[cut] = '\0';
      }
    } else {
      std::memcpy(lpValueName, v.name.c_str(), len + 1);
      *lpcchValueName = len;
    }
  }
  if (lpType) *lpType = v.type;
  if (lpcbData) *lpcbData = static_cast<DWORD>(v.data.size());
  return result;
}

LSTATUS WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                             LPSTR lpClass, LPDWORD lpcchClass, LPFILETIME lpftLastWriteTime) {
  if (DWORD e = Fault("RegEnumKeyExA")) return e;
  if (lpReserved || !lpcchName) return ERROR_INVALID_PARAMETER;
  std::shared_ptr<Key> key;
  if (LSTATUS e = UseKey(hKey, KEY_ENUMERATE_SUB_KEYS, key)) return e;
  if (dwIndex >= key->subkeys.size()) return ERROR_NO_MORE_ITEMS;
  const std::string& name = key->subkeys[dwIndex]->name;
  DWORD len = static_cast<DWORD>(name.size());
  // Keys have no class; an empty one still needs room for its terminator.
  if (len >= *lpcchName || (lpClass && lpcchClass && *lpcchClass == 0)) return ERROR_MORE_DATA;
  std::memcpy(lpName, name.c_str(), len + 1);
  *lpcchName = len;
  if (lpClass && lpcchClass) {
    lpClass[0] = '\0';
    *lpcchClass = 0;
  }
  if (lpftLastWriteTime) *lpftLastWriteTime = FILETIME{0, 0};
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
  if (DWORD e = Fault("RegDeleteValueA")) return e;
  std::shared_ptr<Key> key;
  if (LSTATUS e = UseKey(hKey, KEY_SET_VALUE, key)) return e;
  Value* v = FindValue(*key, lpValueName);
  if (!v) return ERROR_FILE_NOT_FOUND;
  key->values.erase(key->values.begin() + (v - key->values.data()));
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
  if (DWORD e = Fault("RegDeleteKeyA")) return e;
  if (!lpSubKey) return ERROR_INVALID_PARAMETER;
  // Like RegCreateKeyExA, this needs no rights on the parent handle, only DELETE on the key.
  std::shared_ptr<Key> key;
  std::vector<std::string> parts;
  if (LSTATUS e = ResolveSubkeyPath(hKey, lpSubKey, key, parts)) return e;
  key = Walk(key, parts);
  if (!key) return ERROR_FILE_NOT_FOUND;
  if (!key->parent || (DeniedRights(key->hive, FoldedPath(*key)) & DELETE)) return ERROR_ACCESS_DENIED;
  // Only a key without subkeys can go.
  if (!key->subkeys.empty()) return ERROR_ACCESS_DENIED;
  Detach(key);
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCloseKey(HKEY hKey) {
  if (DWORD e = Fault("RegCloseKey")) return e;
  if (IsPredefined(hKey)) return ERROR_SUCCESS;
  if (S().handles.erase(reinterpret_cast<uintptr_t>(hKey)) == 0) return ERROR_INVALID_HANDLE;
  return ERROR_SUCCESS;
}

// Test controls.

namespace winsim {
namespace {

unsigned char WideToCp1252(unsigned w) {
  if (w < 0x80 || (w >= 0xA0 && w < 0x100)) return static_cast<unsigned char>(w);
  for (unsigned c = 0x80; c < 0xA0; ++c)
    if (Cp1252ToWide(static_cast<unsigned char>(c)) == w) return static_cast<unsigned char>(c);
  return '?';
}

// Parser of .reg text; a method that fails leaves the reason in m_error.
class CRegImport {
public:
  bool Run(const std::string& text, std::string& error);

private:
  bool Line(const std::string& line);
  bool Section(const std::string& line);
  bool ValueLine(const std::string& line);
  bool QuotedString(const std::string& line, size_t& pos, std::string& out);
  bool HexList(const std::string& text, std::vector<BYTE>& out);
  bool Fail(const std::string& why) {
    m_error = why;
    return false;
  }

  bool m_unicode = false;
  std::shared_ptr<Key> m_key;  // the current section's key; null outside a section
  std::string m_error;
};

bool CRegImport::Run(const std::string& text, std::string& error) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  bool header = false;
  for (size_t i = 0; i < lines.size(); ++i) {
    size_t number = i + 1;
    std::string line = lines[i];
    // A trailing backslash continues hex data on the next line.
    while (true) {
      size_t last = line.find_last_not_of(" \t");
      if (last == std::string::npos || line[last] != '\\' || i + 1 >= lines.size()) break;
      line.erase(last);
      const std::string& next = lines[++i];
      line += next.substr(std::min(next.find_first_not_of(" \t"), next.size()));
    }
    size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == ';') continue;
    line = line.substr(first, line.find_last_not_of(" \t") - first + 1);
    bool ok;
    if (!header) {
      m_unicode = line == "Windows Registry Editor Version 5.00";
      ok = m_unicode || line == "REGEDIT4" || Fail("expected REGEDIT4 or Windows Registry Editor Version 5.00");
      header = true;
    } else {
      ok = Line(line);
    }
    if (!ok) {
      error = "line " + std::to_string(number) + ": " + m_error;
      return false;
    }
  }
  if (!header) {
    error = "line 1: empty text";
    return false;
  }
  return true;
}

bool CRegImport::Line(const std::string& line) {
  if (line[0] == '[') return Section(line);
  if (line[0] == '"' || line[0] == '@') return ValueLine(line);
  return Fail("neither a section nor a value: " + line);
}

bool CRegImport::Section(const std::string& line) {
  if (line.back() != ']') return Fail("section without ]");
  bool remove = line.size() > 1 && line[1] == '-';
  std::string path = line.substr(remove ? 2 : 1, line.size() - (remove ? 3 : 2));
  std::string rootName = path.substr(0, path.find('\\'));
  std::string rest = rootName.size() < path.size() ? path.substr(rootName.size() + 1) : "";
  HKEY hive = nullptr;
  if (CompareNames(rootName, "HKEY_LOCAL_MACHINE") == 0 || CompareNames(rootName, "HKLM") == 0)
    hive = HKEY_LOCAL_MACHINE;
  else if (CompareNames(rootName, "HKEY_CURRENT_USER") == 0 || CompareNames(rootName, "HKCU") == 0)
    hive = HKEY_CURRENT_USER;
  else
    return Fail("unsupported root key " + rootName);
  std::vector<std::string> parts = ControlPath(rest);
  m_key = nullptr;
  if (!remove) {
    m_key = CreatePath(hive, parts);
    return true;
  }
  if (parts.empty()) return Fail("cannot delete a hive");
  if (auto key = Walk(HiveRoot(hive), parts)) Detach(key);
  return true;
}

bool CRegImport::QuotedString(const std::string& line, size_t& pos, std::string& out) {
  out.clear();
  for (++pos; pos < line.size(); ++pos) {
    char c = line[pos];
    if (c == '"') {
      ++pos;
      return true;
    }
    if (c == '\\') {
      if (++pos >= line.size() || (line[pos] != '\\' && line[pos] != '"'))
        return Fail("unknown escape in a string (only \\\\ and \\\" are allowed)");
      c = line[pos];
    }
    out += c;
  }
  return Fail("string without closing quote");
}

bool CRegImport::HexList(const std::string& text, std::vector<BYTE>& out) {
  out.clear();
  size_t pos = 0;
  auto skipBlanks = [&] {
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
  };
  skipBlanks();
  while (pos < text.size()) {
    size_t used = 0;
    unsigned long byte = 0;
    std::string digits = text.substr(pos, 2);
    if (digits.size() == 2 && std::isxdigit(static_cast<unsigned char>(digits[0])) &&
        std::isxdigit(static_cast<unsigned char>(digits[1])))
      byte = std::stoul(digits, &used, 16);
    if (used != 2) return Fail("expected two hex digits at: " + text.substr(pos));
    out.push_back(static_cast<BYTE>(byte));
    pos += 2;
    skipBlanks();
    if (pos < text.size()) {
      if (text[pos] != ',') return Fail("expected a comma at: " + text.substr(pos));
      ++pos;
      skipBlanks();
    }
  }
  return true;
}

bool CRegImport::ValueLine(const std::string& line) {
  if (!m_key) return Fail("value outside a key section");
  size_t pos = 0;
  std::string name;
  if (line[0] == '@') {
    pos = 1;
  } else if (!QuotedString(line, pos, name)) {
    return false;
  }
  while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
  if (pos >= line.size() || line[pos] != '=') return Fail("expected = after the value name");
  ++pos;
  while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
  std::string data = line.substr(pos);
  Value* existing = FindValue(*m_key, name.c_str());

  if (data == "-") {
    if (existing) m_key->values.erase(m_key->values.begin() + (existing - m_key->values.data()));
    return true;
  }
  Value value{name, REG_SZ, {}};
  if (!data.empty() && data[0] == '"') {
    std::string text;
    if (!QuotedString(line, pos, text)) return false;
    if (pos != line.size()) return Fail("text after the closing quote");
    value.data.assign(text.begin(), text.end());
    value.data.push_back(0);
  } else if (data.compare(0, 6, "dword:") == 0) {
    std::string digits = data.substr(6);
    if (digits.empty() || digits.size() > 8 || digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
      return Fail("dword needs one to eight hex digits");
    DWORD d = static_cast<DWORD>(std::stoul(digits, nullptr, 16));
    value.type = REG_DWORD;
    value.data = {static_cast<BYTE>(d), static_cast<BYTE>(d >> 8), static_cast<BYTE>(d >> 16),
                  static_cast<BYTE>(d >> 24)};
  } else if (data.compare(0, 4, "hex:") == 0 || data.compare(0, 4, "hex(") == 0) {
    size_t colon = data.find(':');
    value.type = REG_BINARY;
    if (data[3] == '(') {
      size_t close = data.find(')');
      std::string digits = close == std::string::npos ? "" : data.substr(4, close - 4);
      if (digits.empty() || digits.size() > 8 || digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos ||
          colon != close + 1)
        return Fail("malformed hex(type):");
      value.type = static_cast<DWORD>(std::stoul(digits, nullptr, 16));
    }
    if (!HexList(data.substr(colon + 1), value.data)) return false;
    // Version 5 files hold string types in UTF-16; the hives hold what the ANSI calls see.
    if (m_unicode && IsStringType(value.type)) {
      if (value.data.size() % 2) return Fail("UTF-16 data of odd length");
      std::vector<BYTE> narrow;
      for (size_t i = 0; i < value.data.size(); i += 2)
        narrow.push_back(WideToCp1252(value.data[i] | value.data[i + 1] << 8));
      value.data = std::move(narrow);
    }
  } else {
    return Fail("unknown data: " + data);
  }
  if (existing) {
    existing->type = value.type;
    existing->data = std::move(value.data);
  } else {
    m_key->values.push_back(std::move(value));
  }
  return true;
}

}  // namespace

void DenyKeyAccess(HKEY hive, const std::string& path, REGSAM rights) {
  std::string folded;
  for (const std::string& part : ControlPath(path)) folded = ChildPath(folded, part);
  S().denied.push_back(DenyRule{hive, folded, rights});
}

void SetAdministrator(bool administrator) { S().administrator = administrator; }
bool IsAdministrator() { return S().administrator; }

size_t OpenKeyCount() { return S().handles.size(); }

bool KeyExists(HKEY hive, const std::string& path) { return ControlKey(hive, path) != nullptr; }

std::optional<DWORD> ReadRegDword(HKEY hive, const std::string& path, const std::string& name) {
  auto key = ControlKey(hive, path);
  const Value* v = key ? FindValue(*key, name.c_str()) : nullptr;
  if (!v || v->type != REG_DWORD || v->data.size() != 4) return std::nullopt;
  const std::vector<BYTE>& d = v->data;
  return d[0] | d[1] << 8 | d[2] << 16 | static_cast<DWORD>(d[3]) << 24;
}

bool ImportRegText(const std::string& text, std::string* error) {
  std::string why;
  bool ok = CRegImport().Run(text, why);
  if (error) *error = why;
  return ok;
}

}  // namespace winsim
