// CCommandLine: reading and deleting parameter files.
#include "cmdline/CommandLine.h"

#include "base/Scoped.h"
#include "base/StrUtil.h"

#include <share.h>

#include <cstring>
#include <memory>
#include <new>

namespace {

bool EndsParamName(char c) {
  return c == '\0' || (c >= '0' && c <= '9') || c == '"' || c == '/' || c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

BOOL CCommandLine::ReadParamFile() {
  if (!m_szParamFileF[0]) return FALSE;

  // As named, else in the temporary folder; the path opened is kept for the delete.
  char szPath[MAX_PATH];
  CStdioFile file(_fsopen(m_szParamFileF, "rt", _SH_DENYNO));
  if (file.IsValid()) {
    CopyStr(szPath, m_szParamFileF);
  } else {
    FillTempDir();
    if (!FormatStr(szPath, sizeof(szPath), "%s%s", m_szTempDir, m_szParamFileF)) return FALSE;
    file.Reset(_fsopen(szPath, "rt", _SH_DENYNO));
    if (!file.IsValid()) return FALSE;
  }
  CopyStr(m_szParamFilePath, szPath);

  std::unique_ptr<char[]> pLine(new (std::nothrow) char[PARAM_LINE_SIZE]);
  if (!pLine) return FALSE;
  while (fgets(pLine.get(), PARAM_LINE_SIZE, file)) {
    char szName[PARAM_NAME_SIZE] = {0};
    const BOOL bHasValue = ParseParamLine(pLine.get(), szName, pLine.get());
    const char* pszValue = bHasValue ? pLine.get() : nullptr;
    ApplySwitch(szName, pszValue);
    if (pszValue && lstrcmpiA(szName, "A") == 0 && strlen(pszValue) < MAX_PATH) CopyStr(m_szParamFileA, pszValue);
  }
  return TRUE;
}

BOOL CCommandLine::ParseParamLine(const char* pszLine, char* pszName, char* pszValue) {
  const char* pszSlash = strchr(pszLine, '/');
  if (!pszSlash) return FALSE;

  const char* pszNameEnd = pszSlash + 1;
  while (!EndsParamName(*pszNameEnd)) ++pszNameEnd;
  // No switch has a long name: one that does not fit is left unknown.
  const size_t cchName = static_cast<size_t>(pszNameEnd - (pszSlash + 1));
  if (cchName < PARAM_NAME_SIZE)
    CopyStrN(pszName, PARAM_NAME_SIZE, pszSlash + 1, cchName);
  else
    pszName[0] = '\0';

  const char* pszQuote = strchr(pszNameEnd, '"');
  if (!pszQuote) return FALSE;

  const char* pszStart = pszQuote + 1;
  size_t cchValue = strlen(pszStart);
  const char* pszLastQuote = strrchr(pszStart, '"');
  if (pszLastQuote) cchValue = static_cast<size_t>(pszLastQuote - pszStart);
  memmove(pszValue, pszStart, cchValue);
  pszValue[cchValue] = '\0';
  return TRUE;
}

BOOL CCommandLine::DeleteParamFile(const char* pszFileName) {
  if (!pszFileName || !*pszFileName) return FALSE;
  const bool bParamFileF = strcmp(pszFileName, m_szParamFileF) == 0;
  if (bParamFileF && m_bParamFileFDeleted) return FALSE;
  // By the path the file was read from, not through the search below, which could find
  // another of the same name elsewhere.
  if (bParamFileF && m_szParamFilePath[0]) return DeleteFileA(m_szParamFilePath);
  if (DeleteFileA(pszFileName)) return TRUE;
  if (!m_szTempDir[0]) FillTempDir();
  char szPath[MAX_PATH];
  if (!FormatStr(szPath, sizeof(szPath), "%s%s", m_szTempDir, pszFileName)) return FALSE;
  return DeleteFileA(szPath);
}
