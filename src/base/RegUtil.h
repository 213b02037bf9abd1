// Registry reads that repeat across the program: a string value with a type check,
// a size limit and a forced terminator, and the type-blind 4-byte read of switches.
#pragma once

#include <windows.h>

// Reads a REG_SZ/REG_EXPAND_SZ value into pszOut of cbOut bytes, terminated. A missing
// value, another type, or data that does not fit with its terminator fails, leaving
// pszOut untouched. Returns TRUE on success.
BOOL RegReadString(HKEY hKey, LPCSTR pszValueName, char* pszOut, DWORD cbOut);
template <DWORD N>
BOOL RegReadString(HKEY hKey, LPCSTR pszValueName, char (&szOut)[N]) {
  return RegReadString(hKey, pszValueName, szOut, N);
}

// Opens hRoot\pszSubKey for reading and reads one string value as RegReadString does.
BOOL RegReadKeyString(HKEY hRoot, LPCSTR pszSubKey, LPCSTR pszValueName, char* pszOut, DWORD cbOut);

// Reads at most 4 bytes of any type into *pdwOut (which the caller has set). Longer data
// fails and leaves *pdwOut as it was. Returns TRUE when the query succeeded.
BOOL RegReadRaw4(HKEY hKey, LPCSTR pszValueName, DWORD* pdwOut);
