// Debug log: registry switch, one stamped line per call.
#include "app/DebugLog.h"

#include "base/RegUtil.h"
#include "base/Scoped.h"
#include "base/StrUtil.h"
#include "profile/Contracts.h"

#include <share.h>

#include <cstring>

int g_bDebugLog = 0;
FILE* g_pLogFile = nullptr;
char g_szLogPath[MAX_PATH] = {0};

namespace {

// The tick goes through a 32-bit signed value, so after 24.8 days of uptime it prints
// negative on every platform, as the log format has always shown it.
long LogTick() { return static_cast<long>(static_cast<LONG>(GetTickCount())); }

bool OpenLog() {
  g_pLogFile = _fsopen(g_szLogPath, "a+", _SH_DENYNO);
  return g_pLogFile != nullptr;
}

int CloseLog() {
  fclose(g_pLogFile);
  g_pLogFile = nullptr;
  return 1;
}

}  // namespace

int DebugLogInit(const char* pszPath, const char* pszValueName) {
  g_bDebugLog = 0;
  g_pLogFile = nullptr;
  memset(g_szLogPath, 0, sizeof(g_szLogPath));
  if (!pszPath || !*pszPath) return 0;
  // A cut path would name another file: a path that does not fit leaves the log off.
  if (!CopyStr(g_szLogPath, pszPath)) {
    memset(g_szLogPath, 0, sizeof(g_szLogPath));
    return 0;
  }

  CRegKey hKey;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, REG_DEBUG_KEY, 0, KEY_READ, hKey.Receive()) != ERROR_SUCCESS) return 0;
  DWORD dwSwitch = 0;
  // The value's type is not looked at: any non-zero data of at most 4 bytes switches it on.
  if (!RegReadRaw4(hKey, pszValueName, &dwSwitch) || dwSwitch == 0) return 0;
  g_bDebugLog = 1;
  return 1;
}

int DebugLogWrite(const char* pszText) {
  if (!g_bDebugLog || !pszText) return 0;
  if (!OpenLog()) return 0;
  fprintf(g_pLogFile, "%10ld : %s\n", LogTick(), pszText);
  return CloseLog();
}

int DebugLogWriteStr(const char* pszLabel, const char* pszText) {
  if (!g_bDebugLog || !pszLabel || !pszText) return 0;
  if (!OpenLog()) return 0;
  fprintf(g_pLogFile, "%10ld : %s : %s\n", LogTick(), pszLabel, pszText);
  return CloseLog();
}

int DebugLogWriteInt(const char* pszLabel, int nValue) {
  if (!g_bDebugLog || !pszLabel) return 0;
  if (!OpenLog()) return 0;
  fprintf(g_pLogFile, "%10ld : %s : %d\n", LogTick(), pszLabel, nValue);
  return CloseLog();
}

int DebugLogClose() {
  if (g_pLogFile) CloseLog();
  return 1;
}
