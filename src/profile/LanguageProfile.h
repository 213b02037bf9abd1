// Picks the language section of a driver's INI file for the current user (the entries
// of [Language], tested through the "ResDll" library each names) and reads a key from
// it. Owns nothing beyond one call: the section listing is held only while it runs.
#pragma once

#include <windows.h>

// Reads szKey from the section chosen for the user's language, else for 0x0409, else
// from the first listed section whose "ResDll" file exists beside the INI file, into
// szValue of *pcchValue characters. Returns 0 when a non-empty value that fits was read;
// -1 when no section could be selected or the value is missing, empty or possibly cut
// (szValue is then untouched).
int GetLanguageProfileString(LPCSTR szKey, char* szValue, const DWORD* pcchValue, LPCSTR szIniFile);
