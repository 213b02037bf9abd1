// CCommandLine: a printer identity and the switches of the command-line language, taken
// from a command line or a parameter file and completed from the spooler and the driver
// key; also writes the parameter file that hands them to the status program.
#pragma once

#include "cmdline/SwitchTokenizer.h"

#include <windows.h>

class CCommandLine : public CSwitchTokenizer {
public:
  CCommandLine();
  // Parses pszCommandLine (the text after the program's name): switches, parameter
  // file, spooler and registry. A text that does not fit the tokenizer is refused whole.
  explicit CCommandLine(const char* pszCommandLine);
  ~CCommandLine() override;

  void Clear();
  int Parse();
  // Applies one switch; a null value (a file line without a quoted value) leaves the
  // string switches as they are, and a value that does not fit is refused.
  void ApplySwitch(const char* pszName, const char* pszValue);
  BOOL ReadParamFile();
  // Splits one parameter-file line; pszName holds PARAM_NAME_SIZE characters and
  // pszValue may be the line itself.
  BOOL ParseParamLine(const char* pszLine, char* pszName, char* pszValue);
  // 1 when the printer could be opened and its level-2 record read; the empty driver and
  // port names are then filled. m_nPrinterError keeps why the printer could not be opened.
  BOOL FillFromPrinter();
  BOOL LookUpModelID();
  // Deletes the parameter file a switch names: the very file ReadParamFile read for it;
  // for a file not read, where the reader would look (as named, else in the temporary
  // folder). The /F file, once consumed by Parse, is never deleted again.
  BOOL DeleteParamFile(const char* pszFileName);

  // Writes the identity and switches to a new parameter file in the temporary folder;
  // 1 with its bare name in m_szParamFileA. A value holding a line break is not written
  // (it would split its line), nor is a file that could not be written out whole: the
  // result is then 0 and no file remains.
  BOOL WriteParamFile(const char* pszPrinterName, const char* pszPortName, const char* pszModelID);
  BOOL CreateTempFileName();
  // FALSE when the file could not be opened, or a write or the close failed.
  BOOL WriteSwitchLines();
  // Deletes the file this object wrote by its full path in m_szTempDir, never through a
  // search (a file of the same name elsewhere is not ours), and empties m_szParamFileA.
  BOOL DeleteWrittenParamFile();

  static const int PARAM_NAME_SIZE = 80;
  static const int PARAM_LINE_SIZE = 1300;

  char m_szTempDir[MAX_PATH];
  int m_bRemove;
  int m_bSwitchS;
  int m_bSwitchE;
  int m_bSwitchC;
  int m_bSwitchU;
  char m_szPrinterName[MAX_PATH];
  char m_szDriverName[MAX_PATH];
  char m_szPortName[MAX_PATH];
  char m_szModelID[MAX_PATH];
  char m_szParamFileF[MAX_PATH];
  char m_szParamFileA[MAX_PATH];
  // The path ReadParamFile opened for m_szParamFileF; empty until a file was read.
  char m_szParamFilePath[MAX_PATH];
  char m_szSwitchJ[MAX_PATH];
  int m_bSwitchBE;
  char m_szSwitchBH[MAX_PATH];
  char m_szSwitchBU[MAX_PATH];
  char m_szSwitchBD[MAX_PATH];
  char m_szSwitchBI[MAX_PATH];
  char m_szSwitchBN[MAX_PATH];
  char m_szSwitchVQM[MAX_PATH];
  int m_bInstall;
  // The last error of the failed open in FillFromPrinter, read straight after it
  // (ERROR_INVALID_PRINTER_NAME: no such printer); 0 when the printer opened.
  DWORD m_nPrinterError;
  // Set once the /F file was deleted after reading: later deletes of that name do nothing.
  int m_bParamFileFDeleted;

private:
  void FillTempDir();
};
