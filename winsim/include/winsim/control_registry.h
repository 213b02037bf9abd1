// winsim test controls for the registry: seed the hives from .reg text, deny access
// below a key, read values back and count open key handles.
// Paths are relative to the hive, with backslashes ("Software\\OLMAR"); "" is the hive itself.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace winsim {

// From now on, opening or creating a key at or below `path` with any of `rights` fails
// with ERROR_ACCESS_DENIED; so does creating a subkey there when KEY_CREATE_SUB_KEY is
// among them, and deleting such a key when DELETE is. Handles already open keep theirs.
void DenyKeyAccess(HKEY hive, const std::string& path, REGSAM rights);

// Key handles open now (predefined root keys are not counted), for leak checks.
size_t OpenKeyCount();

bool KeyExists(HKEY hive, const std::string& path);
// A REG_DWORD value of 4 bytes, or nothing when the key or the value is missing or of
// another kind; "" is the default value.
std::optional<DWORD> ReadRegDword(HKEY hive, const std::string& path, const std::string& name);

// Applies .reg text ("REGEDIT4" or "Windows Registry Editor Version 5.00" first):
// [HKEY_LOCAL_MACHINE\...] and [HKEY_CURRENT_USER\...] sections (HKLM and HKCU also
// accepted) create keys, [-...] deletes a key with everything below it; value lines
// "name"="string" (escapes \\ and \"), @= for the default value, dword:xxxxxxxx, hex:..,
// hex(n):.. (continued over lines with a trailing backslash), "name"=- deletes.
// Denied access does not apply. On a syntax error returns false with "line N: reason"
// in *error; what came before that line stays applied.
bool ImportRegText(const std::string& text, std::string* error = nullptr);

}  // namespace winsim
