// CMainFrame: the driver's auxiliary items appended to the pop-up menu, with their
// separators and the DepExe item that shows only when the driver's IO_URL key exists.
#include "frame/MainFrame.h"

#include "base/RegUtil.h"
#include "base/Scoped.h"
#include "base/StrUtil.h"
#include "profile/Contracts.h"

#include <climits>
#include <cstring>

namespace {

const int MAX_SEPARATORS = AUX_ITEM_COUNT;

bool OpenMenuKey(const char* pszDriverName, CRegKey& hKey) {
  char szKey[MAX_PATH];
  return FormatStr(szKey, sizeof(szKey), REG_MENU_KEY_FMT, REG_DRIVER_KEY_PREFIX, pszDriverName) &&
         RegOpenKeyExA(HKEY_LOCAL_MACHINE, szKey, 0, KEY_READ, hKey.Receive()) == ERROR_SUCCESS;
}

// A piece of "Separators": leading white space, an optional sign, then decimal digits;
// a piece without digits gives 0. Values are held within int.
int PieceToInt(const char* p, const char* pEnd) {
  while (p < pEnd && (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n' || *p == '\v' || *p == '\f')) ++p;
  bool bNegative = false;
  if (p < pEnd && (*p == '+' || *p == '-')) bNegative = *p++ == '-';
  long long nValue = 0;
  for (; p < pEnd && *p >= '0' && *p <= '9'; ++p)
    if (nValue < INT_MAX) nValue = nValue * 10 + (*p - '0');
  if (nValue > INT_MAX) nValue = INT_MAX;
  return static_cast<int>(bNegative ? -nValue : nValue);
}

// Splits "Separators" at each comma into at most MAX_SEPARATORS numbers, in order.
void ParseSeparators(const char* pszList, int* pnList) {
  const char* p = pszList;
  for (int n = 0; n < MAX_SEPARATORS; ++n) {
    const char* pComma = strchr(p, ',');
    const char* pEnd = pComma ? pComma : p + strlen(p);
    pnList[n] = PieceToInt(p, pEnd);
    if (!pComma) break;
    p = pComma + 1;
  }
}

}  // namespace

BOOL CMainFrame::BuildAuxMenu(HMENU hPopup) {
  CRegKey hMenuKey;
  if (!OpenMenuKey(m_szDriverName, hMenuKey)) {
    ReleaseMenuItems();
    return FALSE;
  }
  AppendMenuA(hPopup, MF_SEPARATOR, 0, nullptr);

  char szDepExe[MAX_PATH];
  GetDepExeName(szDepExe, sizeof(szDepExe));
  const BOOL bIoUrl = HasIoUrlKey();
  UINT nDepExeID = 0;
  for (UINT nID = AUX_FIRST_ID; nID <= static_cast<UINT>(AUX_LAST_ID); ++nID) {
    if (IsDepExeMenuItem(nID, szDepExe)) {
      nDepExeID = nID;
      break;
    }
  }

  int anSeparators[MAX_SEPARATORS + 1] = {0};
  char szSeparators[MAX_PATH] = {0};
  if (RegReadString(hMenuKey, REG_SEPARATORS, szSeparators) && szSeparators[0])
    ParseSeparators(szSeparators, anSeparators);

  int nShown = 0;
  int nSeparator = 0;
  for (UINT nID = AUX_FIRST_ID; nID <= static_cast<UINT>(AUX_LAST_ID); ++nID) {
    char szValueName[16];
    FormatStr(szValueName, sizeof(szValueName), "%d", static_cast<int>(nID));
    char szCommand[MAX_PATH] = {0};
    if (!RegReadString(hMenuKey, szValueName, szCommand) || !szCommand[0]) continue;

    char szText[MAX_PATH] = {0};
    LoadStringA(m_hResDll, nID, szText, sizeof(szText));
    if (nID == nDepExeID && !bIoUrl) szText[0] = '\0';
    if (!szText[0]) continue;

    ++nShown;
    if (nSeparator < MAX_SEPARATORS && nShown == anSeparators[nSeparator]) {
      AppendMenuA(hPopup, MF_SEPARATOR, 0, nullptr);
      ++nSeparator;
    }

    if (!m_pMenuItems || m_nMenuItemCount == 0) {
      // Without records nothing can be drawn by the owner: the item shows as plain text.
      AppendMenuA(hPopup, MF_STRING, nID, szText);
      continue;
    }
    CMenuItem& item = m_pMenuItems[nID - AUX_FIRST_ID];
    item.m_hBitmap = LoadBitmapA(m_hResDll, MAKEINTRESOURCEA(nID));
    item.m_nID = static_cast<int>(nID);
    CopyStr(item.m_szText, szText);
    item.m_msaa.dwMSAASignature = MSAA_MENU_SIG;
    item.m_msaa.cchWText = 0;
    item.m_msaa.pszWText = item.m_szTextW;
    const int cchWide = MultiByteToWideChar(CP_ACP, 0, item.m_szText, -1, item.m_szTextW, MAX_PATH);
    if (cchWide > 0) item.m_msaa.cchWText = static_cast<DWORD>(cchWide - 1);
    item.m_szTextW[item.m_msaa.cchWText] = L'\0';
    AppendMenuA(hPopup, MF_OWNERDRAW, nID, reinterpret_cast<LPCSTR>(&item.m_msaa));
  }
  return TRUE;
}

BOOL CMainFrame::GetDepExeName(char* pszName, int cchName) {
  if (!pszName || cchName <= 0) return FALSE;
  memset(pszName, 0, static_cast<size_t>(cchName));
  char szKey[MAX_PATH];
  if (!FormatStr(szKey, sizeof(szKey), REG_DRIVER_KEY_FMT, REG_DRIVER_KEY_PREFIX, m_szDriverName)) return FALSE;
  char szDepExe[MAX_PATH] = {0};
  if (!RegReadKeyString(HKEY_LOCAL_MACHINE, szKey, REG_DEP_EXE, szDepExe, sizeof(szDepExe)) || !szDepExe[0])
    return FALSE;
  const char* pszSlash = strrchr(szDepExe, '\\');
  if (pszSlash) CopyStr(pszName, static_cast<size_t>(cchName), pszSlash + 1);
  UpperAscii(pszName);
  return TRUE;
}

BOOL CMainFrame::IsDepExeMenuItem(UINT nID, const char* pszName) {
  if (!pszName || !pszName[0]) return FALSE;
  CRegKey hMenuKey;
  if (!OpenMenuKey(m_szDriverName, hMenuKey)) return FALSE;
  char szValueName[16];
  FormatStr(szValueName, sizeof(szValueName), "%u", nID);
  char szCommand[MAX_PATH] = {0};
  if (!RegReadString(hMenuKey, szValueName, szCommand) || !szCommand[0]) return FALSE;
  UpperAscii(szCommand);
  return strstr(szCommand, pszName) && strstr(szCommand, "MENU");
}

BOOL CMainFrame::HasIoUrlKey() {
  char szKey[MAX_PATH];
  if (!FormatStr(szKey, sizeof(szKey), REG_IO_URL_KEY_FMT, m_szDriverName)) return FALSE;
  CRegKey hKey;
  return RegOpenKeyExA(HKEY_LOCAL_MACHINE, szKey, 0, KEY_READ, hKey.Receive()) == ERROR_SUCCESS;
}
