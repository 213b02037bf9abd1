/* The package's own custom actions, carried inside the package (not installed). Each says
 * in the install log what it did or why it failed (INSTALLMESSAGE_INFO lines).
 *   RestoreSettings     immediate: PRINTER, DRIVER, PORT from the values the installed
 *                       package saved, where not given (always in maintenance); DRIVER
 *                       falls back to DefaultDriver
 *   CheckSettings       immediate: refuses names the parameter file or the keys cannot carry
 *   WaitForResident     immediate, after CloseResident: waits (10 s at most) until the
 *                       installed resident runs no more
 *   CheckResidentStart  immediate, after ExecuteAction: ResidentStart=1 unless elevated
 *   WriteTextFile       deferred or rollback; CustomActionData: the file's path, a line
 *                       feed, then the file's bytes (ANSI, as the resident reads them);
 *                       as rollback it first makes the file's folders again if missing
 *   DeleteFiles         deferred or rollback; CustomActionData: paths, one per line (a
 *                       missing file is no error)
 *   FailWhenDeferred    deferred: fails the installation on purpose (rollback tests) */
#include <windows.h>

#include <msi.h>
#include <msiquery.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

/* The names the package passes to the resident: each with its saved value's property and
 * name in the setup key, and the longest accepted. The resident reads a name into 260
 * bytes; a driver name must also leave room in "software\OLMAR\PRW3\Driver\<name>\Menu",
 * the longest key path the resident builds in 260 bytes. */
typedef struct {
  const char* pszProperty;
  const char* pszSavedProperty;
  const char* pszSavedValue;
  size_t cchMax;
  BOOL bNamesKeys;
} SETTING;

static const SETTING g_aSettings[] = {
    {"PRINTER", "INSTALLED_PRINTER", "Printer", MAX_PATH - 1, FALSE},
    {"DRIVER",
     "INSTALLED_DRIVER",
     "Driver",
     MAX_PATH - 1 - (sizeof("software\\OLMAR\\PRW3\\Driver\\\\Menu") - 1),
     TRUE},
    {"PORT", "INSTALLED_PORT", "Port", MAX_PATH - 1, FALSE},
};
#define SETTING_COUNT (sizeof(g_aSettings) / sizeof(g_aSettings[0]))

static void LogMessage(MSIHANDLE hInstall, INSTALLMESSAGE eType, const char* pszFormat, va_list args) {
  char szText[2048];
  vsnprintf(szText, sizeof(szText), pszFormat, args);
  szText[sizeof(szText) - 1] = '\0';
  /* The text goes in as field 1: a template would take its brackets for properties. */
  MSIHANDLE hRecord = MsiCreateRecord(1);
  if (!hRecord) return;
  MsiRecordSetStringA(hRecord, 0, "[1]");
  MsiRecordSetStringA(hRecord, 1, szText);
  MsiProcessMessage(hInstall, eType, hRecord);
  MsiCloseHandle(hRecord);
}

/* A line in the install log. */
static void Log(MSIHANDLE hInstall, const char* pszFormat, ...) {
  va_list args;
  va_start(args, pszFormat);
  LogMessage(hInstall, INSTALLMESSAGE_INFO, pszFormat, args);
  va_end(args);
}

/* An error: shown to the user with a user interface, and logged. */
static void LogError(MSIHANDLE hInstall, const char* pszFormat, ...) {
  va_list args;
  va_start(args, pszFormat);
  LogMessage(hInstall, (INSTALLMESSAGE)(INSTALLMESSAGE_ERROR | MB_OK | MB_ICONERROR), pszFormat, args);
  va_end(args);
}

/* A property's value in a heap block (free with HeapFree), "" when unset; NULL on failure.
 * The ANSI call may count characters where it needs bytes: it is asked again until the
 * value fits. */
