// winsim: the notification-area call, with a tray that tests can read back.
#pragma once

#include <windows.h>

typedef struct _NOTIFYICONDATAA {
  DWORD cbSize;
  HWND hWnd;
  UINT uID;
  UINT uFlags;
  UINT uCallbackMessage;
  HICON hIcon;
  CHAR szTip[128];
  DWORD dwState;
  DWORD dwStateMask;
  CHAR szInfo[256];
  union {
    UINT uTimeout;
    UINT uVersion;
  };
  CHAR szInfoTitle[64];
  DWORD dwInfoFlags;
} NOTIFYICONDATAA, *PNOTIFYICONDATAA;

// The first record form: the fields up to a 64-character tip.
#define NOTIFYICONDATAA_V1_SIZE FIELD_OFFSET(NOTIFYICONDATAA, szTip[64])
// The second form, with a 128-character tip, is the whole record here.
#define NOTIFYICONDATAA_V2_SIZE sizeof(NOTIFYICONDATAA)

#define NIM_ADD 0x00000000
#define NIM_MODIFY 0x00000001
#define NIM_DELETE 0x00000002
#define NIF_MESSAGE 0x00000001
#define NIF_ICON 0x00000002
#define NIF_TIP 0x00000004

BOOL WINAPI Shell_NotifyIconA(DWORD dwMessage, PNOTIFYICONDATAA lpData);
