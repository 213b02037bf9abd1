/* The package's own custom actions, carried inside the package (not installed). Each says
 * in the install log what it did or why it failed (INSTALLMESSAGE_INFO lines). Names are
 * read, compared and logged through the wide calls, as the installer and the registry hold
 * them; the resident takes them in the system's code page.
 *   RestoreSettings     immediate: PRINTER, DRIVER, PORT from the values the installed
 *                       package saved, where not given. In maintenance only what it saved
 *                       counts: its setup values, else its parameter file. A new
 *                       installation's DRIVER falls back to DefaultDriver
 *   CheckSettings       immediate: refuses names the parameter file, the keys or the
 *                       system's code page cannot carry, and a start-up entry or driver
 *                       key that exists and is not the installed package's own
 *   FindResident        immediate, before CloseResident: notes the process of the
 *                       printer's resident (ResidentProcess), found through its window in
 *                       the residents' shared table
 *   WaitForResident     immediate, after CloseResident: waits (10 s at most) until that
 *                       process has ended
 *   SetResidentPath     immediate, after CostFinalize: ResidentPath, the resident's short
 *                       path, for the start-up entry
 *   CheckResidentStart  immediate, after ExecuteAction: ResidentStart=1 unless elevated
 *   WriteTextFile       deferred or rollback; CustomActionData: the file's path, a line
 *                       feed, then the file's text, written in the system's code page (as
 *                       the resident reads it); as rollback it first makes the file's
 *                       folders again if missing
 *   DeleteFiles         deferred or rollback; CustomActionData: paths, one per line (a
 *                       missing file is no error) */
#include <windows.h>

#include <msi.h>
#include <msiquery.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>

/* The names the package passes to the resident: each with its saved value's property and
 * name in the setup key, the start of its line in the parameter file, and the longest
 * accepted. The resident reads a name into 260 bytes; a driver name must also leave room
 * in "software\OLMAR\PRW3\Driver\<name>\Menu", the longest key path the resident builds
 * in 260 bytes. */
typedef struct {
  const WCHAR* pszProperty;
  const WCHAR* pszSavedProperty;
  const WCHAR* pszSavedValue;
  const WCHAR* pszSwitch;
  size_t cbMax;
  BOOL bNamesKeys;
} SETTING;

static const SETTING g_aSettings[] = {
    {L"PRINTER", L"INSTALLED_PRINTER", L"Printer", L"/P \"", MAX_PATH - 1, FALSE},
    {L"DRIVER",
     L"INSTALLED_DRIVER",
     L"Driver",
     L"/D \"",
     MAX_PATH - 1 - (sizeof("software\\OLMAR\\PRW3\\Driver\\\\Menu") - 1),
     TRUE},
    {L"PORT", L"INSTALLED_PORT", L"Port", L"/O \"", MAX_PATH - 1, FALSE},
};
#define SETTING_COUNT (sizeof(g_aSettings) / sizeof(g_aSettings[0]))

/* The residents' shared table (a named block of the session): 500 entries of 274 bytes,
 * each a printer's key (260 bytes, in the system's code page, ended by a zero or by the
 * next field), 2 reserved bytes and the windows of the monitor kinds, the tray
 * resident's at byte 270. An entry starting with 0xFF ends the table, one starting with
 * 0 is free. Keys of the package's names (at most 259 bytes) are all in this block. */
#define TABLE_NAME "PrwV3MapFile"
#define TABLE_ENTRIES 500
#define TABLE_ENTRY_SIZE 274
#define TABLE_KEY_SIZE 260
#define TABLE_TRAY_SLOT 270
#define TABLE_END 0xFF
#define TABLE_FREE 0x00
#define RESIDENT_CLASS "TrayIconWClass"

/* How long WaitForResident waits for the resident's process to end. */
#define RESIDENT_WAIT_MS 10000

static void* Alloc(size_t cb) { return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, cb); }

static void Free(void* p) {
  if (p) HeapFree(GetProcessHeap(), 0, p);
}

static WCHAR* Duplicate(const WCHAR* psz, size_t cch) {
  WCHAR* pszCopy = Alloc((cch + 1) * sizeof(WCHAR));
  if (pszCopy) memcpy(pszCopy, psz, cch * sizeof(WCHAR));
  return pszCopy;
}

static void LogMessage(MSIHANDLE hInstall, INSTALLMESSAGE eType, const WCHAR* pszFormat, va_list args) {
  WCHAR szText[2048];
  const size_t cchText = sizeof(szText) / sizeof(szText[0]);
  _vsnwprintf(szText, cchText - 1, pszFormat, args);
  szText[cchText - 1] = L'\0';
  /* The text goes in as field 1: a template would take its brackets for properties. */
  MSIHANDLE hRecord = MsiCreateRecord(1);
  if (!hRecord) return;
  MsiRecordSetStringW(hRecord, 0, L"[1]");
  MsiRecordSetStringW(hRecord, 1, szText);
  MsiProcessMessage(hInstall, eType, hRecord);
  MsiCloseHandle(hRecord);
}