static char* GetProperty(MSIHANDLE hInstall, const char* pszName) {
  char szEmpty[1] = "";
  DWORD cch = 0;
  UINT result = MsiGetPropertyA(hInstall, pszName, szEmpty, &cch);
  if (result == ERROR_SUCCESS) return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, 1);
  for (DWORD cbBuffer = 2 * (cch + 1); result == ERROR_MORE_DATA && cbBuffer < 0x10000000; cbBuffer *= 2) {
    char* pszValue = HeapAlloc(GetProcessHeap(), 0, cbBuffer);
    if (!pszValue) return NULL;
    cch = cbBuffer;
    result = MsiGetPropertyA(hInstall, pszName, pszValue, &cch);
    if (result == ERROR_SUCCESS) return pszValue;
    HeapFree(GetProcessHeap(), 0, pszValue);
  }
  return NULL;
}

static void FreeString(char* psz) {
  if (psz) HeapFree(GetProcessHeap(), 0, psz);
}

/* A REG_SZ or REG_EXPAND_SZ value, unexpanded, in a heap block, or NULL (*plResult then
 * says why: ERROR_FILE_NOT_FOUND, ERROR_UNSUPPORTED_TYPE for another type, or the read's
 * error). */
static char* ReadRegString(HKEY hKey, const char* pszName, LONG* plResult) {
  DWORD dwType = 0;
  DWORD cb = 0;
  *plResult = RegQueryValueExA(hKey, pszName, NULL, &dwType, NULL, &cb);
  if (*plResult != ERROR_SUCCESS) return NULL;
  if (dwType != REG_SZ && dwType != REG_EXPAND_SZ) {
    *plResult = ERROR_UNSUPPORTED_TYPE;
    return NULL;
  }
  /* The spare byte ends data stored without its terminator. */
  char* pszValue = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, cb + 1);
  if (!pszValue) {
    *plResult = ERROR_NOT_ENOUGH_MEMORY;
    return NULL;
  }
  *plResult = RegQueryValueExA(hKey, pszName, NULL, &dwType, (BYTE*)pszValue, &cb);
  if (*plResult != ERROR_SUCCESS || (dwType != REG_SZ && dwType != REG_EXPAND_SZ)) {
    if (*plResult == ERROR_SUCCESS) *plResult = ERROR_UNSUPPORTED_TYPE;
    FreeString(pszValue);
    return NULL;
  }
  return pszValue;
}

static BOOL PropertyIsSet(MSIHANDLE hInstall, const char* pszName) {
  char* pszValue = GetProperty(hInstall, pszName);
  const BOOL bSet = pszValue && pszValue[0];
  FreeString(pszValue);
  return bSet;
}

/* The saved values are read here, not by AppSearch: a raw registry search returns a
 * string that starts with "#" with a second "#" before it. The package saves them as
 * REG_EXPAND_SZ (a name starting with "#" stays a string so); a REG_SZ of an earlier
 * version counts alike, and neither is expanded. */
