// The driver's names and paths from the profile key, the driver's key and the model's
// INI file. Each look-up opens and closes its own keys; found paths are written back.
#include "profile/DriverPaths.h"

#include "base/RegUtil.h"
#include "base/Scoped.h"
#include "base/StrUtil.h"
#include "profile/Contracts.h"
#include "profile/LanguageProfile.h"

#include <cstring>

namespace {

constexpr const char FALLBACK_DIR[] = ".";

// What the profile key says about a model's INI file.
enum class ProfileRead { Found, NoKey, NoValue };

// The model's INI file path: the profile key's value named by the model id. An empty
// model id would read the key's default value, which belongs to no model.
ProfileRead ReadProfileIniPath(LPCSTR szModelID, char* szIniFile) {
  CRegKey hKey;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, REG_PROFILE_KEY, 0, KEY_READ, hKey.Receive()) != ERROR_SUCCESS)
    return ProfileRead::NoKey;
  if (!szModelID || !szModelID[0] || !RegReadString(hKey, szModelID, szIniFile, MAX_PATH)) return ProfileRead::NoValue;
  return ProfileRead::Found;
}

BOOL GetProfileIniPath(LPCSTR szModelID, char* szIniFile) {
  char szPath[MAX_PATH];
  if (ReadProfileIniPath(szModelID, szPath) != ProfileRead::Found || !szPath[0]) return FALSE;
  CopyStr(szIniFile, MAX_PATH, szPath);
  return TRUE;
}

// An INI name read into MAX_PATH characters. A length of 258 counts as absent, by the
// driver's convention. With this buffer a value that does not fit comes back
// cut to 259 characters, which cannot be told from one of exactly 259: both are refused,
// as no key path or file path built from 259 characters would fit either.
enum class ProfileName { Found, Absent, Refused };

ProfileName ReadProfileName(LPCSTR szSection, LPCSTR szKey, LPCSTR szIniFile, char* szValue) {
  const DWORD cch = GetPrivateProfileStringA(szSection, szKey, "", szValue, MAX_PATH, szIniFile);
  if (cch == 0 || cch == 258) return ProfileName::Absent;
  return cch < MAX_PATH - 1 ? ProfileName::Found : ProfileName::Refused;
}

// The driver name passed, or the one the profile gives for the model ("" if none).
// False only when the name passed does not fit.
BOOL ResolveDriverName(LPCSTR szDriverName, LPCSTR szModelID, char* szResolved) {
  szResolved[0] = '\0';
  if (szDriverName && szDriverName[0]) return CopyStr(szResolved, MAX_PATH, szDriverName);
  GetProfileDriverName(szModelID, szResolved);
  return TRUE;
}

BOOL FormatDriverKey(char* szKey, LPCSTR szDriverName) {
  return FormatStr(szKey, MAX_PATH, REG_DRIVER_KEY_FMT, REG_DRIVER_KEY_PREFIX, szDriverName ? szDriverName : "");
}

// Stores a found path in the key of the driver name as passed; failures are ignored,
// the next look-up then takes the slow way again.
void StoreDriverString(LPCSTR szDriverName, LPCSTR szValueName, LPCSTR szValue) {
  char szKey[MAX_PATH];
  if (FormatDriverKey(szKey, szDriverName)) SetHKLMString(szKey, szValueName, szValue);
}

// Joins the library's directory (the installation directory, else ".") and file name.
BOOL JoinLibraryPath(char* szPath, LPCSTR szDriverName, LPCSTR szModelID, LPCSTR szFileName) {
  char szDir[MAX_PATH] = {0};
  if (!GetInstallDir(szDir, szDriverName, szModelID)) CopyStr(szDir, FALLBACK_DIR);
  char szJoined[MAX_PATH];
  if (!FormatStr(szJoined, sizeof(szJoined), "%s%s", szDir, szFileName)) return FALSE;
  CopyStr(szPath, MAX_PATH, szJoined);
  return TRUE;
}

}  // namespace

BOOL GetProfileDriverName(LPCSTR szModelID, char* szDriverName) {
  if (!szModelID || !szModelID[0]) return FALSE;
  char szIniFile[MAX_PATH];
  if (!GetProfileIniPath(szModelID, szIniFile)) return FALSE;

  char szName[MAX_PATH];
  switch (ReadProfileName(INI_INSTALL_SECTION, INI_DRVNAME, szIniFile, szName)) {
    case ProfileName::Found:
      break;
    case ProfileName::Absent:
      if (!FormatStr(szName, sizeof(szName), "%s%s", DEFAULT_DRIVER_PREFIX, szModelID)) return FALSE;
      break;
    case ProfileName::Refused:
      return FALSE;
  }
  CopyStr(szDriverName, MAX_PATH, szName);
  return TRUE;
}

BOOL GetDriverRegString(char* szValue, LPCSTR szValueName, LPCSTR szDriverName, LPCSTR szModelID) {
  char szResolved[MAX_PATH];
  char szKey[MAX_PATH];
  if (!ResolveDriverName(szDriverName, szModelID, szResolved) || !FormatDriverKey(szKey, szResolved)) return FALSE;
  char szRead[MAX_PATH];
  if (!RegReadKeyString(HKEY_LOCAL_MACHINE, szKey, szValueName, szRead, sizeof(szRead))) return FALSE;
  CopyStr(szValue, MAX_PATH, szRead);
  return TRUE;
}