/* A line in the install log. */
static void Log(MSIHANDLE hInstall, const WCHAR* pszFormat, ...) {
  va_list args;
  va_start(args, pszFormat);
  LogMessage(hInstall, INSTALLMESSAGE_INFO, pszFormat, args);
  va_end(args);
}

/* An error: shown to the user with a user interface, and logged. */
static void LogError(MSIHANDLE hInstall, const WCHAR* pszFormat, ...) {
  va_list args;
  va_start(args, pszFormat);
  LogMessage(hInstall, (INSTALLMESSAGE)(INSTALLMESSAGE_ERROR | MB_OK | MB_ICONERROR), pszFormat, args);
  va_end(args);
}

/* A property's value in a heap block (free with Free), "" when unset; NULL on failure. */
static WCHAR* GetProperty(MSIHANDLE hInstall, const WCHAR* pszName) {
  WCHAR szEmpty[1] = L"";
  DWORD cch = 0;
  const UINT result = MsiGetPropertyW(hInstall, pszName, szEmpty, &cch);
  if (result != ERROR_SUCCESS && result != ERROR_MORE_DATA) return NULL;
  WCHAR* pszValue = Alloc((cch + 1) * sizeof(WCHAR));
  if (!pszValue || result == ERROR_SUCCESS) return pszValue;
  cch += 1;
  if (MsiGetPropertyW(hInstall, pszName, pszValue, &cch) == ERROR_SUCCESS) return pszValue;
  Free(pszValue);
  return NULL;
}

static BOOL PropertyIsSet(MSIHANDLE hInstall, const WCHAR* pszName) {
  WCHAR* pszValue = GetProperty(hInstall, pszName);
  const BOOL bSet = pszValue && pszValue[0];
  Free(pszValue);
  return bSet;
}

/* The text with its [properties] filled in, in a heap block, or NULL. */
static WCHAR* FormatText(MSIHANDLE hInstall, const WCHAR* pszTemplate) {
  MSIHANDLE hRecord = MsiCreateRecord(0);
  WCHAR szEmpty[1] = L"";
  DWORD cch = 0;
  WCHAR* pszText = NULL;
  if (hRecord && MsiRecordSetStringW(hRecord, 0, pszTemplate) == ERROR_SUCCESS &&
      MsiFormatRecordW(hInstall, hRecord, szEmpty, &cch) == ERROR_MORE_DATA) {
    pszText = Alloc((cch + 1) * sizeof(WCHAR));
    cch += 1;
    if (pszText && MsiFormatRecordW(hInstall, hRecord, pszText, &cch) != ERROR_SUCCESS) {
      Free(pszText);
      pszText = NULL;
    }
  }
  if (hRecord) MsiCloseHandle(hRecord);
  return pszText;
}

static BOOL SameName(const WCHAR* pszA, const WCHAR* pszB) {
  return CompareStringOrdinal(pszA, -1, pszB, -1, TRUE) == CSTR_EQUAL;
}

/* The name in the system's code page (a heap block), or NULL when a character of it does
 * not come back unchanged from there: the resident, whose interface is ANSI, could not
 * take it. *pcb gets its length in bytes. */
static char* ToCodePage(const WCHAR* pszName, size_t* pcb) {
  /* A UTF-8 code page takes no best-fit flag and reports no default character. */
  const BOOL bUtf8 = GetACP() == CP_UTF8;
  const DWORD dwFlags = bUtf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  BOOL bDefaulted = FALSE;
  const int cb = WideCharToMultiByte(CP_ACP, dwFlags, pszName, -1, NULL, 0, NULL, bUtf8 ? NULL : &bDefaulted);
  char* pszBytes = cb > 0 && !bDefaulted ? Alloc((size_t)cb) : NULL;
  WCHAR* pszBack = NULL;
  if (pszBytes && WideCharToMultiByte(CP_ACP, dwFlags, pszName, -1, pszBytes, cb, NULL, NULL) == cb) {
    const int cch = MultiByteToWideChar(CP_ACP, 0, pszBytes, -1, NULL, 0);
    pszBack = cch > 0 ? Alloc((size_t)cch * sizeof(WCHAR)) : NULL;
    if (pszBack) MultiByteToWideChar(CP_ACP, 0, pszBytes, -1, pszBack, cch);
  }
  const BOOL bSame = pszBack && wcscmp(pszBack, pszName) == 0;
  Free(pszBack);
  if (!bSame) {
    Free(pszBytes);
    return NULL;
  }
  *pcb = (size_t)cb - 1;
  return pszBytes;
}