UINT __stdcall RestoreSettings(MSIHANDLE hInstall) {
  const BOOL bMaintenance = PropertyIsSet(hInstall, "Installed");
  char* pszKey = GetProperty(hInstall, "SetupKey");
  if (!pszKey || !pszKey[0]) {
    Log(hInstall, "RestoreSettings: the package names no setup key");
    FreeString(pszKey);
    return ERROR_INSTALL_FAILURE;
  }
  HKEY hKey = NULL;
  const LONG lOpen = RegOpenKeyExA(HKEY_LOCAL_MACHINE, pszKey, 0, KEY_QUERY_VALUE, &hKey);
  if (lOpen != ERROR_SUCCESS) {
    hKey = NULL;
    Log(hInstall, "RestoreSettings: no saved settings (HKLM\\%s: error %ld)", pszKey, lOpen);
  }

  UINT result = ERROR_SUCCESS;
  for (size_t i = 0; i < SETTING_COUNT && result == ERROR_SUCCESS; ++i) {
    const SETTING* pSetting = &g_aSettings[i];
    LONG lRead = ERROR_FILE_NOT_FOUND;
    char* pszSaved = hKey ? ReadRegString(hKey, pSetting->pszSavedValue, &lRead) : NULL;
    char* pszGiven = GetProperty(hInstall, pSetting->pszProperty);
    if (!pszGiven) {
      Log(hInstall, "RestoreSettings: cannot read the property %s", pSetting->pszProperty);
      result = ERROR_INSTALL_FAILURE;
    } else if (pszSaved && (bMaintenance || !pszGiven[0])) {
      if (pszGiven[0] && strcmp(pszGiven, pszSaved) != 0)
        Log(hInstall,
            "RestoreSettings: %s=\"%s\" is ignored: an installed package keeps the names it was installed with",
            pSetting->pszProperty,
            pszGiven);
      Log(hInstall, "RestoreSettings: %s=\"%s\", saved by the installed package", pSetting->pszProperty, pszSaved);
      if (MsiSetPropertyA(hInstall, pSetting->pszProperty, pszSaved) != ERROR_SUCCESS) result = ERROR_INSTALL_FAILURE;
    } else if (pszGiven[0]) {
      Log(hInstall, "RestoreSettings: %s=\"%s\", as given", pSetting->pszProperty, pszGiven);
    } else {
      Log(hInstall,
          "RestoreSettings: %s is neither given nor saved (HKLM\\%s, %s: error %ld)",
          pSetting->pszProperty,
          pszKey,
          pSetting->pszSavedValue,
          lRead);
    }
    if (pszSaved && MsiSetPropertyA(hInstall, pSetting->pszSavedProperty, pszSaved) != ERROR_SUCCESS)
      result = ERROR_INSTALL_FAILURE;
    FreeString(pszSaved);
    FreeString(pszGiven);
  }
  if (hKey) RegCloseKey(hKey);
  FreeString(pszKey);

  if (result == ERROR_SUCCESS && !PropertyIsSet(hInstall, "DRIVER")) {
    char* pszDefault = GetProperty(hInstall, "DefaultDriver");
    if (pszDefault && pszDefault[0] && MsiSetPropertyA(hInstall, "DRIVER", pszDefault) == ERROR_SUCCESS)
      Log(hInstall, "RestoreSettings: DRIVER=\"%s\", the default", pszDefault);
    else
      result = ERROR_INSTALL_FAILURE;
    FreeString(pszDefault);
  }
  if (result != ERROR_SUCCESS) Log(hInstall, "RestoreSettings: failed");
  return result;
}

/* Why a name cannot be installed, or NULL. szWhy receives the reason. */
static const char* RefusalOf(const SETTING* pSetting, const char* pszValue, char* szWhy, size_t cchWhy) {
  const size_t cch = strlen(pszValue);
  if (strchr(pszValue, '"'))
    return "it holds a double quote (\"), which would end the quoted name in the start-up entry's parameter file";
  for (const unsigned char* p = (const unsigned char*)pszValue; *p; ++p)
    if (*p < 0x20)
      return "it holds a line break or another control character, which would split the parameter file's line";
  if (pSetting->bNamesKeys && strchr(pszValue, '\\'))
    return "it holds a backslash, which would make a subkey of the driver's registry key";
  if (cch > pSetting->cchMax) {
    snprintf(szWhy,
             cchWhy,
             "it is %u characters long, and at most %u are accepted",
             (unsigned)cch,
             (unsigned)pSetting->cchMax);
    return szWhy;
  }
  return NULL;
}

UINT __stdcall CheckSettings(MSIHANDLE hInstall) {
  BOOL bRefused = FALSE;
  for (size_t i = 0; i < SETTING_COUNT; ++i) {
    const SETTING* pSetting = &g_aSettings[i];
    char* pszValue = GetProperty(hInstall, pSetting->pszProperty);
    if (!pszValue) {
      Log(hInstall, "CheckSettings: cannot read the property %s", pSetting->pszProperty);
      return ERROR_INSTALL_FAILURE;
    }
    char szWhy[128];
    const char* pszWhy = RefusalOf(pSetting, pszValue, szWhy, sizeof(szWhy));
    if (pszWhy) {
      LogError(hInstall, "%s=\"%s\" is refused: %s. Nothing was changed.", pSetting->pszProperty, pszValue, pszWhy);
      bRefused = TRUE;
    }
    FreeString(pszValue);
  }
  if (bRefused) return ERROR_INSTALL_FAILURE;
  Log(hInstall, "CheckSettings: PRINTER, DRIVER and PORT accepted");
  return ERROR_SUCCESS;
}

