// The demo programs' record line and information window.
#include "DemoProgram.h"

#include <cstdlib>

namespace {

const char RECORD_FILE_VAR[] = "PRW3_RECORD_FILE";
const char TIMEOUT_VAR[] = "PRW3_STATUS_TIMEOUT_MS";
const char WINDOW_CLASS[] = "Prw3DemoProgram";
const UINT_PTR CLOSE_TIMER_ID = 1;
const int MARGIN = 10;
const int VALUE_COLUMN = 110;  // pixels from the margin to a line's text after its tab

std::string g_text;

std::string GetEnv(const char* pszName) {
  char sz[MAX_PATH] = {0};
  DWORD n = GetEnvironmentVariableA(pszName, sz, sizeof(sz));
  return n > 0 && n < sizeof(sz) ? sz : "";
}

std::string OneLine(std::string value) {
  for (char& c : value)
    if (c == '\t' || c == '\r' || c == '\n') c = ' ';
  return value;
}

LRESULT CALLBACK InfoWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  switch (uMsg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC hdc = BeginPaint(hWnd, &ps);
      TEXTMETRICA tm;
      GetTextMetricsA(hdc, &tm);
      SetBkMode(hdc, TRANSPARENT);
      int y = MARGIN;
      for (size_t start = 0; start <= g_text.size(); y += tm.tmHeight) {
        size_t end = g_text.find('\n', start);
        if (end == std::string::npos) end = g_text.size();
        std::string line = g_text.substr(start, end - start);
        size_t tab = line.find('\t');
        TextOutA(hdc, MARGIN, y, line.c_str(), static_cast<int>(tab == std::string::npos ? line.size() : tab));
        if (tab != std::string::npos)
          TextOutA(hdc, MARGIN + VALUE_COLUMN, y, line.c_str() + tab + 1, static_cast<int>(line.size() - tab - 1));
        start = end + 1;
      }
      EndPaint(hWnd, &ps);
      return 0;
    }
    case WM_TIMER:
      // The window goes with the process: destroying it first would let Wine wait up to
      // two seconds for a window manager (none runs on a test display) to withdraw it.
      if (wParam == CLOSE_TIMER_ID) PostQuitMessage(0);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(hWnd, uMsg, wParam, lParam);
  }
}

}  // namespace

void AppendRecord(const char* pszProgram, const RecordFields& fields) {
  std::string path = GetEnv(RECORD_FILE_VAR);
  if (path.empty()) return;
  char szModule[MAX_PATH] = {0};
  GetModuleFileNameA(nullptr, szModule, sizeof(szModule) - 1);

  std::string line = std::string("program=") + pszProgram + "\tmodule=" + OneLine(szModule) +
                     "\tcmdline=" + OneLine(GetCommandLineA());
  for (const auto& field : fields) line += "\t" + field.first + "=" + OneLine(field.second);
  line += "\r\n";

  // One write in append mode, so that lines of programs running at once stay whole.
  HANDLE hFile = CreateFileA(path.c_str(),
                             FILE_APPEND_DATA,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr,
                             OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL,
                             nullptr);
  if (hFile == INVALID_HANDLE_VALUE) return;
  DWORD dwWritten = 0;
  WriteFile(hFile, line.data(), static_cast<DWORD>(line.size()), &dwWritten, nullptr);
  CloseHandle(hFile);
}

int RunInfoWindow(HINSTANCE hInstance, const std::string& title, const std::string& text) {
  g_text = text;
  WNDCLASSA wc = {};
  wc.lpfnWndProc = InfoWndProc;
  wc.hInstance = hInstance;
  wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = WINDOW_CLASS;
  RegisterClassA(&wc);

  HWND hWnd = CreateWindowExA(0,
                              WINDOW_CLASS,
                              title.c_str(),
                              WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU,
                              CW_USEDEFAULT,
                              CW_USEDEFAULT,
                              420,
                              220,
                              nullptr,
                              nullptr,
                              hInstance,
                              nullptr);
  if (!hWnd) return 1;
  std::string timeout = GetEnv(TIMEOUT_VAR);
  if (!timeout.empty())
    SetTimer(hWnd, CLOSE_TIMER_ID, static_cast<UINT>(std::strtoul(timeout.c_str(), nullptr, 10)), nullptr);
  ShowWindow(hWnd, SW_SHOWNORMAL);
  UpdateWindow(hWnd);

  MSG msg = {};
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return static_cast<int>(msg.wParam);
}
