// prw3ctl: drives a running resident from outside, as a user or another program would
// (scripts/demo uses it).
//   prw3ctl [-t MS] find              prints the resident's window
//   prw3ctl [-t MS] rclick            posts a right-button press on its icon
//   prw3ctl [-t MS] menu-choose POS   chooses the item at POS (0: the first; separators
//                                     do not count) in its open menu
//   prw3ctl [-t MS] menu-close        closes its open menu without a choice
//   prw3ctl table NAME                prints the tray slot's window for a printer key, or "none"
//   prw3ctl icon-color                prints the tray icons' colours (green, amber, red)
// Exit code 0 on success, 1 when the window, menu or icon is not there in time, 2 on misuse.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "profile/Contracts.h"
#include "tools/ResidentControl.h"

int main(int argc, char** argv) {
  DWORD timeoutMs = 10000;
  if (argc > 2 && strcmp(argv[1], "-t") == 0) {
    timeoutMs = strtoul(argv[2], nullptr, 10);
    argc -= 2;
    argv += 2;
  }
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "table" && argc > 2) {
    HWND hWnd = residentctl::TableWindow(argv[2]);
    hWnd ? printf("%p\n", static_cast<void*>(hWnd)) : printf("none\n");
    return 0;
  }
  if (command == "icon-color") {
    std::string line;
    for (const std::string& colour : residentctl::TrayIconColors()) line += (line.empty() ? "" : " ") + colour;
    printf("%s\n", line.empty() ? "none" : line.c_str());
    return line.empty() ? 1 : 0;
  }
  HWND hResident = residentctl::FindResident(timeoutMs);
  bool bDone = false;
  if (command == "find") {
    if (hResident) printf("%p\n", static_cast<void*>(hResident));
    bDone = hResident != nullptr;
  } else if (command == "rclick") {
    bDone = hResident && PostMessageA(hResident, WM_TRAYNOTIFY, 0, WM_RBUTTONDOWN);
  } else if (command == "menu-choose" && argc > 2) {
    bDone = hResident && residentctl::ChooseMenuItem(hResident, atoi(argv[2]), timeoutMs);
  } else if (command == "menu-close") {
    bDone = hResident && residentctl::CloseMenu(hResident, timeoutMs);
  } else {
    fprintf(stderr, "usage: prw3ctl [-t MS] find | rclick | menu-choose POS | menu-close | table NAME | icon-color\n");
    return 2;
  }
  if (!bDone) fprintf(stderr, "prw3ctl: %s: no resident window or menu in time\n", command.c_str());
  return bDone ? 0 : 1;
}
