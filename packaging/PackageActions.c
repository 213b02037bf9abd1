/* The package's own deferred custom actions, for the files whose text depends on its
 * properties (the model's INI file, the start-up entry's parameter file). CustomActionData,
 * read in the ANSI code page, as the resident reads the files:
 *   WriteTextFile  the file's path, a line feed, then the file's bytes;
 *   DeleteFiles    paths, one per line (a missing file is no error). */
#include <windows.h>

#include <msiquery.h>
#include <string.h>

/* The action's data in a heap block (free with HeapFree), or NULL. */
static char* ReadActionData(MSIHANDLE hInstall, DWORD* pcch) {
  char szEmpty[1] = "";
  DWORD cch = 0;
  UINT result = MsiGetPropertyA(hInstall, "CustomActionData", szEmpty, &cch);
  if (result != ERROR_MORE_DATA && result != ERROR_SUCCESS) return NULL;
  ++cch;
  char* pData = HeapAlloc(GetProcessHeap(), 0, cch);
  if (!pData) return NULL;
  if (MsiGetPropertyA(hInstall, "CustomActionData", pData, &cch) != ERROR_SUCCESS) {
    HeapFree(GetProcessHeap(), 0, pData);
    return NULL;
  }
  *pcch = cch;
  return pData;
}

UINT __stdcall WriteTextFile(MSIHANDLE hInstall) {
  DWORD cch = 0;
  char* pData = ReadActionData(hInstall, &cch);
  if (!pData) return ERROR_INSTALL_FAILURE;
  UINT result = ERROR_INSTALL_FAILURE;
  char* pText = memchr(pData, '\n', cch);
  if (pText) {
    *pText++ = '\0';
    DWORD cbText = cch - (DWORD)(pText - pData);
    HANDLE hFile = CreateFileA(pData, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile != INVALID_HANDLE_VALUE) {
      DWORD cbWritten = 0;
      BOOL bWritten = WriteFile(hFile, pText, cbText, &cbWritten, NULL) && cbWritten == cbText;
      if (CloseHandle(hFile) && bWritten) result = ERROR_SUCCESS;
    }
  }
  HeapFree(GetProcessHeap(), 0, pData);
  return result;
}

UINT __stdcall DeleteFiles(MSIHANDLE hInstall) {
  DWORD cch = 0;
  char* pData = ReadActionData(hInstall, &cch);
  if (!pData) return ERROR_SUCCESS;
  for (char* pPath = pData; pPath < pData + cch;) {
    char* pEnd = memchr(pPath, '\n', cch - (DWORD)(pPath - pData));
    if (pEnd) *pEnd = '\0';
    if (*pPath) DeleteFileA(pPath);
    if (!pEnd) break;
    pPath = pEnd + 1;
  }
  HeapFree(GetProcessHeap(), 0, pData);
  return ERROR_SUCCESS;
}