/* How long WaitForResident waits for the resident's program to be free. */
#define RESIDENT_WAIT_MS 10000

/* After CloseResident (the resident's /R, which asks the resident to close and returns at
 * once): waits until no process runs the installed resident any more, so that the files
 * are not found in use. A resident that stays (another session's, or one started by hand
 * for another printer) is left to the Restart Manager, or to a restart. Always succeeds. */
UINT __stdcall WaitForResident(MSIHANDLE hInstall) {
  /* The installed file's path: "[#<file key>]", the key in ResidentFileKey. */
  char szPath[MAX_PATH] = "";
  char* pszKey = GetProperty(hInstall, "ResidentFileKey");
  MSIHANDLE hRecord = MsiCreateRecord(1);
  if (pszKey && pszKey[0] && hRecord) {
    char szTemplate[MAX_PATH];
    DWORD cch = sizeof(szPath);
    snprintf(szTemplate, sizeof(szTemplate), "[#%s]", pszKey);
    MsiRecordSetStringA(hRecord, 0, szTemplate);
    if (MsiFormatRecordA(hInstall, hRecord, szPath, &cch) != ERROR_SUCCESS) szPath[0] = '\0';
  }
  if (hRecord) MsiCloseHandle(hRecord);
  FreeString(pszKey);
  if (!szPath[0]) {
    Log(hInstall, "WaitForResident: the resident's path is unknown");
    return ERROR_SUCCESS;
  }
  /* A running program's file cannot be opened for writing. */
  const DWORD dwStart = GetTickCount();
  for (;;) {
    HANDLE hFile = CreateFileA(
        szPath, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, OPEN_EXISTING, 0, NULL);
    const DWORD dwError = hFile == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
    if (hFile != INVALID_HANDLE_VALUE) CloseHandle(hFile);
    const DWORD dwElapsed = GetTickCount() - dwStart;
    if (dwError != ERROR_SHARING_VIOLATION) {
      Log(hInstall, "WaitForResident: %s is not in use (after %lu ms; error %lu)", szPath, dwElapsed, dwError);
      return ERROR_SUCCESS;
    }
    if (dwElapsed >= RESIDENT_WAIT_MS) {
      Log(hInstall,
          "WaitForResident: %s is still in use after %lu ms: a resident of another session, or one not "
          "started by the start-up entry; the Restart Manager closes it, or a restart replaces the file",
          szPath,
          dwElapsed);
      return ERROR_SUCCESS;
    }
    Sleep(100);
  }
}

/* The resident must never run with an administrator's full token: every program its menu
 * starts would run elevated too. This runs in the installing user's own process (the user
 * interface sequence), so its token is the one a started resident would get. */
UINT __stdcall CheckResidentStart(MSIHANDLE hInstall) {
  BOOL bElevated = TRUE; /* unknown counts as elevated */
  HANDLE hToken = NULL;
  if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &hToken)) {
    TOKEN_ELEVATION elevation = {0};
    DWORD cb = 0;
    if (GetTokenInformation(hToken, TokenElevation, &elevation, sizeof(elevation), &cb))
      bElevated = elevation.TokenIsElevated != 0;
    CloseHandle(hToken);
  }
  if (bElevated) {
    Log(hInstall,
        "CheckResidentStart: the installer runs elevated: the resident is not started now but at the "
        "next log-on, with the user's own token");
    return ERROR_SUCCESS;
  }
  Log(hInstall, "CheckResidentStart: the installer runs with the user's own token: the resident starts now");
  return MsiSetPropertyA(hInstall, "ResidentStart", "1") == ERROR_SUCCESS ? ERROR_SUCCESS : ERROR_INSTALL_FAILURE;
}

