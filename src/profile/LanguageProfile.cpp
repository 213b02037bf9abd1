// Language section selection: [Language] is read whole into a buffer that grows until
// the listing fits, its lines are split in place, and the entry chosen for a language
// is accepted only when its "ResDll" file lies beside the INI file.
#include "profile/LanguageProfile.h"

#include "base/StrUtil.h"
#include "profile/Contracts.h"
#include "profile/DriverPaths.h"

#include <cstring>
#include <memory>
#include <new>

namespace {

const DWORD LANGUAGE_BUFFER_STEP = 260;
const LANGID FALLBACK_LANGID = 0x0409;
const WORD PRIMARY_ENGLISH = 9;

WORD ParseLanguageNumber(const char* psz) {
  unsigned nValue = 0;
  for (; *psz; ++psz) {
    const char c = *psz;
    unsigned nDigit;
    if (c >= '0' && c <= '9')
      nDigit = static_cast<unsigned>(c - '0');
    else if (c >= 'A' && c <= 'F')
      nDigit = static_cast<unsigned>(c - 'A' + 10);
    else if (c >= 'a' && c <= 'f')
      nDigit = static_cast<unsigned>(c - 'a' + 10);
    else
      continue;
    nValue = (nValue * 16 + nDigit) & 0xFFFF;
  }
  return static_cast<WORD>(nValue);
}

// One [Language] line, split in place: "section=primary,sub[,ignored]". Missing parts
// point at the line's own terminator.
struct LanguageLine {
  char* pszSection;
  char* pszPrimary;
  char* pszSub;
};

class CLanguageList {
public:
  // Reads and splits [Language]; false when it is missing, empty or cannot be held.
  bool Read(LPCSTR szIniFile) {
    DWORD cbText = 0;
    DWORD cchText = 0;
    // A listing that does not fit comes back cut, with exactly the size less 2.
    do {
      cbText += LANGUAGE_BUFFER_STEP;
      m_pText.reset(new (std::nothrow) char[cbText]());
      if (!m_pText) return false;
      cchText = GetPrivateProfileSectionA(INI_LANGUAGE_SECTION, m_pText.get(), cbText, szIniFile);
    } while (cchText == cbText - 2);

    m_nLines = 0;
    for (DWORD i = 0; i < cchText; ++i)
      if (m_pText[i] == '\0') ++m_nLines;
    if (m_nLines == 0) return false;
    m_pLines.reset(new (std::nothrow) LanguageLine[m_nLines]());
    if (!m_pLines) return false;

    char* pszLine = m_pText.get();
    for (DWORD i = 0; i < m_nLines; ++i) {
      char* pszEnd = pszLine + strlen(pszLine);
      LanguageLine& line = m_pLines[i];
      line.pszSection = pszLine;
      line.pszPrimary = line.pszSub = pszEnd;
      if (char* pszEquals = strchr(pszLine, '=')) {
        *pszEquals = '\0';
        line.pszPrimary = pszEquals + 1;
        if (char* pszComma = strchr(line.pszPrimary, ',')) {
          *pszComma = '\0';
          line.pszSub = pszComma + 1;
          if (char* pszRest = strchr(line.pszSub, ',')) *pszRest = '\0';
        }
      }
      pszLine = pszEnd + 1;
    }
    return true;
  }

  DWORD Count() const { return m_nLines; }
  const LanguageLine& Line(DWORD i) const { return m_pLines[i]; }

  // The entry for a language: the exact language, else the first of the same primary
  // language, else the first English one, else the first entry.
  DWORD Choose(LANGID nLangID) const {
    const WORD nPrimary = static_cast<WORD>(nLangID & 0x3FF);
    const WORD nSub = static_cast<WORD>(nLangID >> 10);
    DWORD nCandidate = 0;
    int nLevel = 0;
    for (DWORD i = 0; i < m_nLines; ++i) {
      const WORD nLinePrimary = ParseLanguageNumber(m_pLines[i].pszPrimary);
      if (nLinePrimary == nPrimary) {
        if (ParseLanguageNumber(m_pLines[i].pszSub) == nSub) return i;
        if (nLevel < 2) {
          nCandidate = i;
          nLevel = 2;
        }
      } else if (nLinePrimary == PRIMARY_ENGLISH && nLevel == 0) {
        nCandidate = i;
        nLevel = 1;
      }
    }
    return nCandidate;
  }

private:
  std::unique_ptr<char[]> m_pText;
  std::unique_ptr<LanguageLine[]> m_pLines;
  DWORD m_nLines = 0;
};

enum class SectionTest { Passed, Failed, NameTooLong };

// Copies the entry's section name to szSection and tests its "ResDll" file in szDir.
SectionTest TestSection(const LanguageLine& line, LPCSTR szDir, LPCSTR szIniFile, char* szSection) {
  if (!CopyStr(szSection, MAX_PATH, line.pszSection)) return SectionTest::NameTooLong;
  char szResDll[MAX_PATH];
  const DWORD cch = GetPrivateProfileStringA(szSection, INI_RES_DLL, "", szResDll, sizeof(szResDll), szIniFile);
  // A value that fills the buffer may have been cut, and a cut name may be another file.
  if (cch == 0 || cch >= sizeof(szResDll) - 1) return SectionTest::Failed;
  char szPath[MAX_PATH];
  if (!FormatStr(szPath, sizeof(szPath), "%s%s", szDir, szResDll)) return SectionTest::Failed;
  return FileExists(szPath) ? SectionTest::Passed : SectionTest::Failed;
}

bool SelectLanguageSection(LPCSTR szIniFile, char* szSection) {
  if (!szIniFile || !szIniFile[0]) return false;
  char szDir[MAX_PATH];
  if (!GetIniFileDir(szIniFile, szDir)) return false;
  CLanguageList list;
  if (!list.Read(szIniFile)) return false;

  const LANGID anLangIDs[] = {GetUserDefaultLangID(), FALLBACK_LANGID};
  for (LANGID nLangID : anLangIDs) {
    const SectionTest result = TestSection(list.Line(list.Choose(nLangID)), szDir, szIniFile, szSection);
    if (result != SectionTest::Failed) return result == SectionTest::Passed;
  }
  for (DWORD i = 0; i < list.Count(); ++i) {
    const SectionTest result = TestSection(list.Line(i), szDir, szIniFile, szSection);
    if (result != SectionTest::Failed) return result == SectionTest::Passed;
  }
  return false;
}

}  // namespace

int GetLanguageProfileString(LPCSTR szKey, char* szValue, const DWORD* pcchValue, LPCSTR szIniFile) {
  char szSection[MAX_PATH];
  if (!SelectLanguageSection(szIniFile, szSection)) return -1;

  const DWORD cchValue = *pcchValue;
  if (cchValue < 2) return -1;
  std::unique_ptr<char[]> pValue(new (std::nothrow) char[cchValue]());
  if (!pValue) return -1;
  const DWORD cch = GetPrivateProfileStringA(szSection, szKey, "", pValue.get(), cchValue, szIniFile);
  if (cch == 0 || cch >= cchValue - 1) return -1;
  memcpy(szValue, pValue.get(), cch + 1);
  return 0;
}
