// winsim profile (INI) reads over sandbox files. Every call parses the file afresh, so a
// file a test rewrites is seen at once.
#include "core.h"
#include "paths.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using namespace winsim::detail;

namespace {

struct Entry {
  std::string name;
  bool hasValue;  // a line without '=' is a name alone
  std::string value;
  // Comments are hidden from the listings only: a key named ";x" can still be read.
  bool IsComment() const { return !name.empty() && name[0] == ';'; }
};

struct Section {
  bool named;  // lines before the first header form an unnamed section
  std::string name;
  std::vector<Entry> entries;
};

using Profile = std::vector<Section>;

const char kBlanks[] = " \t\r\n\v\f";

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(kBlanks);
  if (b == std::string::npos) return "";
  return s.substr(b, s.find_last_not_of(kBlanks) - b + 1);
}

Profile Parse(const std::string& bytes) {
  Profile profile;
  size_t pos = 0;
  while (pos < bytes.size()) {
    size_t end = bytes.find('\n', pos);
    if (end == std::string::npos) end = bytes.size();
    std::string line = Trim(bytes.substr(pos, end - pos));
    pos = end + 1;
    if (line.empty()) continue;
    size_t close = line.find(']');
    if (line[0] == '[' && close != std::string::npos) {
      profile.push_back(Section{true, Trim(line.substr(1, close - 1)), {}});
      continue;
    }
    if (profile.empty()) profile.push_back(Section{false, "", {}});
    size_t eq = line.find('=');
    if (eq == std::string::npos)
      profile.back().entries.push_back(Entry{line, false, ""});
    else
      profile.back().entries.push_back(Entry{Trim(line.substr(0, eq)), true, Trim(line.substr(eq + 1))});
  }
  return profile;
}

Section* FindSection(Profile& profile, const char* name) {
  std::string wanted = Trim(name);
  for (Section& section : profile)
    if (section.named && FoldEqual(section.name, wanted)) return &section;
  return nullptr;
}

Entry* FindKey(Section& section, const char* key) {
  std::string wanted = Trim(key);
  for (Entry& entry : section.entries)
    if (FoldEqual(entry.name, wanted)) return &entry;
  return nullptr;
}

// A bare file name lives in the Windows folder; anything with a folder part is a path.
bool ProfilePath(const char* fileName, WinPath& path) {
  if (!fileName) return false;
  if (!std::strpbrk(fileName, "\\/:")) return ParseWinPath((std::string(kWindowsFolder) + "\\" + fileName).c_str(), path);
  return ParseWinPath(fileName, path);
}

// Reads the profile; on failure the error the real call leaves behind.
DWORD Load(const char* fileName, Profile& profile) {
  WinPath path;
  if (!ProfilePath(fileName, path)) return ERROR_PATH_NOT_FOUND;
  Located loc = Locate(path);
  if (loc.node == Node::kMissing) return ERROR_FILE_NOT_FOUND;
  if (loc.node != Node::kFile) return loc.node == Node::kFolder ? ERROR_ACCESS_DENIED : ERROR_PATH_NOT_FOUND;
  FILE* f = std::fopen(loc.host.c_str(), "rb");
  if (!f) return ERROR_ACCESS_DENIED;
  std::string bytes;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0) bytes.append(buf, n);
  std::fclose(f);
  profile = Parse(bytes);
  return ERROR_SUCCESS;
}

// Copies a value, less one pair of enclosing quotes, cut to the buffer; returns the
// characters copied.
DWORD CopyValue(LPSTR out, DWORD size, std::string value) {
  if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
    value = value.substr(1, value.size() - 2);
  DWORD n = static_cast<DWORD>(value.size()) < size - 1 ? static_cast<DWORD>(value.size()) : size - 1;
  std::memcpy(out, value.data(), n);
  out[n] = '\0';
  return n;
}

// Zero-ended strings and a final zero. When they do not fit, the last one is cut, the
// list ends with two zeros and the result is size - 2.
DWORD CopyList(LPSTR out, DWORD size, const std::vector<std::string>& items) {
  DWORD left = size;
  DWORD pos = 0;
  for (const std::string& item : items) {
    if (left <= 2) break;
    DWORD n = static_cast<DWORD>(item.size()) < left - 2 ? static_cast<DWORD>(item.size()) : left - 2;
    std::memcpy(out + pos, item.data(), n);
    out[pos + n] = '\0';
    left -= n + 1;
    pos += n + 1;
    if (left < 2) break;
  }
  if (left <= 1) {
    out[size - 2] = '\0';
    out[size - 1] = '\0';
    return size - 2;
  }
  out[pos] = '\0';
  return pos;
}

