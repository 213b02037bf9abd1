// CCommandLine: construction, switch table, parsing, spooler and registry completion.
#include "cmdline/CommandLine.h"

#include "app/DebugLog.h"
#include "base/RegUtil.h"
#include "base/StrUtil.h"
#include "profile/Contracts.h"

#include <cstring>

namespace {

struct SwitchEntry {
  const char* pszName;
  int CCommandLine::*pFlag;
  char (CCommandLine::*pString)[MAX_PATH];
};

const SwitchEntry g_aSwitches[] = {
    {"P", nullptr, &CCommandLine::m_szPrinterName},
    {"D", nullptr, &CCommandLine::m_szDriverName},
    {"O", nullptr, &CCommandLine::m_szPortName},
    {"M", nullptr, &CCommandLine::m_szModelID},
    {"R", &CCommandLine::m_bRemove, nullptr},
    {"S", &CCommandLine::m_bSwitchS, nullptr},
    {"U", &CCommandLine::m_bSwitchU, nullptr},
    {"C", &CCommandLine::m_bSwitchC, nullptr},
    {"E", &CCommandLine::m_bSwitchE, nullptr},
    {"J", nullptr, &CCommandLine::m_szSwitchJ},
    {"BE", &CCommandLine::m_bSwitchBE, nullptr},
    {"BH", nullptr, &CCommandLine::m_szSwitchBH},
    {"BU", nullptr, &CCommandLine::m_szSwitchBU},
    {"BD", nullptr, &CCommandLine::m_szSwitchBD},
    {"BI", nullptr, &CCommandLine::m_szSwitchBI},
    {"BN", nullptr, &CCommandLine::m_szSwitchBN},
    {"VQM", nullptr, &CCommandLine::m_szSwitchVQM},
    {"I", &CCommandLine::m_bInstall, nullptr},
};

}  // namespace

CCommandLine::CCommandLine() { Clear(); }

CCommandLine::CCommandLine(const char* pszCommandLine) {
  Clear();
  if (!CopyStr(m_szCommandLine, pszCommandLine)) {
    // Refused whole; the line explains a log-on that then does nothing.
    m_szCommandLine[0] = '\0';
    DebugLogWrite("CCommandLine : command line too long");
  }
  Parse();
}

CCommandLine::~CCommandLine() {}

void CCommandLine::Clear() {
  m_szTempDir[0] = '\0';
  m_bRemove = m_bSwitchS = m_bSwitchE = m_bSwitchC = m_bSwitchU = 0;
  m_szPrinterName[0] = m_szDriverName[0] = m_szPortName[0] = m_szModelID[0] = '\0';
  m_szParamFileF[0] = m_szParamFileA[0] = m_szParamFilePath[0] = m_szSwitchJ[0] = '\0';
  m_bSwitchBE = 0;
  m_szSwitchBH[0] = m_szSwitchBU[0] = m_szSwitchBD[0] = m_szSwitchBI[0] = '\0';
  m_szSwitchBN[0] = m_szSwitchVQM[0] = '\0';
  m_bInstall = 0;
  m_nPrinterError = 0;
  m_bParamFileFDeleted = 0;
}

void CCommandLine::ApplySwitch(const char* pszName, const char* pszValue) {
  for (const SwitchEntry& entry : g_aSwitches) {
    if (lstrcmpiA(pszName, entry.pszName) != 0) continue;
    if (entry.pFlag) {
      this->*entry.pFlag = 1;
    } else if (pszValue && strlen(pszValue) < MAX_PATH) {
      CopyStr(this->*entry.pString, pszValue);
    }
    return;
  }
}

int CCommandLine::Parse() {
  for (int nIndex = 0;; ++nIndex) {
    char szName[MAX_PATH] = {0};
    char szValue[MAX_PATH] = {0};
    if (GetSwitch(nIndex, szName, szValue) == -1) break;
    ApplySwitch(szName, szValue);
    if (lstrcmpiA(szName, "F") == 0)
      CopyStr(m_szParamFileF, szValue);
    else if (lstrcmpiA(szName, "A") == 0)
      CopyStr(m_szParamFileA, szValue);
  }

  if (m_szParamFileA[0]) {
    CopyStr(m_szParamFileF, m_szParamFileA);
    m_szParamFileA[0] = '\0';
    ReadParamFile();
  } else if (m_szParamFileF[0]) {
    ReadParamFile();
    DeleteParamFile(m_szParamFileF);
    // Consumed: a file of that name made later (another program's) is not ours to delete.
    m_bParamFileFDeleted = 1;
  }

  if (!m_szSwitchBH[0] || !m_szSwitchBU[0] || !m_szSwitchBD[0] || !m_szSwitchBI[0]) m_bSwitchBE = 0;

  // Remove mode needs only the key the line names: the spooler may no longer know a
  // deleted printer, or be down.
  if (m_bRemove) return 1;
  FillFromPrinter();
  LookUpModelID();
  return 1;
}

BOOL CCommandLine::LookUpModelID() {
  if (!m_szDriverName[0]) return FALSE;
  if (m_szModelID[0]) return TRUE;
  char szKey[MAX_PATH];
  if (!FormatStr(szKey, sizeof(szKey), REG_DRIVER_KEY_FMT, REG_DRIVER_KEY_PREFIX, m_szDriverName)) return FALSE;
  return RegReadKeyString(HKEY_LOCAL_MACHINE, szKey, REG_MODEL_ID, m_szModelID, sizeof(m_szModelID));
}

void CCommandLine::FillTempDir() {
  DWORD cch = GetTempPathA(sizeof(m_szTempDir), m_szTempDir);
  if (cch == 0 || cch >= sizeof(m_szTempDir)) CopyStr(m_szTempDir, ".\\");
}
