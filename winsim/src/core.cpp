// winsim core: last error, fault injection, reset, clock, version, language, strings.
#include "core.h"

#include "winsim/control.h"

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace winsim::detail {
namespace {

struct Injected {
  DWORD error;
  unsigned nth;  // 0: every call; else only the nth call after injection
  unsigned seen;
};

struct HandleEntry {
  const char* kind;
  void* object;
  std::function<void(void*)> closer;
  bool kernel;
};

struct CoreState {
  DWORD lastError = 0;
  uint64_t now = 0;
  DWORD tickBase = 0;
  LANGID lang = 0x0409;
  UINT acp = 1252;
  DWORD platformId = VER_PLATFORM_WIN32_NT;
  std::map<std::string, std::vector<Injected>> faults;
  std::map<std::string, unsigned> calls;
  std::map<uintptr_t, HandleEntry> handles;
  uintptr_t nextHandle = 0x1000;
};

CoreState& S() {
  static CoreState s;
  return s;
}

std::vector<std::function<void()>>& Hooks() {
  static std::vector<std::function<void()>> hooks;
  return hooks;
}

}  // namespace

ResetHook::ResetHook(std::function<void()> fn) { Hooks().push_back(std::move(fn)); }

DWORD Fault(const char* api) {
  CoreState& s = S();
  ++s.calls[api];
  auto it = s.faults.find(api);
  if (it == s.faults.end()) return 0;
  DWORD error = 0;
  for (Injected& f : it->second) {
    ++f.seen;
    if (f.nth == 0 || f.seen == f.nth) error = f.error;
  }
  return error;
}

HANDLE NewHandle(const char* kind, void* object, std::function<void(void*)> closer, bool kernel) {
  CoreState& s = S();
  s.nextHandle += 4;
  s.handles[s.nextHandle] = HandleEntry{kind, object, std::move(closer), kernel};
  return reinterpret_cast<HANDLE>(s.nextHandle);
}

bool CloseHandleOf(HANDLE h, const char* kind) {
  auto& handles = S().handles;
  auto it = handles.find(reinterpret_cast<uintptr_t>(h));
  if (it == handles.end() || std::string(it->second.kind) != kind) return false;
  HandleEntry entry = std::move(it->second);
  handles.erase(it);
  if (entry.closer) entry.closer(entry.object);
  return true;
}

void* HandleObject(HANDLE h, const char* kind) {
  auto it = S().handles.find(reinterpret_cast<uintptr_t>(h));
  if (it == S().handles.end() || std::string(it->second.kind) != kind) return nullptr;
  return it->second.object;
}

size_t LiveHandleCount() { return S().handles.size(); }

size_t LiveHandleCount(const char* kind) {
  size_t n = 0;
  for (const auto& entry : S().handles)
    if (std::string(entry.second.kind) == kind) ++n;
  return n;
}

uint64_t Now() { return S().now; }
void AdvanceNow(uint64_t ms) { S().now += ms; }

WCHAR Cp1252ToWide(unsigned char c) {
  static const WCHAR high[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  if (c >= 0x80 && c < 0xA0) return high[c - 0x80];
  return c;
}

unsigned char FoldCase(unsigned char c) {
  if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 0x20);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 0x20);
  switch (c) {
    case 0x9A: return 0x8A;
    case 0x9C: return 0x8C;
    case 0x9E: return 0x8E;
    case 0xFF: return 0x9F;
    default: return c;
  }
}

}  // namespace winsim::detail

using namespace winsim::detail;

namespace winsim {

void Reset() {
  // Areas drop their objects first; the handle table then forgets them unclosed.
  for (auto& fn : Hooks()) fn();
  S() = CoreState{};
}

size_t KernelHandleCount() { return LiveHandleCount(); }

void InjectFault(const std::string& api, DWORD error, unsigned nth) {
  S().faults[api].push_back(Injected{error, nth, 0});
}

void ClearFaults() { S().faults.clear(); }

unsigned CallCount(const std::string& api) {
  auto it = S().calls.find(api);
  return it == S().calls.end() ? 0 : it->second;
}

void SetTickCount(DWORD tick) { S().tickBase = tick - static_cast<DWORD>(S().now); }
void SetUserLangID(LANGID lang) { S().lang = lang; }
void SetAnsiCodePage(UINT codePage) { S().acp = codePage; }
void SetPlatformId(DWORD platformId) { S().platformId = platformId; }

}  // namespace winsim

DWORD WINAPI GetLastError(void) { return S().lastError; }
void WINAPI SetLastError(DWORD dwErrCode) { S().lastError = dwErrCode; }

