// Registry read helpers.
#include "base/RegUtil.h"

#include "base/Scoped.h"

#include <cstring>

BOOL RegReadString(HKEY hKey, LPCSTR pszValueName, char* pszOut, DWORD cbOut) {
  if (!pszOut || cbOut == 0) return FALSE;
  char szData[1024];
  if (cbOut > sizeof(szData)) cbOut = sizeof(szData);
  DWORD dwType = REG_NONE;
  DWORD cbData = cbOut;
  if (RegQueryValueExA(hKey, pszValueName, nullptr, &dwType, reinterpret_cast<BYTE*>(szData), &cbData) != ERROR_SUCCESS)
    return FALSE;
  if (dwType != REG_SZ && dwType != REG_EXPAND_SZ) return FALSE;
  // Stored data need not carry its terminator; it must still fit with one.
  DWORD cch = static_cast<DWORD>(strnlen(szData, cbData));
  if (cch >= cbOut) return FALSE;
  memcpy(pszOut, szData, cch);
  pszOut[cch] = '\0';
  return TRUE;
}

BOOL RegReadKeyString(HKEY hRoot, LPCSTR pszSubKey, LPCSTR pszValueName, char* pszOut, DWORD cbOut) {
  CRegKey hKey;
  if (RegOpenKeyExA(hRoot, pszSubKey, 0, KEY_READ, hKey.Receive()) != ERROR_SUCCESS) return FALSE;
  return RegReadString(hKey, pszValueName, pszOut, cbOut);
}

BOOL RegReadRaw4(HKEY hKey, LPCSTR pszValueName, DWORD* pdwOut) {
  BYTE abData[4];
  memcpy(abData, pdwOut, sizeof(abData));
  DWORD cbData = sizeof(abData);
  if (RegQueryValueExA(hKey, pszValueName, nullptr, nullptr, abData, &cbData) != ERROR_SUCCESS) return FALSE;
  memcpy(pdwOut, abData, sizeof(abData));
  return TRUE;
}
