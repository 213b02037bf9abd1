// winsim test controls for the registry: seed the hives from .reg text, deny access
// below a key, read values back, dump a tree and count open key handles.
// Paths are relative to the hive, with backslashes ("Software\\OLMAR"); "" is the hive itself.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace winsim {

// The rights a user without administrative rights lacks on HKEY_LOCAL_MACHINE: opens
// asking for KEY_ALL_ACCESS or KEY_WRITE then fail, KEY_READ still works.
constexpr REGSAM kAdminKeyRights =
    KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC | WRITE_OWNER;

// From now on, opening or creating a key at or below `path` with any of `rights` fails
// with ERROR_ACCESS_DENIED; so does creating a subkey there when KEY_CREATE_SUB_KEY is
// among them, and deleting such a key when DELETE is. Handles already open keep theirs.
void DenyKeyAccess(HKEY hive, const std::string& path, REGSAM rights);

// Key handles open now (predefined root keys are not counted), for leak checks.
size_t OpenKeyCount();

struct RegValue {
  DWORD type;
  std::vector<BYTE> data;
};

bool KeyExists(HKEY hive, const std::string& path);
// A value as stored, or nothing when the key or the value is missing; "" is the default value.
std::optional<RegValue> ReadRegValue(HKEY hive, const std::string& path, const std::string& name);
// A REG_SZ or REG_EXPAND_SZ value up to its first zero byte.
std::optional<std::string> ReadRegString(HKEY hive, const std::string& path, const std::string& name);
// A REG_DWORD value of 4 bytes.
std::optional<DWORD> ReadRegDword(HKEY hive, const std::string& path, const std::string& name);

// The key and everything below it in REGEDIT4 syntax (importable again): one section per
// key, subkeys in enumeration order, values in creation order. Empty when the key is missing.
std::string DumpRegistry(HKEY hive, const std::string& path = "");

// Applies .reg text ("REGEDIT4" or "Windows Registry Editor Version 5.00" first):
// [HKEY_LOCAL_MACHINE\...] and [HKEY_CURRENT_USER\...] sections (HKLM and HKCU also
// accepted) create keys, [-...] deletes a key with everything below it; value lines
// "name"="string" (escapes \\ and \"), @= for the default value, dword:xxxxxxxx, hex:..,
// hex(n):.. (continued over lines with a trailing backslash), "name"=- deletes.
// Denied access does not apply. On a syntax error returns false with "line N: reason"
// in *error; what came before that line stays applied.
bool ImportRegText(const std::string& text, std::string* error = nullptr);

}  // namespace winsim
