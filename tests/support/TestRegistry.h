// Registry helpers for tests on both platforms, through the real calls. Keys under
// "software\OLMAR" and the Run values the tests write are removed after every test.
#pragma once

#include <windows.h>

#include <string>

namespace testenv {

void SetRegString(HKEY root, const std::string& key, const std::string& name, const std::string& value);
void SetRegDword(HKEY root, const std::string& key, const std::string& name, DWORD value);
// Raw data of any type and size.
void SetRegValue(HKEY root, const std::string& key, const std::string& name, DWORD type, const void* data,
                 DWORD size);
// The value as a string ("<missing>" when absent; a DWORD as its decimal number).
std::string GetReg(HKEY root, const std::string& key, const std::string& name);
bool RegKeyExists(HKEY root, const std::string& key);
void DeleteRegValue(HKEY root, const std::string& key, const std::string& name);
// Deletes the key with everything below it; true when it is gone.
bool DeleteRegTree(HKEY root, const std::string& key);

}  // namespace testenv
