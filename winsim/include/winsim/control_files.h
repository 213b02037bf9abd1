// winsim test controls for the file system: Windows paths live in a sandbox folder on
// the host (C:\ with C:\windows\system32 and C:\users\user\Temp), emptied by Reset().
// The program's own folder and the current folder are C:\. Only tests include this
// (through winsim/control.h).
#pragma once

#include <cstddef>
#include <string>

namespace winsim {

// A file's raw bytes, written without any translation; missing folders are made.
void WriteFileBytes(const std::string& winPath, const std::string& bytes);
// Makes a folder and any missing folders above it.
void MakeFolder(const std::string& winPath);
// True for an existing file or folder.
bool FileExists(const std::string& winPath);

// The folder GetTempPathA reports (with its trailing backslash) until the next Reset;
// the caller makes it.
void SetTempPath(const std::string& winFolder);

// Leak checks: find handles not yet given to FindClose, and _fsopen streams not closed.
size_t OpenFindHandleCount();
size_t OpenStreamCount();

}  // namespace winsim