BOOL GetInstallDir(char* szDir, LPCSTR szDriverName, LPCSTR szModelID) {
  if (!szModelID) return FALSE;

  char szCandidate[MAX_PATH] = {0};
  if (GetDriverRegString(szCandidate, REG_INSTALL_PATH, szDriverName, szModelID) && szCandidate[0]) {
    const size_t cch = strlen(szCandidate);
    if (szCandidate[cch - 1] == '\\') szCandidate[cch - 1] = '\0';
  } else {
    szCandidate[0] = '\0';
    char szIniFile[MAX_PATH];
    switch (ReadProfileIniPath(szModelID, szIniFile)) {
      case ProfileRead::NoKey:
        break;
      case ProfileRead::NoValue:
        szDir[0] = '\0';
        return FALSE;
      case ProfileRead::Found:
        // The folder without its trailing separator.
        if (GetIniFileDir(szIniFile, szCandidate)) szCandidate[strlen(szCandidate) - 1] = '\0';
        break;
    }
  }

  if (!FileExists(szCandidate)) return FALSE;
  char szWithSlash[MAX_PATH];
  if (!FormatStr(szWithSlash, sizeof(szWithSlash), "%s\\", szCandidate)) return FALSE;
  StoreDriverString(szDriverName, REG_INSTALL_PATH, szCandidate);
  CopyStr(szDir, MAX_PATH, szWithSlash);
  return TRUE;
}

BOOL FileExists(LPCSTR szPath) {
  if (!szPath || !szPath[0]) return FALSE;
  WIN32_FIND_DATAA fd;
  CFindHandle hFind(FindFirstFileA(szPath, &fd));
  return hFind.IsValid();
}

BOOL SetHKLMString(LPCSTR szSubKey, LPCSTR szValueName, LPCSTR szValue) {
  CRegKey hKey;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, szSubKey, 0, KEY_ALL_ACCESS, hKey.Receive()) != ERROR_SUCCESS) return FALSE;
  const DWORD cbValue = static_cast<DWORD>(strlen(szValue) + 1);
  return RegSetValueExA(hKey, szValueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(szValue), cbValue) == ERROR_SUCCESS;
}

BOOL GetDriverFilePath(char* szPath, LPCSTR szValueName, LPCSTR szFileName, LPCSTR szDriverName, LPCSTR szModelID) {
  char szFound[MAX_PATH] = {0};
  if (!GetDriverRegString(szFound, szValueName, szDriverName, szModelID) || !szFound[0] || !FileExists(szFound)) {
    char szDir[MAX_PATH] = {0};
    if (!GetInstallDir(szDir, szDriverName, szModelID) || !szDir[0]) return FALSE;
    if (!FormatStr(szFound, sizeof(szFound), "%s%s", szDir, szFileName) || !FileExists(szFound)) return FALSE;
  }
  StoreDriverString(szDriverName, szValueName, szFound);
  CopyStr(szPath, MAX_PATH, szFound);
  return TRUE;
}

BOOL GetStatusProgramPath(char* szPath, LPCSTR szDriverName, LPCSTR szModelID) {
  return GetDriverFilePath(szPath, REG_STATUS_PROGRAM, STATUS_PROGRAM_FILE, szDriverName, szModelID);
}

BOOL GetPrnDllPath(char* szPath, LPCSTR szDriverName, LPCSTR szModelID) {
  char szIniFile[MAX_PATH];
  if (!GetProfileIniPath(szModelID, szIniFile)) return FALSE;
  char szResolved[MAX_PATH];
  if (!ResolveDriverName(szDriverName, szModelID, szResolved)) return FALSE;
  char szFileName[MAX_PATH];
  if (ReadProfileName(szModelID, INI_PRN_DLL, szIniFile, szFileName) != ProfileName::Found) return FALSE;
  return JoinLibraryPath(szPath, szResolved, szModelID, szFileName);
}

BOOL GetResDllPath(char* szPath, LPCSTR szDriverName, LPCSTR szModelID) {
  char szIniFile[MAX_PATH];
  if (!GetProfileIniPath(szModelID, szIniFile)) return FALSE;
  char szResolved[MAX_PATH];
  if (!ResolveDriverName(szDriverName, szModelID, szResolved)) return FALSE;
  char szFileName[MAX_PATH];
  const DWORD cchFileName = sizeof(szFileName);
  if (GetLanguageProfileString(INI_RES_DLL, szFileName, &cchFileName, szIniFile) != 0) return FALSE;
  return JoinLibraryPath(szPath, szResolved, szModelID, szFileName);
}

BOOL GetIniFileDir(LPCSTR szIniFile, char* szDir) {
  if (!szIniFile || !szIniFile[0]) return FALSE;
  const char* pszLastSeparator = nullptr;
  for (const char* p = szIniFile; *p; ++p)
    if (*p == '\\' || *p == '/') pszLastSeparator = p;

  char szFolder[MAX_PATH];
  if (pszLastSeparator) {
    const size_t cchFolder = static_cast<size_t>(pszLastSeparator - szIniFile) + 1;
    if (!CopyStrN(szFolder, sizeof(szFolder), szIniFile, cchFolder)) return FALSE;
  } else {
    if (strchr(szIniFile, ':')) return FALSE;
    // The profile calls look for a bare file name in the Windows folder.
    char szWindows[MAX_PATH];
    const UINT cch = GetWindowsDirectoryA(szWindows, sizeof(szWindows));
    if (cch == 0 || cch >= sizeof(szWindows)) return FALSE;
    if (!FormatStr(szFolder, sizeof(szFolder), "%s\\", szWindows)) return FALSE;
  }
  CopyStr(szDir, MAX_PATH, szFolder);
  return TRUE;
}
