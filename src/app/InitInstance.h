// Instance start-up: whether this printer gets a resident, the hidden window, the
// frame's start-up, and the removal of a start-up entry that is no longer wanted.
#pragma once

#include <windows.h>

class CMainFrame;

// 1: the frame runs and the message loop follows; 0: the process ends.
int InitInstance(char* pszCmdLine, CMainFrame* pFrame, HINSTANCE hInstance);

// Removes the printer's value from HKCU's Run key, or, for a printer without a name,
// the first value whose data names the parameter file. TRUE when a value that names the
// parameter file was removed: the file belongs to this user's entry and may go too.
BOOL DeleteStartupReg(const char* pszPrinterName, const char* pszParamFile);
