// The program's only trace: a plain-text log, off unless a registry value switches it
// on. Every line is one open, append and close of the log file, so the file is never
// held open between lines. Failures are only ever a 0 result.
#pragma once

#include <windows.h>

#include <cstdio>

extern int g_bDebugLog;
extern FILE* g_pLogFile;
extern char g_szLogPath[MAX_PATH];

// Reads the switch (a value under HKLM "SOFTWARE\OLMAR\PRW3\Debug") once per run.
// Returns 1 when the log is now on.
int DebugLogInit(const char* pszPath, const char* pszValueName);
// Each returns 1 when a line was written, 0 when the log is off, an argument is null or
// the file could not be opened.
int DebugLogWrite(const char* pszText);
int DebugLogWriteStr(const char* pszLabel, const char* pszText);
int DebugLogWriteInt(const char* pszLabel, int nValue);
// Closes a stream left open (none in normal running). Always 1.
int DebugLogClose();