/* A REG_SZ or REG_EXPAND_SZ value, unexpanded, in a heap block, or NULL (*plResult then
 * says why: ERROR_FILE_NOT_FOUND, ERROR_UNSUPPORTED_TYPE for another type, or the read's
 * error). */
static WCHAR* ReadRegString(HKEY hKey, const WCHAR* pszName, LONG* plResult) {
  DWORD dwType = 0;
  DWORD cb = 0;
  *plResult = RegQueryValueExW(hKey, pszName, NULL, &dwType, NULL, &cb);
  if (*plResult == ERROR_SUCCESS && dwType != REG_SZ && dwType != REG_EXPAND_SZ) *plResult = ERROR_UNSUPPORTED_TYPE;
  if (*plResult != ERROR_SUCCESS) return NULL;
  /* The spare character ends data stored without its terminator. */
  WCHAR* pszValue = Alloc(cb + 2 * sizeof(WCHAR));
  if (!pszValue) {
    *plResult = ERROR_NOT_ENOUGH_MEMORY;
    return NULL;
  }
  *plResult = RegQueryValueExW(hKey, pszName, NULL, &dwType, (BYTE*)pszValue, &cb);
  if (*plResult == ERROR_SUCCESS && dwType != REG_SZ && dwType != REG_EXPAND_SZ) *plResult = ERROR_UNSUPPORTED_TYPE;
  if (*plResult == ERROR_SUCCESS) return pszValue;
  Free(pszValue);
  return NULL;
}

/* The name as the installed parameter file (InstalledParamFile) holds it, on the line that
 * starts with the setting's switch; "" when no line does; NULL when the file cannot be
 * read. The package wrote the file in the system's code page. */
static WCHAR* FromParamFile(MSIHANDLE hInstall, const SETTING* pSetting) {
  char szBytes[4096];
  DWORD cb = 0;
  WCHAR* pszPath = GetProperty(hInstall, L"InstalledParamFile");
  HANDLE hFile = pszPath && pszPath[0]
                     ? CreateFileW(pszPath, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL)
                     : INVALID_HANDLE_VALUE;
  Free(pszPath);
  if (hFile == INVALID_HANDLE_VALUE) return NULL;
  const BOOL bRead = ReadFile(hFile, szBytes, sizeof(szBytes), &cb, NULL);
  CloseHandle(hFile);
  WCHAR szText[4097] = L"";
  if (!bRead || (cb && !MultiByteToWideChar(CP_ACP, 0, szBytes, (int)cb, szText, 4096))) return NULL;
  const size_t cchSwitch = wcslen(pSetting->pszSwitch);
  for (const WCHAR* pLine = szText; *pLine;) {
    const WCHAR* pEnd = pLine + wcscspn(pLine, L"\r\n");
    if ((size_t)(pEnd - pLine) > cchSwitch && wcsncmp(pLine, pSetting->pszSwitch, cchSwitch) == 0 && pEnd[-1] == L'"')
      return Duplicate(pLine + cchSwitch, (size_t)(pEnd - pLine) - cchSwitch - 1);
    pLine = pEnd + wcsspn(pEnd, L"\r\n");
  }
  return Duplicate(L"", 0);
}

/* The saved values are read here, not by AppSearch: a raw registry search returns a
 * string that starts with "#" with a second "#" before it. The package saves them as
 * REG_EXPAND_SZ (a name starting with "#" stays a string so); a REG_SZ of an earlier
 * version counts alike, and neither is expanded. */
