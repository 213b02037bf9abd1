// Monitored targets: look-up by name, the purge of targets whose printer is gone, the
// claim of the lowest free number through key creation, and the printer library's
// defaults. Keys are opened and closed within each step.
#include "targets/TargetRegistry.h"

#include "base/RegUtil.h"
#include "base/Scoped.h"
#include "base/StrUtil.h"
#include "cmdline/OpenPrinterByName.h"
#include "profile/Contracts.h"
#include "profile/DriverPaths.h"

#include <winspool.h>

#include <cstring>
#include <memory>
#include <new>

namespace {

// Results of CreateTargetKey besides 0 and 1.
const int CREATE_NAME_NOT_WRITTEN = 2;
const int CREATE_SUBKEY_FAILED = 3;
const int CREATE_FAMILY_FAILED = 4;

const int LAST_TARGET_NUMBER = 2147483646;
const DWORD TARGET_SETTING_NEW = 0;
const DWORD TARGET_SETTING_DELETED = 255;
const DWORD TARGET_TIMER_NEW = 10;

constexpr const char TARGET_PATH_FMT[] = "%s\\%s";
constexpr const char TARGET_NUMBERED_PATH_FMT[] = "%s\\P%016d";

PFN_PrSetRegDefaultValue ToPrSetRegDefaultValue(FARPROC pfn) {
  // Through void (*)(), the one function pointer type -Wcast-function-type lets through.
  return reinterpret_cast<PFN_PrSetRegDefaultValue>(reinterpret_cast<void (*)()>(pfn));
}

LSTATUS SetDword(HKEY hKey, LPCSTR szValueName, DWORD dwValue) {
  return RegSetValueExA(hKey, szValueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwValue), sizeof(dwValue));
}

// Reads a target's "Name"; false when it is missing, not a string, too long or empty.
bool ReadTargetName(HKEY hKey, char* szName) {
  return RegReadString(hKey, REG_TARGET_NAME, szName, MAX_PATH) && szName[0];
}

// The names of a key's subkeys as they are when called, so that deleting some of them
// while walking the list neither skips nor repeats one. Each name takes MAX_PATH chars.
class CSubKeyList {
public:
  // False when the names cannot be held.
  bool Read(HKEY hKey) {
    DWORD nKeys = 0;
    char szName[MAX_PATH];
    while (EnumName(hKey, nKeys, szName)) ++nKeys;
    if (nKeys == 0) return true;
    m_pNames.reset(new (std::nothrow) char[static_cast<size_t>(nKeys) * MAX_PATH]());
    if (!m_pNames) return false;
    // Keys added since the count are left for the next walk.
    while (m_nKeys < nKeys && EnumName(hKey, m_nKeys, Name(m_nKeys))) ++m_nKeys;
    return true;
  }
  DWORD Count() const { return m_nKeys; }
  char* Name(DWORD i) { return m_pNames.get() + static_cast<size_t>(i) * MAX_PATH; }

private:
  // The walk ends at the end of the list or at an empty name.
  static bool EnumName(HKEY hKey, DWORD nIndex, char* szName) {
    DWORD cchName = MAX_PATH;
    return RegEnumKeyExA(hKey, nIndex, szName, &cchName, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
           szName[0];
  }

  std::unique_ptr<char[]> m_pNames;
  DWORD m_nKeys = 0;
};

int DeleteKeyTree(LPCSTR szKeyPath) {
  CRegKey hKey;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, szKeyPath, 0, KEY_ALL_ACCESS, hKey.Receive()) != ERROR_SUCCESS) return -1;
  // Always index 0 again: each deletion moves the next subkey there.
  for (;;) {
    char szSubKey[MAX_PATH];
    DWORD cchSubKey = sizeof(szSubKey);
    if (RegEnumKeyExA(hKey, 0, szSubKey, &cchSubKey, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    char szSubPath[MAX_PATH];
    if (!FormatStr(szSubPath, sizeof(szSubPath), TARGET_PATH_FMT, szKeyPath, szSubKey)) return -1;
    if (DeleteKeyTree(szSubPath) != 0) return -1;
  }
  return RegDeleteKeyA(HKEY_CURRENT_USER, szKeyPath) == ERROR_SUCCESS ? 0 : -1;
}

// Marks a printer-name target as deleted, then removes it with everything below it.
int DeleteTarget(LPCSTR szKeyPath) {
  {
    CRegKey hKey;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, szKeyPath, 0, KEY_ALL_ACCESS, hKey.Receive()) != ERROR_SUCCESS) return -1;
    SetDword(hKey, REG_TARGET_SETTING, TARGET_SETTING_DELETED);
  }
  DeleteKeyTree(szKeyPath);
  return 0;
}

