// CCommandLine: writing the parameter file that hands the identity and switches to the
// status program, one switch per line, in the temporary folder.
#include "cmdline/CommandLine.h"

#include "base/Scoped.h"
#include "base/StrUtil.h"
#include "profile/Contracts.h"

#include <share.h>

#include <cstring>

namespace {

bool HasLineBreak(const char* psz) { return strpbrk(psz, "\r\n") != nullptr; }

void WriteStringLine(FILE* pFile, const char* pszFormat, const char* pszValue) {
  if (!pszValue[0]) return;
  char szLine[MAX_PATH + 16];
  FormatStr(szLine, sizeof(szLine), pszFormat, pszValue);
  fputs(szLine, pFile);
}

void WriteFlagLine(FILE* pFile, const char* pszLine, int bFlag) {
  if (bFlag) fputs(pszLine, pFile);
}

}  // namespace

BOOL CCommandLine::WriteParamFile(const char* pszPrinterName, const char* pszPortName, const char* pszModelID) {
  const char* apszValues[] = {pszPrinterName,
                              pszPortName,
                              pszModelID,
                              m_szDriverName,
                              m_szSwitchJ,
                              m_szSwitchBH,
                              m_szSwitchBU,
                              m_szSwitchBD,
                              m_szSwitchBI,
                              m_szSwitchBN,
                              m_szSwitchVQM};
  for (const char* pszValue : apszValues)
    if (HasLineBreak(pszValue)) return FALSE;

  CreateTempFileName();
  if (!m_szParamFileA[0]) return FALSE;

  CopyStr(m_szPrinterName, pszPrinterName);
  CopyStr(m_szPortName, pszPortName);
  CopyStr(m_szModelID, pszModelID);
  if (WriteSwitchLines()) return TRUE;
  DeleteWrittenParamFile();
  return FALSE;
}

BOOL CCommandLine::DeleteWrittenParamFile() {
  char szPath[MAX_PATH];
  if (!m_szParamFileA[0] || !FormatStr(szPath, sizeof(szPath), "%s%s", m_szTempDir, m_szParamFileA)) return FALSE;
  if (!DeleteFileA(szPath)) return FALSE;
  m_szParamFileA[0] = '\0';
  return TRUE;
}

BOOL CCommandLine::CreateTempFileName() {
  FillTempDir();
  char szFullName[MAX_PATH] = {0};
  if (!GetTempFileNameA(m_szTempDir, PARAM_FILE_PREFIX, 0, szFullName)) {
    m_szParamFileA[0] = '\0';
    return FALSE;
  }
  const size_t cchDir = strlen(m_szTempDir);
  CopyStr(m_szParamFileA, strlen(szFullName) > cchDir ? szFullName + cchDir : "");
  return m_szParamFileA[0] != '\0';
}

BOOL CCommandLine::WriteSwitchLines() {
  char szPath[MAX_PATH];
  if (!FormatStr(szPath, sizeof(szPath), "%s%s", m_szTempDir, m_szParamFileA)) return FALSE;
  CStdioFile file(_fsopen(szPath, "wt", _SH_DENYNO));
  if (!file.IsValid()) return FALSE;

  WriteStringLine(file, "/P \"%s\"\n", m_szPrinterName);
  WriteStringLine(file, "/D \"%s\"\n", m_szDriverName);
  WriteStringLine(file, "/O \"%s\"\n", m_szPortName);
  WriteStringLine(file, "/M \"%s\"\n", m_szModelID);
  WriteStringLine(file, "/J \"%s\"\n", m_szSwitchJ);
  WriteFlagLine(file, "/S\n", m_bSwitchS);
  WriteFlagLine(file, "/R\n", m_bRemove);
  WriteFlagLine(file, "/E\n", m_bSwitchE);
  WriteFlagLine(file, "/U\n", m_bSwitchU);
  WriteFlagLine(file, "/C\n", m_bSwitchC);
  WriteFlagLine(file, "/BE\n", m_bSwitchBE);
  WriteStringLine(file, "/BH \"%s\"\n", m_szSwitchBH);
  WriteStringLine(file, "/BU \"%s\"\n", m_szSwitchBU);
  WriteStringLine(file, "/BD \"%s\"\n", m_szSwitchBD);
  WriteStringLine(file, "/BI \"%s\"\n", m_szSwitchBI);
  WriteStringLine(file, "/BN \"%s\"\n", m_szSwitchBN);
  WriteStringLine(file, "/VQM \"%s\"\n", m_szSwitchVQM);
  WriteFlagLine(file, "/I\n", m_bInstall);
  // A full or failing drive leaves a short file: the stream keeps the error of any write,
  // and the close writes out what is still buffered.
  const bool bWritten = !ferror(file);
  return fclose(file.Detach()) == 0 && bWritten;
}
