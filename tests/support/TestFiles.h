// File helpers for tests on both platforms: Windows paths through the same CRT call the
// program uses, so natively they land in winsim's sandbox.
#pragma once

#include <string>

namespace testenv {

// The temporary folder, with its trailing backslash.
std::string TempDir();
void WriteFile(const std::string& path, const std::string& bytes);
// A file's bytes as the CRT reads them in `mode` (raw by default), or "<missing>" when
// it cannot be opened.
std::string ReadFile(const std::string& path, const char* mode = "rb");
bool FileExists(const std::string& path);
void RemoveFile(const std::string& path);

}  // namespace testenv
