// prw3ctl: drives a running resident from outside, for tests and demonstrations.
//   prw3ctl [-t MS] find               prints the resident's window
//   prw3ctl [-t MS] rclick | dblclick   posts a right-button press / double click on its icon
//   prw3ctl [-t MS] menu-choose ID      chooses command ID (900, 901, 920...) in the open menu
//   prw3ctl [-t MS] menu-cancel         closes the open menu without a command
//   prw3ctl [-t MS] close               posts WM_CLOSE to it
//   prw3ctl [-t MS] wait-gone           waits until its window is gone
//   prw3ctl table NAME                  prints the tray slot's window for a printer key, or "none"
//   prw3ctl icon-color                  prints the tray icons' colours (green, amber, red)
//   prw3ctl screenshot FILE             writes the screen as a .bmp file
// Exit code 0 on success, 1 when the window, menu or slot is not there in time, 2 on misuse.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "support/ResidentControl_win.h"

namespace {

int Usage() {
  fprintf(stderr,
          "usage: prw3ctl [-t MS] find | rclick | dblclick | menu-choose ID | menu-cancel | close | wait-gone\n"
          "       prw3ctl table NAME | icon-color | screenshot FILE\n");
  return 2;
}

int Result(bool bOk, const char* pszWhat) {
  if (!bOk) fprintf(stderr, "prw3ctl: %s\n", pszWhat);
  return bOk ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  DWORD timeoutMs = residentctl::DEFAULT_TIMEOUT_MS;
  int i = 1;
  if (i + 1 < argc && strcmp(argv[i], "-t") == 0) {
    timeoutMs = strtoul(argv[i + 1], nullptr, 10);
    i += 2;
  }
  if (i >= argc) return Usage();
  const std::string command = argv[i];
  const char* pszArg = i + 1 < argc ? argv[i + 1] : nullptr;

  if (command == "table" && pszArg) {
    HWND hWnd = residentctl::TableWindow(pszArg);
    if (hWnd)
      printf("%p\n", static_cast<void*>(hWnd));
    else
      printf("none\n");
    return 0;
  }
  if (command == "icon-color") {
    std::string line;
    for (const std::string& colour : residentctl::TrayIconColors()) line += (line.empty() ? "" : " ") + colour;
    printf("%s\n", line.empty() ? "none" : line.c_str());
    return line.empty() ? 1 : 0;
  }
  if (command == "screenshot" && pszArg) return Result(residentctl::SaveScreenBitmap(pszArg), "cannot write the file");
  if (command == "menu-cancel") return Result(residentctl::CancelMenu(timeoutMs), "no menu to cancel");
  if (command == "wait-gone") {
    HWND hResident = residentctl::FindResident(0);
    return Result(!hResident || residentctl::WaitGone(hResident, timeoutMs), "the window stays");
  }

  HWND hResident = residentctl::FindResident(timeoutMs);
  if (!hResident) {
    fprintf(stderr, "prw3ctl: no resident window\n");
    return 1;
  }
  if (command == "find") {
    printf("%p\n", static_cast<void*>(hResident));
    return 0;
  }
  if (command == "rclick") return Result(residentctl::PostTrayMouse(hResident, WM_RBUTTONDOWN), "post failed");
  if (command == "dblclick") return Result(residentctl::PostTrayMouse(hResident, WM_LBUTTONDBLCLK), "post failed");
  if (command == "close") return Result(PostMessageA(hResident, WM_CLOSE, 0, 0) != FALSE, "post failed");
  if (command == "menu-choose" && pszArg) {
    const UINT nCommand = static_cast<UINT>(strtoul(pszArg, nullptr, 10));
    return Result(residentctl::ChooseMenuItem(hResident, nCommand, timeoutMs), "no menu, or no such item in it");
  }
  return Usage();
}