// Whether a printer is known to be gone: the spooler does not know its name, or its
// record has no driver or no print processor. A spooler that cannot be reached, or
// refuses access, proves nothing and keeps the target. The error is read straight after
// the open, before anything (a log line) can overwrite it.
bool IsPrinterGone(char* szPrinterName) {
  CPrinterHandle hPrinter;
  if (!OpenPrinterByName(szPrinterName, hPrinter.Receive(), nullptr))
    return GetLastError() == ERROR_INVALID_PRINTER_NAME;

  // A record that cannot be read proves nothing either.
  std::unique_ptr<BYTE[]> pBlock = ReadPrinterInfo2(hPrinter);
  if (!pBlock) return false;
  const PRINTER_INFO_2A* pInfo = reinterpret_cast<const PRINTER_INFO_2A*>(pBlock.get());
  return !pInfo->pDriverName || !pInfo->pPrintProcessor;
}

// A target that cannot be opened is never stale: it is left alone.
bool IsStalePrinterTarget(HKEY hFamily, LPCSTR szSubKey) {
  CRegKey hKey;
  if (RegOpenKeyExA(hFamily, szSubKey, 0, KEY_ALL_ACCESS, hKey.Receive()) != ERROR_SUCCESS) return false;
  char szName[MAX_PATH];
  return !ReadTargetName(hKey, szName) || IsPrinterGone(szName);
}

bool IsNamelessTarget(HKEY hFamily, LPCSTR szSubKey) {
  CRegKey hKey;
  if (RegOpenKeyExA(hFamily, szSubKey, 0, KEY_ALL_ACCESS, hKey.Receive()) != ERROR_SUCCESS) return false;
  char szName[MAX_PATH];
  return !ReadTargetName(hKey, szName);
}

int PurgeStaleTargets() {
  {
    CRegKey hFamily;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, REG_VQL_TARGET_KEY, 0, KEY_ALL_ACCESS, hFamily.Receive()) != ERROR_SUCCESS)
      return -1;
    CSubKeyList subKeys;
    if (subKeys.Read(hFamily)) {
      for (DWORD i = 0; i < subKeys.Count(); ++i) {
        // The target's key is closed again before it is deleted.
        if (!IsStalePrinterTarget(hFamily, subKeys.Name(i))) continue;
        char szPath[MAX_PATH];
        if (FormatStr(szPath, sizeof(szPath), TARGET_PATH_FMT, REG_VQL_TARGET_KEY, subKeys.Name(i)))
          DeleteTarget(szPath);
      }
    }
  }

  CRegKey hFamily;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, REG_VQN_TARGET_KEY, 0, KEY_ALL_ACCESS, hFamily.Receive()) != ERROR_SUCCESS)
    return -1;
  CSubKeyList subKeys;
  if (subKeys.Read(hFamily)) {
    // Port-name targets are not checked against the spooler; only nameless ones go.
    for (DWORD i = 0; i < subKeys.Count(); ++i) {
      if (!IsNamelessTarget(hFamily, subKeys.Name(i))) continue;
      char szPath[MAX_PATH];
      if (FormatStr(szPath, sizeof(szPath), TARGET_PATH_FMT, REG_VQN_TARGET_KEY, subKeys.Name(i)))
        DeleteKeyTree(szPath);
    }
  }
  return 0;
}

// Claims the lowest free number in the family: only a newly created key is ours, so a
// process adding a target at the same moment moves on to the next number.
int CreateTargetKey(LPCSTR szName, LPCSTR szFamilyKey, char* szKeyPath) {
  char szClass[] = "";
  CRegKey hFamily;
  if (RegCreateKeyExA(HKEY_CURRENT_USER,
                      szFamilyKey,
                      0,
                      szClass,
                      REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS,
                      nullptr,
                      hFamily.Receive(),
                      nullptr) != ERROR_SUCCESS)
    return CREATE_FAMILY_FAILED;

  for (int nNumber = 0; nNumber <= LAST_TARGET_NUMBER; ++nNumber) {
    char szPath[MAX_PATH];
    if (!FormatStr(szPath, sizeof(szPath), TARGET_NUMBERED_PATH_FMT, szFamilyKey, nNumber)) return CREATE_SUBKEY_FAILED;
    CRegKey hKey;
    DWORD dwDisposition = 0;
    if (RegCreateKeyExA(HKEY_CURRENT_USER,
                        szPath,
                        0,
                        szClass,
                        REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS,
                        nullptr,
                        hKey.Receive(),
                        &dwDisposition) != ERROR_SUCCESS)
      return CREATE_SUBKEY_FAILED;
    if (dwDisposition != REG_CREATED_NEW_KEY) continue;

    const DWORD cbName = static_cast<DWORD>(strlen(szName) + 1);
    if (RegSetValueExA(hKey, REG_TARGET_NAME, 0, REG_SZ, reinterpret_cast<const BYTE*>(szName), cbName) !=
        ERROR_SUCCESS)
      return CREATE_NAME_NOT_WRITTEN;
    CopyStr(szKeyPath, MAX_PATH, szPath);
    SetDword(hKey, REG_TARGET_SETTING, TARGET_SETTING_NEW);
    SetDword(hKey, REG_TARGET_TIMER, TARGET_TIMER_NEW);
    DWORD dwSetting = TARGET_SETTING_DELETED;
    return RegReadRaw4(hKey, REG_TARGET_SETTING, &dwSetting) && dwSetting == TARGET_SETTING_NEW ? 0 : 1;
  }
  return 1;
}