DWORD WINAPI GetTickCount(void) { return S().tickBase + static_cast<DWORD>(S().now); }

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info) {
  if (!info) return Fail(FALSE, ERROR_INVALID_PARAMETER);
  if (DWORD e = Fault("GetVersionExA")) return Fail(FALSE, e);
  // OSVERSIONINFOEXA is 8 bytes longer; both sizes are accepted.
  if (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA) && info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA) + 8)
    return Fail(FALSE, ERROR_INSUFFICIENT_BUFFER);
  info->dwMajorVersion = 6;
  info->dwMinorVersion = 2;
  info->dwBuildNumber = 9200;
  info->dwPlatformId = S().platformId;
  info->szCSDVersion[0] = '\0';
  return TRUE;
}

LANGID WINAPI GetUserDefaultLangID(void) { return S().lang; }

int WINAPI lstrlenA(LPCSTR s) {
  if (!s) return 0;
  int n = 0;
  while (s[n]) ++n;
  return n;
}

int WINAPI lstrcmpiA(LPCSTR a, LPCSTR b) {
  if (!a || !b) return a ? 1 : (b ? -1 : 0);
  // The real call measures both strings whole before comparing; doing the same lets the
  // sanitizers see a read past an unterminated string even when the first bytes differ.
  volatile int lengths = lstrlenA(a) + lstrlenA(b);
  (void)lengths;
  for (;; ++a, ++b) {
    int ca = FoldCase(static_cast<unsigned char>(*a));
    int cb = FoldCase(static_cast<unsigned char>(*b));
    if (ca != cb) return ca < cb ? -1 : 1;
    if (!ca) return 0;
  }
}

namespace {

bool IsLeadByte932(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
bool IsTrailByte932(unsigned char c) { return c >= 0x40 && c <= 0xFC && c != 0x7F; }

// Code page 932 without its table: ASCII and the single-byte katakana map as in the code
// page, every double-byte character to a private-use character of its own, and a lead
// byte without its trail byte to the code page's default character, or to a failure.
bool Cp932ToWide(const unsigned char* src, int n, bool strict, std::vector<WCHAR>& out) {
  for (int i = 0; i < n; ++i) {
    const unsigned char c = src[i];
    if (IsLeadByte932(c)) {
      if (i + 1 < n && IsTrailByte932(src[i + 1])) {
        out.push_back(static_cast<WCHAR>(0xE000 + ((c << 8 | src[++i]) % 0x1900)));
        continue;
      }
      if (strict) return false;
      out.push_back(0x30FB);
    } else if (c >= 0xA1 && c <= 0xDF) {
      out.push_back(static_cast<WCHAR>(0xFF61 + (c - 0xA1)));
    } else {
      out.push_back(c);
    }
  }
  return true;
}

}  // namespace

BOOL WINAPI IsDBCSLeadByte(BYTE c) { return S().acp == 932 && IsLeadByte932(c); }

int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR src, int cbSrc, LPWSTR dst, int cchDst) {
  if (!src || cbSrc == 0 || cchDst < 0 || (cchDst && !dst)) return Fail(0, ERROR_INVALID_PARAMETER);
  if (DWORD e = Fault("MultiByteToWideChar")) return Fail(0, e);
  const int n = cbSrc < 0 ? lstrlenA(src) + 1 : cbSrc;
  const auto* bytes = reinterpret_cast<const unsigned char*>(src);
  std::vector<WCHAR> wide;
  if ((codePage == CP_ACP ? S().acp : codePage) == 932) {
    if (!Cp932ToWide(bytes, n, (flags & MB_ERR_INVALID_CHARS) != 0, wide))
      return Fail(0, ERROR_NO_UNICODE_TRANSLATION);
  } else {
    for (int i = 0; i < n; ++i) wide.push_back(Cp1252ToWide(bytes[i]));
  }
  const int cch = static_cast<int>(wide.size());
  if (cchDst == 0) return cch;
  if (cch > cchDst) return Fail(0, ERROR_INSUFFICIENT_BUFFER);
  std::copy(wide.begin(), wide.end(), dst);
  return cch;
}

void WINAPI Sleep(DWORD ms) { AdvanceNow(ms); }

BOOL WINAPI CloseHandle(HANDLE h) {
  if (DWORD e = Fault("CloseHandle")) return Fail(FALSE, e);
  auto& handles = S().handles;
  auto it = handles.find(reinterpret_cast<uintptr_t>(h));
  if (it == handles.end() || !it->second.kernel) return Fail(FALSE, ERROR_INVALID_HANDLE);
  HandleEntry entry = std::move(it->second);
  handles.erase(it);
  if (entry.closer) entry.closer(entry.object);
  return TRUE;
}