UINT __stdcall RestoreSettings(MSIHANDLE hInstall) {
  const BOOL bMaintenance = PropertyIsSet(hInstall, L"Installed");
  WCHAR* pszRemove = GetProperty(hInstall, L"REMOVE");
  const BOOL bRemoval = pszRemove && wcscmp(pszRemove, L"ALL") == 0;
  Free(pszRemove);
  WCHAR* pszKey = GetProperty(hInstall, L"SetupKey");
  if (!pszKey || !pszKey[0]) {
    Log(hInstall, L"RestoreSettings: the package names no setup key");
    Free(pszKey);
    return ERROR_INSTALL_FAILURE;
  }
  HKEY hKey = NULL;
  const LONG lOpen = RegOpenKeyExW(HKEY_LOCAL_MACHINE, pszKey, 0, KEY_QUERY_VALUE, &hKey);
  if (lOpen != ERROR_SUCCESS) {
    hKey = NULL;
    Log(hInstall, L"RestoreSettings: no saved settings (HKLM\\%ls: error %ld)", pszKey, lOpen);
  }

  UINT result = ERROR_SUCCESS;
  for (size_t i = 0; i < SETTING_COUNT && result == ERROR_SUCCESS; ++i) {
    const SETTING* pSetting = &g_aSettings[i];
    LONG lRead = ERROR_FILE_NOT_FOUND;
    WCHAR* pszSaved = hKey ? ReadRegString(hKey, pSetting->pszSavedValue, &lRead) : NULL;
    const WCHAR* pszFrom = L"saved by the installed package";
    /* A repair or removal takes the names the installed package wrote, never given ones:
     * missing from the setup key, they are those of its parameter file. */
    if (!pszSaved && bMaintenance) {
      pszSaved = FromParamFile(hInstall, pSetting);
      pszFrom = L"as the installed parameter file holds it (the setup key does not)";
    }
    WCHAR* pszGiven = GetProperty(hInstall, pSetting->pszProperty);
    if (!pszGiven) {
      Log(hInstall, L"RestoreSettings: cannot read the property %ls", pSetting->pszProperty);
      result = ERROR_INSTALL_FAILURE;
    } else if (pszSaved && (bMaintenance || !pszGiven[0])) {
      if (pszGiven[0] && wcscmp(pszGiven, pszSaved) != 0)
        Log(hInstall,
            L"RestoreSettings: %ls=\"%ls\" is ignored: an installed package keeps the names it was installed with",
            pSetting->pszProperty,
            pszGiven);
      Log(hInstall, L"RestoreSettings: %ls=\"%ls\", %ls", pSetting->pszProperty, pszSaved, pszFrom);
      if (MsiSetPropertyW(hInstall, pSetting->pszProperty, pszSaved) != ERROR_SUCCESS) result = ERROR_INSTALL_FAILURE;
    } else if (bMaintenance && bRemoval) {
      Log(hInstall,
          L"RestoreSettings: %ls is neither saved (HKLM\\%ls, %ls: error %ld) nor in the installed parameter file: "
          L"the values named after it stay",
          pSetting->pszProperty,
          pszKey,
          pSetting->pszSavedValue,
          lRead);
      if (MsiSetPropertyW(hInstall, pSetting->pszProperty, L"") != ERROR_SUCCESS) result = ERROR_INSTALL_FAILURE;
    } else if (bMaintenance) {
      LogError(hInstall,
               L"%ls is neither saved (HKLM\\%ls, %ls: error %ld) nor in the installed parameter file: a repair "
               L"cannot tell which entries are named after it. Nothing was changed.",
               pSetting->pszProperty,
               pszKey,
               pSetting->pszSavedValue,
               lRead);
      result = ERROR_INSTALL_FAILURE;
    } else if (pszGiven[0]) {
      Log(hInstall, L"RestoreSettings: %ls=\"%ls\", as given", pSetting->pszProperty, pszGiven);
    } else {
      Log(hInstall,
          L"RestoreSettings: %ls is neither given nor saved (HKLM\\%ls, %ls: error %ld)",
          pSetting->pszProperty,
          pszKey,
          pSetting->pszSavedValue,
          lRead);
    }
    if (pszSaved && MsiSetPropertyW(hInstall, pSetting->pszSavedProperty, pszSaved) != ERROR_SUCCESS)
      result = ERROR_INSTALL_FAILURE;
    Free(pszSaved);
    Free(pszGiven);
  }
  if (hKey) RegCloseKey(hKey);
  Free(pszKey);

  if (result == ERROR_SUCCESS && !bMaintenance && !PropertyIsSet(hInstall, L"DRIVER")) {
    WCHAR* pszDefault = GetProperty(hInstall, L"DefaultDriver");
    if (pszDefault && pszDefault[0] && MsiSetPropertyW(hInstall, L"DRIVER", pszDefault) == ERROR_SUCCESS)
      Log(hInstall, L"RestoreSettings: DRIVER=\"%ls\", the default", pszDefault);
    else
      result = ERROR_INSTALL_FAILURE;
    Free(pszDefault);
  }
  if (result != ERROR_SUCCESS) Log(hInstall, L"RestoreSettings: failed");
  return result;
}

