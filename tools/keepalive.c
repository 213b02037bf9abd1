// Keeps the Wine desktop of the test prefix alive between test programs: Wine closes it
// about a second after the last window goes, and the next test would restart it. Holds
// one hidden window and ends once its stamp file has not been touched for a while.
#include <windows.h>

#include <stdlib.h>

// Whether the stamp file is gone or untouched for nIdle (in 100 ns units).
static BOOL Idle(const char* pszStamp, ULONGLONG nIdle) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  ULARGE_INTEGER now;
  GetSystemTimeAsFileTime((FILETIME*)&now);
  if (!GetFileAttributesExA(pszStamp, GetFileExInfoStandard, &data)) return TRUE;
  const ULARGE_INTEGER stamp = {{data.ftLastWriteTime.dwLowDateTime, data.ftLastWriteTime.dwHighDateTime}};
  return now.QuadPart >= stamp.QuadPart + nIdle;
}

// keepalive.exe <idle-seconds> <stamp-file> <ready-file>: the ready file is written once
// the window (and with it the desktop) exists.
int main(int argc, char** argv) {
  if (argc != 4) return 2;
  const ULONGLONG nIdle = strtoull(argv[1], NULL, 10) * 10000000u;
  // One per prefix: a second one started by a racing test runner leaves at once.
  CreateMutexA(NULL, FALSE, "prw3-test-keepalive");
  if (GetLastError() == ERROR_ALREADY_EXISTS) return 0;
  if (!CreateWindowExA(0, "STATIC", "", WS_OVERLAPPED, 0, 0, 1, 1, NULL, NULL, NULL, NULL) ||
      !SetTimer(NULL, 0, 1000, NULL))
    return 1;
  CloseHandle(CreateFileA(argv[3], GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL));
  // The timer's ticks come to the thread's queue.
  for (MSG msg; GetMessageA(&msg, NULL, 0, 0) > 0;) {
    if (msg.message == WM_TIMER && Idle(argv[2], nIdle)) return 0;
    DispatchMessageA(&msg);
  }
  return 0;
}
