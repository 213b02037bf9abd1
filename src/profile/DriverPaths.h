// The driver's names and paths: the model's driver name and INI file from the profile
// key, the installation directory, and the status program, printer library and
// resource library, with found paths stored back into the driver's key. Free functions
// without state; every buffer they write holds MAX_PATH characters.
//
// All return 1 found, 0 not found; an output is written only on 1 unless said otherwise.
// A path or name that would not fit MAX_PATH characters is refused, never cut: a cut
// path could name another file, which would then be stored and started.
#pragma once

#include <windows.h>

// The driver name of a model: the INI file's [Install] "DRVNAME", else "OLMAR " and
// the model id. 0 when the model id is empty or has no INI file in the profile key.
BOOL GetProfileDriverName(LPCSTR szModelID, char* szDriverName);

// A string value of the driver's key; an empty szDriverName is resolved through
// GetProfileDriverName, and when that fails the driver key itself is read.
BOOL GetDriverRegString(char* szValue, LPCSTR szValueName, LPCSTR szDriverName, LPCSTR szModelID);

// The installation directory with a trailing backslash: "InstallPath", else the INI
// file's folder, and only when it exists; it is then stored as "InstallPath" (without
// the backslash) in the key of szDriverName. When the profile key has no value for
// the model, szDir becomes "" (result 0).
BOOL GetInstallDir(char* szDir, LPCSTR szDriverName, LPCSTR szModelID);

// Whether FindFirstFileA finds anything for the path (a file, a folder, or a match of
// its wildcards). An empty path never exists.
BOOL FileExists(LPCSTR szPath);

// Stores a REG_SZ value, with its terminator, in an existing key under
// HKEY_LOCAL_MACHINE; the key is never created.
BOOL SetHKLMString(LPCSTR szSubKey, LPCSTR szValueName, LPCSTR szValue);

// The driver key's value szValueName when it names an existing file, else the
// installation directory joined with szFileName when that exists; stored back into
// the key of szDriverName either way.
BOOL GetDriverFilePath(char* szPath, LPCSTR szValueName, LPCSTR szFileName, LPCSTR szDriverName, LPCSTR szModelID);

// The status program: "O_PRUN", else the installation directory and "O_P10RN1.EXE".
BOOL GetStatusProgramPath(char* szPath, LPCSTR szDriverName, LPCSTR szModelID);

// The printer library: the installation directory (or "." when there is none) joined
// with [model id] "PrnDll". Whether the file exists is not tested.
BOOL GetPrnDllPath(char* szPath, LPCSTR szDriverName, LPCSTR szModelID);

// The resource library: as GetPrnDllPath, with the "ResDll" of the language section.
BOOL GetResDllPath(char* szPath, LPCSTR szDriverName, LPCSTR szModelID);

// The folder of an INI file as the profile calls find it, with its trailing separator:
// the path up to its last backslash or slash, or for a bare file name the Windows
// folder. 0 for an empty path or a drive-relative one ("C:X.INI").
BOOL GetIniFileDir(LPCSTR szIniFile, char* szDir);