/* Why a name cannot be installed, or NULL. szWhy receives the reason. */
static const WCHAR* RefusalOf(const SETTING* pSetting, const WCHAR* pszValue, WCHAR* szWhy, size_t cchWhy) {
  if (wcschr(pszValue, L'"'))
    return L"it holds a double quote (\"), which would end the quoted name in the start-up entry's parameter file";
  for (const WCHAR* p = pszValue; *p; ++p)
    if (*p < 0x20)
      return L"it holds a line break or another control character, which would split the parameter file's line";
  if (pSetting->bNamesKeys && wcschr(pszValue, L'\\'))
    return L"it holds a backslash, which would make a subkey of the driver's registry key";
  size_t cb = 0;
  char* pszBytes = ToCodePage(pszValue, &cb);
  const BOOL bHeld = pszBytes != NULL;
  Free(pszBytes);
  if (!bHeld)
    _snwprintf(szWhy,
               cchWhy - 1,
               L"the system's code page (%u) cannot hold it, and the resident takes its names in that code page",
               GetACP());
  else if (cb > pSetting->cbMax)
    _snwprintf(szWhy,
               cchWhy - 1,
               L"it takes %u bytes in the system's code page, and at most %u are accepted",
               (unsigned)cb,
               (unsigned)pSetting->cbMax);
  else
    return NULL;
  szWhy[cchWhy - 1] = L'\0';
  return szWhy;
}

/* Whether HKLM holds the key, or with a value name that value of the key. Anything but
 * "not found" counts as there. */
static BOOL RegistryHolds(const WCHAR* pszKey, const WCHAR* pszValueName) {
  HKEY hKey = NULL;
  const LONG lOpen = RegOpenKeyExW(HKEY_LOCAL_MACHINE, pszKey, 0, KEY_QUERY_VALUE, &hKey);
  if (lOpen != ERROR_SUCCESS) return lOpen != ERROR_FILE_NOT_FOUND;
  const BOOL bHolds =
      !pszValueName || RegQueryValueExW(hKey, pszValueName, NULL, NULL, NULL, NULL) != ERROR_FILE_NOT_FOUND;
  RegCloseKey(hKey);
  return bHolds;
}

/* The package must neither overwrite nor, at its removal, delete what another program
 * wrote: the start-up entry's Run value and the keys named after the driver are refused
 * when they exist and are not the installed package's own (its saved names). */
static BOOL OwnsItsEntries(MSIHANDLE hInstall) {
  WCHAR* pszPrinter = GetProperty(hInstall, L"PRINTER");
  WCHAR* pszEntry = GetProperty(hInstall, L"PrinterKey");
  WCHAR* pszOwnEntry = GetProperty(hInstall, L"INSTALLED_PRINTER");
  if (pszOwnEntry && !pszOwnEntry[0]) {
    Free(pszOwnEntry);
    pszOwnEntry = GetProperty(hInstall, L"INSTALLED_PORT");
  }
  WCHAR* pszRunKey = GetProperty(hInstall, L"StartupKey");
  WCHAR* pszDriver = GetProperty(hInstall, L"DRIVER");
  WCHAR* pszOwnDriver = GetProperty(hInstall, L"INSTALLED_DRIVER");
  WCHAR* pszDriverKeys = GetProperty(hInstall, L"DriverKeys");
  WCHAR* pszKeys = pszDriverKeys ? FormatText(hInstall, pszDriverKeys) : NULL;
  BOOL bOwns = pszPrinter && pszEntry && pszOwnEntry && pszRunKey && pszDriver && pszOwnDriver && pszKeys;
  if (!bOwns) Log(hInstall, L"CheckSettings: cannot read the names of the package's entries");

  if (bOwns && pszEntry[0] && !SameName(pszEntry, pszOwnEntry) && RegistryHolds(pszRunKey, pszEntry)) {
    LogError(hInstall,
             L"%ls=\"%ls\" is refused: HKLM\\%ls already has a value \"%ls\", which this package did not write. "
             L"Nothing was changed.",
             pszPrinter[0] ? L"PRINTER" : L"PORT",
             pszEntry,
             pszRunKey,
             pszEntry);
    bOwns = FALSE;
  }
  if (pszKeys && !SameName(pszDriver, pszOwnDriver)) {
    for (WCHAR* pszLine = pszKeys; *pszLine;) {
      WCHAR* pszEnd = pszLine + wcscspn(pszLine, L"\n");
      const BOOL bLast = !*pszEnd;
      *pszEnd = L'\0';
      if (*pszLine && RegistryHolds(pszLine, NULL)) {
        LogError(hInstall,
                 L"DRIVER=\"%ls\" is refused: HKLM\\%ls already exists, and this package did not make it. "
                 L"Nothing was changed.",
                 pszDriver,
                 pszLine);
        bOwns = FALSE;
        break;
      }
      if (bLast) break;
      pszLine = pszEnd + 1;
    }
  }
  Free(pszPrinter);
  Free(pszEntry);
  Free(pszOwnEntry);
  Free(pszRunKey);
  Free(pszDriver);
  Free(pszOwnDriver);
  Free(pszDriverKeys);
  Free(pszKeys);
  return bOwns;
}

