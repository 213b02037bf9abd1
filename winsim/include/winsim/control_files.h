// winsim test controls for the file system: Windows paths live in a sandbox folder on
// the host (C:\ with C:\windows\system32 and C:\users\user\Temp), emptied by Reset().
// The program's own folder is that of SetMainModulePath. Only tests include this
// (through winsim/control.h).
#pragma once

#include <cstddef>
#include <string>

namespace winsim {

// Where a Windows path lives on the host: existing components as the host spells
// them (names match without regard to case), missing ones as given.
std::string HostPath(const std::string& winPath);

// A file's raw bytes, written without any translation; missing folders are made.
void WriteFileBytes(const std::string& winPath, const std::string& bytes);
// False when there is no such file.
bool ReadFileBytes(const std::string& winPath, std::string& bytes);
// Makes a folder and any missing folders above it.
void MakeFolder(const std::string& winPath);
// True for an existing file or folder.
bool FileExists(const std::string& winPath);

// The folder relative paths start from (C:\ after Reset).
void SetCurrentFolder(const std::string& winPath);

// Opening the path, or anything below a folder, for writing (creating, deleting,
// writing a profile) or for reading fails with ERROR_ACCESS_DENIED (the CRT: EACCES).
void DenyWrite(const std::string& winPath);
void DenyRead(const std::string& winPath);

// Leak checks: find handles not yet given to FindClose, and _fsopen streams not closed.
size_t OpenFindHandleCount();
size_t OpenStreamCount();

}  // namespace winsim
