// Switch tokenizer of the command-line language.
#include "cmdline/SwitchTokenizer.h"

#include "base/StrUtil.h"

#include <cstring>

namespace {

// A declared length only positions the scan inside a text of at most 259 characters;
// anything beyond this cap runs past the end all the same, and the cap keeps every
// position sum far from the integer limit.
const int MAX_DECLARED_LENGTH = 100000;

bool EndsName(char c) {
  return (c >= '0' && c <= '9') || c == '"' || c == '/' || c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool EndsDeclaredLength(char c) { return c == '\n' || c == '"' || c == '/'; }

int NotFound(char* pszName, char* pszValue) {
  pszName[0] = '\0';
  pszValue[0] = '\0';
  return -1;
}

}  // namespace

CSwitchTokenizer::CSwitchTokenizer() { memset(m_szCommandLine, 0, sizeof(m_szCommandLine)); }

CSwitchTokenizer::~CSwitchTokenizer() {}

int CSwitchTokenizer::GetSwitch(int nIndex, char* pszName, char* pszValue) {
  const char* psz = m_szCommandLine;
  const int n = static_cast<int>(strnlen(psz, sizeof(m_szCommandLine)));
  int p = 0;
  bool bOutsideQuotes = true;
  bool bFound = false;
  int k = 0;
  int nDeclared = 0;

  while (p < n) {
    if (bOutsideQuotes && psz[p] == '/') {
      const int nNameStart = p + 1;
      p = nNameStart;
      while (p < n && !EndsName(psz[p])) ++p;
      CopyStrN(pszName, MAX_PATH, psz + nNameStart, static_cast<size_t>(p - nNameStart));

      nDeclared = 0;
      for (int q = p; q < n && !EndsDeclaredLength(psz[q]); ++q) {
        if (psz[q] >= '0' && psz[q] <= '9') {
          nDeclared = nDeclared * 10 + (psz[q] - '0');
          if (nDeclared > MAX_DECLARED_LENGTH) nDeclared = MAX_DECLARED_LENGTH;
        }
        p = q;
      }

      if (k == nIndex) {
        bFound = true;
        break;
      }
      ++k;
      if (nDeclared > 0) p += nDeclared + 1;
    }
    if (p < n && nDeclared == 0 && psz[p] == '"') bOutsideQuotes = !bOutsideQuotes;
    ++p;
  }
  if (!bFound) return NotFound(pszName, pszValue);

  if (nDeclared > 0) {
    if (p + nDeclared + 1 >= n) return nDeclared;
    const char* pszQuote = strchr(psz + p, '"');
    if (!pszQuote) return NotFound(pszName, pszValue);
    CopyStrN(pszValue, MAX_PATH, pszQuote + 1, static_cast<size_t>(nDeclared));
    return nDeclared;
  }

  // Count the characters of the first quoted run after the switch.
  int nCounted = 0;
  bool bInRun = false;
  for (int q = p; q < n && psz[q] != '\n' && !(psz[q] == '/' && !bInRun); ++q) {
    if (psz[q] == '"') {
      if (bInRun) break;
      bInRun = true;
    } else if (bInRun) {
      ++nCounted;
    }
  }
  if (nCounted == 0 || p + nCounted + 1 >= n) return nCounted;
  const char* pszQuote = strchr(psz + p, '"');
  CopyStrN(pszValue, MAX_PATH, pszQuote + 1, static_cast<size_t>(nCounted));
  return nCounted;
}