UINT __stdcall CheckSettings(MSIHANDLE hInstall) {
  BOOL bRefused = FALSE;
  for (size_t i = 0; i < SETTING_COUNT; ++i) {
    const SETTING* pSetting = &g_aSettings[i];
    WCHAR* pszValue = GetProperty(hInstall, pSetting->pszProperty);
    if (!pszValue) {
      Log(hInstall, L"CheckSettings: cannot read the property %ls", pSetting->pszProperty);
      return ERROR_INSTALL_FAILURE;
    }
    WCHAR szWhy[160];
    const WCHAR* pszWhy = RefusalOf(pSetting, pszValue, szWhy, sizeof(szWhy) / sizeof(szWhy[0]));
    if (pszWhy) {
      LogError(hInstall, L"%ls=\"%ls\" is refused: %ls. Nothing was changed.", pSetting->pszProperty, pszValue, pszWhy);
      bRefused = TRUE;
    }
    Free(pszValue);
  }
  if (bRefused || !OwnsItsEntries(hInstall)) return ERROR_INSTALL_FAILURE;
  Log(hInstall, L"CheckSettings: PRINTER, DRIVER and PORT accepted");
  return ERROR_SUCCESS;
}

/* The tray window the shared table holds for the key, or NULL. A slot may still hold the
 * window of a resident that died, which the system may since have given to another
 * program: only a window of the resident's class counts. */
static HWND TableWindow(const char* pszKey) {
  HWND hWnd = NULL;
  HANDLE hMap = OpenFileMappingA(FILE_MAP_READ, FALSE, TABLE_NAME);
  const BYTE* pTable = hMap ? MapViewOfFile(hMap, FILE_MAP_READ, 0, 0, 0) : NULL;
  for (int i = 0; pTable && i < TABLE_ENTRIES && !hWnd; ++i) {
    const BYTE* pEntry = pTable + i * TABLE_ENTRY_SIZE;
    if (pEntry[0] == TABLE_END) break;
    char szName[TABLE_KEY_SIZE + 1];
    memcpy(szName, pEntry, TABLE_KEY_SIZE);
    szName[TABLE_KEY_SIZE] = '\0';
    DWORD dwWindow = 0;
    memcpy(&dwWindow, pEntry + TABLE_TRAY_SLOT, sizeof(dwWindow));
    /* Windows are shared as 32-bit values and widened back by sign extension. */
    if (pEntry[0] != TABLE_FREE && lstrcmpiA(szName, pszKey) == 0) hWnd = (HWND)(LONG_PTR)(LONG)dwWindow;
  }
  if (pTable) UnmapViewOfFile(pTable);
  if (hMap) CloseHandle(hMap);
  char szClass[sizeof(RESIDENT_CLASS) + 1] = "";
  if (hWnd && (!GetClassNameA(hWnd, szClass, sizeof(szClass)) || strcmp(szClass, RESIDENT_CLASS) != 0)) hWnd = NULL;
  return hWnd;
}

/* When the process was started: with its id, it names the process for good. */
static BOOL ProcessStart(HANDLE hProcess, FILETIME* pStart) {
  FILETIME exit;
  FILETIME kernel;
  FILETIME user;
  return GetProcessTimes(hProcess, pStart, &exit, &kernel, &user);
}

/* Before CloseResident: the resident gives its slot back as it closes, so its process is
 * looked up first. ResidentProcess gets "<id> <start, high> <start, low>", or "". */
UINT __stdcall FindResident(MSIHANDLE hInstall) {
  WCHAR* pszKey = GetProperty(hInstall, L"PrinterKey");
  size_t cb = 0;
  char* pszTableKey = pszKey ? ToCodePage(pszKey, &cb) : NULL;
  const HWND hWnd = pszTableKey ? TableWindow(pszTableKey) : NULL;
  DWORD dwProcessId = 0;
  HANDLE hProcess = hWnd && GetWindowThreadProcessId(hWnd, &dwProcessId)
                        ? OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, dwProcessId)
                        : NULL;
  FILETIME start;
  WCHAR szProcess[64] = L"";
  if (hProcess && ProcessStart(hProcess, &start))
    _snwprintf(szProcess, 63, L"%lu %lu %lu", dwProcessId, start.dwHighDateTime, start.dwLowDateTime);
  if (hProcess) CloseHandle(hProcess);
  if (szProcess[0])
    Log(hInstall, L"FindResident: the resident of \"%ls\" runs as process %lu", pszKey, dwProcessId);
  else
    Log(hInstall, L"FindResident: the shared table names no running resident of \"%ls\"", pszKey ? pszKey : L"");
  Free(pszKey);
  Free(pszTableKey);
  return MsiSetPropertyW(hInstall, L"ResidentProcess", szProcess) == ERROR_SUCCESS ? ERROR_SUCCESS
                                                                                   : ERROR_INSTALL_FAILURE;
}