// Trailing blanks of the default are dropped (all but its first character).
std::string DefaultValue(LPCSTR def) {
  std::string s = def ? def : "";
  while (s.size() > 1 && s.back() == ' ') s.pop_back();
  return s;
}

DWORD ReadString(LPCSTR app, LPCSTR key, LPCSTR def, LPSTR out, DWORD size, LPCSTR fileName, const char* api) {
  Profile profile;
  DWORD error = Fault(api);
  if (!error) error = Load(fileName, profile);
  if (!app) {
    if (error) {
      out[0] = '\0';
      return Fail(0u, error);
    }
    std::vector<std::string> names;
    for (const Section& section : profile)
      if (section.named) names.push_back(section.name);
    SetLastError(ERROR_SUCCESS);
    return CopyList(out, size, names);
  }
  if (error) return Fail(CopyValue(out, size, DefaultValue(def)), error);
  SetLastError(ERROR_SUCCESS);
  Section* section = FindSection(profile, app);
  if (!key) {
    std::vector<std::string> names;
    if (section)
      for (const Entry& entry : section->entries)
        if (entry.hasValue && !entry.IsComment()) names.push_back(entry.name);
    DWORD n = CopyList(out, size, names);
    return n ? n : CopyValue(out, size, DefaultValue(def));
  }
  Entry* entry = section ? FindKey(*section, key) : nullptr;
  if (!entry || !entry->hasValue) return CopyValue(out, size, DefaultValue(def));
  return CopyValue(out, size, entry->value);
}

// The platform's string-to-integer rule: blanks, a sign, then a "0x", "0o" or "0b"
// prefix or decimal digits, up to the first character that is not a digit; wraps.
INT ParseInt(const char* s) {
  while (*s && static_cast<unsigned char>(*s) <= ' ') ++s;
  bool negative = false;
  if (*s == '+' || *s == '-') negative = *s++ == '-';
  unsigned base = 10;
  if (s[0] == '0' && (s[1] == 'x' || s[1] == 'o' || s[1] == 'b')) {
    base = s[1] == 'x' ? 16 : s[1] == 'o' ? 8 : 2;
    s += 2;
  }
  uint32_t total = 0;
  for (; *s; ++s) {
    unsigned digit;
    if (*s >= '0' && *s <= '9') digit = static_cast<unsigned>(*s - '0');
    else if (*s >= 'a' && *s <= 'z') digit = static_cast<unsigned>(*s - 'a' + 10);
    else if (*s >= 'A' && *s <= 'Z') digit = static_cast<unsigned>(*s - 'A' + 10);
    else break;
    if (digit >= base) break;
    total = total * base + digit;
  }
  return static_cast<INT>(negative ? 0u - total : total);
}

}  // namespace

DWORD WINAPI GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault, LPSTR lpReturnedString,
                                      DWORD nSize, LPCSTR lpFileName) {
  if (!lpReturnedString || !nSize) return 0;
  return ReadString(lpAppName, lpKeyName, lpDefault, lpReturnedString, nSize, lpFileName, "GetPrivateProfileStringA");
}

UINT WINAPI GetPrivateProfileIntA(LPCSTR lpAppName, LPCSTR lpKeyName, INT nDefault, LPCSTR lpFileName) {
  char buf[30];
  if (!ReadString(lpAppName, lpKeyName, "", buf, sizeof(buf), lpFileName, "GetPrivateProfileIntA"))
    return static_cast<UINT>(nDefault);
  return static_cast<UINT>(ParseInt(buf));
}

DWORD WINAPI GetPrivateProfileSectionA(LPCSTR lpAppName, LPSTR lpReturnedString, DWORD nSize, LPCSTR lpFileName) {
  if (!lpAppName || !lpReturnedString) return Fail(0u, ERROR_INVALID_PARAMETER);
  if (!nSize) return 0;
  lpReturnedString[0] = '\0';
  if (nSize > 1) lpReturnedString[1] = '\0';
  Profile profile;
  DWORD error = Fault("GetPrivateProfileSectionA");
  if (!error) error = Load(lpFileName, profile);
  if (error) return Fail(0u, error);
  std::vector<std::string> lines;
  if (Section* section = FindSection(profile, lpAppName))
    for (const Entry& entry : section->entries)
      if (!entry.IsComment()) lines.push_back(entry.hasValue ? entry.name + "=" + entry.value : entry.name);
  if (nSize < 2) return 0;
  DWORD n = CopyList(lpReturnedString, nSize, lines);
  SetLastError(n == nSize - 2 && !lines.empty() ? ERROR_INSUFFICIENT_BUFFER : ERROR_SUCCESS);
  return n;
}