// Lets the printer library fill a new target with the driver's defaults. *pbCalled says
// whether the library ran: its own results share numbers with "not loaded" and "no export".
int SetLibraryDefaults(LPCSTR szPrinterName, LPCSTR szPortName, LPCSTR szModelID, bool* pbCalled) {
  *pbCalled = false;
  char szDriverName[MAX_PATH] = {0};
  char szPrnDll[MAX_PATH] = {0};
  GetProfileDriverName(szModelID, szDriverName);
  GetPrnDllPath(szPrnDll, szDriverName, szModelID);

  CLibrary hLibrary(LoadLibraryA(szPrnDll));
  if (!hLibrary.IsValid()) return TARGET_NO_LIBRARY;
  PFN_PrSetRegDefaultValue pfnSetDefaults = ToPrSetRegDefaultValue(GetProcAddress(hLibrary, PR_SET_REG_DEFAULT_VALUE));
  if (!pfnSetDefaults) return TARGET_NO_EXPORT;
  *pbCalled = true;
  return pfnSetDefaults(szPrinterName, szDriverName, szPortName, szModelID, 0, 0, 0);
}

int AddTarget(LPCSTR szPrinterName, LPCSTR szPortName, LPCSTR szModelID, int nNameKind, char* szKeyPath) {
  PurgeStaleTargets();
  const int nCreated = nNameKind == 1 ? CreateTargetKey(szPortName, REG_VQN_TARGET_KEY, szKeyPath)
                                      : CreateTargetKey(szPrinterName, REG_VQL_TARGET_KEY, szKeyPath);
  if (nCreated != 0) return TARGET_NOT_CREATED;

  bool bCalled = false;
  const int nResult = SetLibraryDefaults(szPrinterName, szPortName, szModelID, &bCalled);
  if (!bCalled) {
    // A library that cannot serve now (locked during a driver update, of the other
    // bitness) must not leave a target without its defaults, which would read as
    // switched off for good: the next start makes the target afresh.
    DeleteKeyTree(szKeyPath);
    szKeyPath[0] = '\0';
  }
  return nResult;
}

}  // namespace

int GetTargetKey(LPCSTR szPrinterName, LPCSTR szPortName, LPCSTR szModelID, int* pnNameKind, char* szKeyPath) {
  const bool bPortName = !szPrinterName[0] && szPortName[0];
  *pnNameKind = bPortName ? 1 : 0;
  if (FindTargetKey(bPortName ? szPortName : szPrinterName, bPortName, szKeyPath) == TARGET_FOUND) return TARGET_OK;
  return AddTarget(szPrinterName, szPortName, szModelID, *pnNameKind, szKeyPath);
}

int FindTargetKey(LPCSTR szTargetName, BOOL bPortName, char* szKeyPath) {
  LPCSTR szFamilyKey = bPortName ? REG_VQN_TARGET_KEY : REG_VQL_TARGET_KEY;
  CRegKey hFamily;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, szFamilyKey, 0, KEY_READ, hFamily.Receive()) != ERROR_SUCCESS)
    return TARGET_NO_FAMILY;

  for (DWORD nIndex = 0;; ++nIndex) {
    char szSubKey[MAX_PATH];
    DWORD cchSubKey = sizeof(szSubKey);
    if (RegEnumKeyExA(hFamily, nIndex, szSubKey, &cchSubKey, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS ||
        !szSubKey[0])
      return TARGET_NO_MATCH;
    CRegKey hKey;
    if (RegOpenKeyExA(hFamily, szSubKey, 0, KEY_READ, hKey.Receive()) != ERROR_SUCCESS) continue;
    char szName[MAX_PATH];
    if (!RegReadString(hKey, REG_TARGET_NAME, szName, sizeof(szName)) || lstrcmpiA(szName, szTargetName) != 0) continue;
    char szPath[MAX_PATH];
    if (!FormatStr(szPath, sizeof(szPath), TARGET_PATH_FMT, szFamilyKey, szSubKey)) continue;
    CopyStr(szKeyPath, MAX_PATH, szPath);
    return TARGET_FOUND;
  }
}