/* After CloseResident (the resident's /R, which asks the resident to close and returns at
 * once): waits until the process FindResident noted has ended, so that its file is not
 * found in use. One that stays (hung, or asking its user) is left to the Restart Manager,
 * or to a restart. Always succeeds. */
UINT __stdcall WaitForResident(MSIHANDLE hInstall) {
  WCHAR* pszProcess = GetProperty(hInstall, L"ResidentProcess");
  DWORD dwProcessId = 0;
  FILETIME noted = {0, 0};
  const BOOL bNoted =
      pszProcess && swscanf(pszProcess, L"%lu %lu %lu", &dwProcessId, &noted.dwHighDateTime, &noted.dwLowDateTime) == 3;
  Free(pszProcess);
  if (!bNoted) {
    Log(hInstall, L"WaitForResident: no resident to wait for");
    return ERROR_SUCCESS;
  }
  HANDLE hProcess = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, dwProcessId);
  const DWORD dwOpen = hProcess ? ERROR_SUCCESS : GetLastError();
  FILETIME start;
  /* An id given to another process since names no resident. */
  if (!hProcess || !ProcessStart(hProcess, &start) || CompareFileTime(&start, &noted) != 0) {
    Log(hInstall, L"WaitForResident: the resident (process %lu) has ended (error %lu)", dwProcessId, dwOpen);
    if (hProcess) CloseHandle(hProcess);
    return ERROR_SUCCESS;
  }
  const DWORD dwStart = GetTickCount();
  const DWORD dwWait = WaitForSingleObject(hProcess, RESIDENT_WAIT_MS);
  CloseHandle(hProcess);
  if (dwWait == WAIT_OBJECT_0)
    Log(hInstall,
        L"WaitForResident: the resident (process %lu) ended after %lu ms",
        dwProcessId,
        GetTickCount() - dwStart);
  else
    Log(hInstall,
        L"WaitForResident: the resident (process %lu) still runs after %lu ms: the Restart Manager closes it, or "
        L"a restart replaces its file",
        dwProcessId,
        GetTickCount() - dwStart);
  return ERROR_SUCCESS;
}

/* The start-up entry names the resident by its short path, which has no blank and so
 * needs no quotes: what the installer gives as [!file] once the file is in place. It is
 * wanted before (the Run value is formatted before the files are copied): the part of the
 * path that exists is shortened, and the rest, which the package names in 8.3 form
 * (wxs.cmake makes sure), follows as it is. */
UINT __stdcall SetResidentPath(MSIHANDLE hInstall) {
  WCHAR* pszKey = GetProperty(hInstall, L"ResidentFileKey");
  WCHAR szTemplate[MAX_PATH] = L"";
  if (pszKey) _snwprintf(szTemplate, MAX_PATH - 1, L"[#%ls]", pszKey);
  Free(pszKey);
  WCHAR* pszPath = FormatText(hInstall, szTemplate);
  WCHAR szHead[MAX_PATH] = L"";
  WCHAR szShort[MAX_PATH] = L"";
  if (pszPath && wcslen(pszPath) < MAX_PATH) wcscpy(szHead, pszPath);
  for (size_t cchHead = wcslen(szHead); cchHead > 0;) {
    szHead[cchHead] = L'\0';
    const WCHAR* pszRest = pszPath + cchHead;
    const DWORD cch = GetShortPathNameW(szHead, szShort, MAX_PATH);
    if (cch && cch + wcslen(pszRest) < MAX_PATH) {
      wcscat(szShort, pszRest);
      break;
    }
    szShort[0] = L'\0';
    while (cchHead > 0 && szHead[--cchHead] != L'\\') {
    }
  }
  if (!szShort[0] || wcschr(szShort, L' ')) {
    Log(hInstall, L"SetResidentPath: %ls has no short form without blanks", pszPath ? pszPath : L"the resident");
    Free(pszPath);
    return ERROR_INSTALL_FAILURE;
  }
  Free(pszPath);
  Log(hInstall, L"SetResidentPath: the start-up entry names %ls", szShort);
  return MsiSetPropertyW(hInstall, L"ResidentPath", szShort) == ERROR_SUCCESS ? ERROR_SUCCESS : ERROR_INSTALL_FAILURE;
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
        L"CheckResidentStart: the installer runs elevated: the resident is not started now but at the "
        L"next log-on, with the user's own token");
    return ERROR_SUCCESS;
  }
  Log(hInstall, L"CheckResidentStart: the installer runs with the user's own token: the resident starts now");
  return MsiSetPropertyW(hInstall, L"ResidentStart", L"1") == ERROR_SUCCESS ? ERROR_SUCCESS : ERROR_INSTALL_FAILURE;
}

