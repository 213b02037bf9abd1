// The window procedure of the hidden frame window: every message goes to the frame's
// handler, then to the default processing.
#include "frame/MainFrame.h"

#include "app/DebugLog.h"
#include "profile/Contracts.h"

CMainFrame* g_pMainFrame = nullptr;

LRESULT CALLBACK MainWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  CMainFrame* pFrame = g_pMainFrame;
  if (pFrame) {
    if (pFrame->m_nTaskbarCreatedMsg && uMsg == pFrame->m_nTaskbarCreatedMsg) {
      pFrame->OnTaskbarCreated();
    } else {
      switch (uMsg) {
        case WM_DESTROY:
          DebugLogWrite("WM_DESTROY");
          pFrame->ShutDown();
          PostQuitMessage(0);
          break;
        case WM_CLOSE:
          DebugLogWrite("WM_CLOSE");
          break;
        case WM_QUERYENDSESSION:
          // The default answer lets the session end, or the Restart Manager close us.
          DebugLogWrite("WM_QUERYENDSESSION");
          break;
        case WM_ENDSESSION:
          DebugLogWrite("WM_ENDSESSION");
          // Ends as a close does, before the system ends the process: the slot goes back
          // and the icon goes away.
          if (wParam) SendMessageA(hWnd, WM_CLOSE, 0, 0);
          break;
        case WM_DRAWITEM:
          pFrame->OnDrawItem(wParam, reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
          break;
        case WM_MEASUREITEM:
          pFrame->OnMeasureItem(wParam, reinterpret_cast<MEASUREITEMSTRUCT*>(lParam));
          break;
        case WM_COMMAND: {
          const UINT nID = LOWORD(wParam);
          if (nID == ID_PRINTER_STATUS)
            pFrame->OnPrinterStatus();
          else if (nID == ID_MONITORING_PREFERENCES)
            pFrame->OnMonitoringPreferences();
          else if (nID >= static_cast<UINT>(AUX_FIRST_ID) && nID <= AUX_ROUTE_LAST_ID)
            pFrame->OnAux(nID);
          break;
        }
        case WM_SETTINGCHANGE:
        case WM_DPICHANGED:
          pFrame->OnSettingChange();
          break;
        case WM_TIMER:
          pFrame->OnTimer(wParam);
          break;
        default:
          if (uMsg == WM_TRAYNOTIFY)
            pFrame->OnTrayNotify(wParam, lParam);
          else if (uMsg == WM_TRAYICONCHANGE)
            pFrame->OnTrayIconChange(wParam, lParam);
          break;
      }
    }
  }
  return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}