/* Creates the folders of a file's path that are missing. */
static void CreateFolders(MSIHANDLE hInstall, const char* pszFile) {
  char szFolder[MAX_PATH];
  const size_t cch = strlen(pszFile);
  if (cch >= sizeof(szFolder)) return;
  memcpy(szFolder, pszFile, cch + 1);
  char* pszLast = strrchr(szFolder, '\\');
  if (!pszLast) return;
  *pszLast = '\0';
  if (GetFileAttributesA(szFolder) != INVALID_FILE_ATTRIBUTES) return;
  CreateFolders(hInstall, szFolder);
  if (CreateDirectoryA(szFolder, NULL)) Log(hInstall, "WriteTextFile (rollback): created %s", szFolder);
}

UINT __stdcall WriteTextFile(MSIHANDLE hInstall) {
  const BOOL bRollback = MsiGetMode(hInstall, MSIRUNMODE_ROLLBACK);
  const char* pszMode = bRollback ? " (rollback)" : "";
  char* pData = GetProperty(hInstall, "CustomActionData");
  char* pText = pData ? strchr(pData, '\n') : NULL;
  if (!pText) {
    Log(hInstall, "WriteTextFile%s: its data names no file", pszMode);
    FreeString(pData);
    return ERROR_INSTALL_FAILURE;
  }
  *pText++ = '\0';
  /* A rollback may come before the folder's own is undone. */
  if (bRollback) CreateFolders(hInstall, pData);
  const DWORD cbText = (DWORD)strlen(pText);
  UINT result = ERROR_INSTALL_FAILURE;
  HANDLE hFile = CreateFileA(pData, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (hFile == INVALID_HANDLE_VALUE) {
    Log(hInstall, "WriteTextFile%s: cannot create %s: error %lu", pszMode, pData, GetLastError());
  } else {
    DWORD cbWritten = 0;
    const BOOL bWritten = WriteFile(hFile, pText, cbText, &cbWritten, NULL) && cbWritten == cbText;
    const DWORD dwError = bWritten ? 0 : GetLastError();
    if (CloseHandle(hFile) && bWritten) {
      Log(hInstall, "WriteTextFile%s: wrote %s (%lu bytes)", pszMode, pData, cbText);
      result = ERROR_SUCCESS;
    } else {
      Log(hInstall, "WriteTextFile%s: cannot write %s: error %lu", pszMode, pData, dwError ? dwError : GetLastError());
    }
  }
  FreeString(pData);
  return result;
}

static void DeleteLogged(MSIHANDLE hInstall, const char* pszMode, const char* pszPath) {
  if (DeleteFileA(pszPath)) {
    Log(hInstall, "DeleteFiles%s: deleted %s", pszMode, pszPath);
    return;
  }
  const DWORD dwError = GetLastError();
  if (dwError == ERROR_FILE_NOT_FOUND || dwError == ERROR_PATH_NOT_FOUND)
    Log(hInstall, "DeleteFiles%s: %s is not there", pszMode, pszPath);
  else
    Log(hInstall, "DeleteFiles%s: cannot delete %s: error %lu", pszMode, pszPath, dwError);
}

UINT __stdcall DeleteFiles(MSIHANDLE hInstall) {
  const char* pszMode = MsiGetMode(hInstall, MSIRUNMODE_ROLLBACK) ? " (rollback)" : "";
  char* pData = GetProperty(hInstall, "CustomActionData");
  if (!pData) {
    Log(hInstall, "DeleteFiles%s: cannot read its data", pszMode);
    return ERROR_SUCCESS;
  }
  for (char* pPath = pData; *pPath;) {
    char* pEnd = strchr(pPath, '\n');
    if (pEnd) *pEnd = '\0';
    if (*pPath) DeleteLogged(hInstall, pszMode, pPath);
    if (!pEnd) break;
    pPath = pEnd + 1;
  }
  FreeString(pData);
  return ERROR_SUCCESS;
}

UINT __stdcall FailWhenDeferred(MSIHANDLE hInstall) {
  Log(hInstall,
      "FailWhenDeferred: PRW3FAILWHENDEFERRED=1: the installation fails here on purpose, after its files "
      "and keys are written, and rolls back");
  return ERROR_INSTALL_FAILURE;
}