/* Creates the folders of a file's path that are missing. */
static void CreateFolders(MSIHANDLE hInstall, const WCHAR* pszFile) {
  WCHAR szFolder[MAX_PATH];
  const size_t cch = wcslen(pszFile);
  if (cch >= MAX_PATH) return;
  memcpy(szFolder, pszFile, (cch + 1) * sizeof(WCHAR));
  WCHAR* pszLast = wcsrchr(szFolder, L'\\');
  if (!pszLast) return;
  *pszLast = L'\0';
  if (GetFileAttributesW(szFolder) != INVALID_FILE_ATTRIBUTES) return;
  CreateFolders(hInstall, szFolder);
  if (CreateDirectoryW(szFolder, NULL)) Log(hInstall, L"WriteTextFile (rollback): created %ls", szFolder);
}

UINT __stdcall WriteTextFile(MSIHANDLE hInstall) {
  const BOOL bRollback = MsiGetMode(hInstall, MSIRUNMODE_ROLLBACK);
  const WCHAR* pszMode = bRollback ? L" (rollback)" : L"";
  WCHAR* pData = GetProperty(hInstall, L"CustomActionData");
  WCHAR* pText = pData ? wcschr(pData, L'\n') : NULL;
  if (!pText) {
    Log(hInstall, L"WriteTextFile%ls: its data names no file", pszMode);
    Free(pData);
    return ERROR_INSTALL_FAILURE;
  }
  *pText++ = L'\0';
  /* A rollback may come before the folder's own is undone. */
  if (bRollback) CreateFolders(hInstall, pData);
  /* CheckSettings has made sure that the names come back unchanged from the code page. */
  const int cbText = WideCharToMultiByte(CP_ACP, 0, pText, -1, NULL, 0, NULL, NULL);
  char* pBytes = cbText > 0 ? Alloc((size_t)cbText) : NULL;
  const DWORD cbWrite =
      pBytes && WideCharToMultiByte(CP_ACP, 0, pText, -1, pBytes, cbText, NULL, NULL) == cbText ? (DWORD)cbText - 1 : 0;
  UINT result = ERROR_INSTALL_FAILURE;
  HANDLE hFile = pBytes ? CreateFileW(pData, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL)
                        : INVALID_HANDLE_VALUE;
  if (hFile == INVALID_HANDLE_VALUE) {
    Log(hInstall, L"WriteTextFile%ls: cannot create %ls: error %lu", pszMode, pData, GetLastError());
  } else {
    DWORD cbWritten = 0;
    const BOOL bWritten = WriteFile(hFile, pBytes, cbWrite, &cbWritten, NULL) && cbWritten == cbWrite;
    const DWORD dwError = bWritten ? 0 : GetLastError();
    if (CloseHandle(hFile) && bWritten) {
      Log(hInstall, L"WriteTextFile%ls: wrote %ls (%lu bytes)", pszMode, pData, cbWrite);
      result = ERROR_SUCCESS;
    } else {
      Log(hInstall,
          L"WriteTextFile%ls: cannot write %ls: error %lu",
          pszMode,
          pData,
          dwError ? dwError : GetLastError());
    }
  }
  Free(pBytes);
  Free(pData);
  return result;
}

static void DeleteLogged(MSIHANDLE hInstall, const WCHAR* pszMode, const WCHAR* pszPath) {
  if (DeleteFileW(pszPath)) {
    Log(hInstall, L"DeleteFiles%ls: deleted %ls", pszMode, pszPath);
    return;
  }
  const DWORD dwError = GetLastError();
  if (dwError == ERROR_FILE_NOT_FOUND || dwError == ERROR_PATH_NOT_FOUND)
    Log(hInstall, L"DeleteFiles%ls: %ls is not there", pszMode, pszPath);
  else
    Log(hInstall, L"DeleteFiles%ls: cannot delete %ls: error %lu", pszMode, pszPath, dwError);
}

UINT __stdcall DeleteFiles(MSIHANDLE hInstall) {
  const WCHAR* pszMode = MsiGetMode(hInstall, MSIRUNMODE_ROLLBACK) ? L" (rollback)" : L"";
  WCHAR* pData = GetProperty(hInstall, L"CustomActionData");
  if (!pData) {
    Log(hInstall, L"DeleteFiles%ls: cannot read its data", pszMode);
    return ERROR_SUCCESS;
  }
  for (WCHAR* pPath = pData; *pPath;) {
    WCHAR* pEnd = wcschr(pPath, L'\n');
    if (pEnd) *pEnd = L'\0';
    if (*pPath) DeleteLogged(hInstall, pszMode, pPath);
    if (!pEnd) break;
    pPath = pEnd + 1;
  }
  Free(pData);
  return ERROR_SUCCESS;
}
