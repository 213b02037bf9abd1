// Program entry: the debug log, the one frame, instance start-up and the message loop.
#include "app/DebugLog.h"
#include "app/InitInstance.h"
#include "frame/MainFrame.h"
#include "profile/Contracts.h"

#include <cstring>

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR lpCmdLine, int) {
  DebugLogInit(DEBUG_LOG_PATH, REG_DEBUG_VALUE);
  DebugLogWrite("***** LOG START ******");

  MSG msg;
  memset(&msg, 0, sizeof(msg));
  int nExitCode = 0;
  {
    CMainFrame frame;
    g_pMainFrame = &frame;
    if (InitInstance(lpCmdLine, &frame, hInstance) == 1) {
      ShowWindow(frame.m_hWnd, SW_HIDE);
      UpdateWindow(frame.m_hWnd);
      // -1 (an invalid argument) would spin forever; only WM_QUIT's 0 ends the loop normally.
      while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
      }
    }
    DebugLogWrite("***** LOG END ******");
    DebugLogClose();
    nExitCode = static_cast<int>(msg.wParam);
    g_pMainFrame = nullptr;
  }
  return nExitCode;
}
