// winsim notification area: a tray that tests read back, keyed by window and icon id,
// with the shell's failures (refused, or done but reported as failed) and its restart.
#include <shellapi.h>

#include "core.h"
#include "message_queue.h"
#include "window_store.h"

#include "winsim/control.h"

#include <cstring>
#include <vector>

using namespace winsim::detail;

namespace {

struct Failure {
  DWORD message;  // the NIM_ code it applies to
  unsigned times;
  bool applied;
};

struct TrayState {
  std::vector<winsim::TrayIcon> icons;  // in the order they were added
  std::vector<Failure> failures;
};

TrayState& S() {
  static TrayState s;
  return s;
}

const ResetHook g_reset([] { S() = TrayState{}; });

winsim::TrayIcon* Find(HWND hwnd, UINT id) {
  for (winsim::TrayIcon& icon : S().icons)
    if (icon.hwnd == hwnd && icon.id == id) return &icon;
  return nullptr;
}

// The first scripted failure for this call, used up by one; null when the call is to work.
const Failure* TakeFailure(DWORD dwMessage) {
  for (Failure& f : S().failures) {
    if (f.times && f.message == dwMessage) {
      --f.times;
      return &f;
    }
  }
  return nullptr;
}

// The first record form holds a 64-byte tip, the later ones 128 bytes; the stored tip
// always ends within it.
std::string TipOf(const NOTIFYICONDATAA& data) {
  size_t capacity = data.cbSize >= NOTIFYICONDATAA_V2_SIZE ? 128 : 64;
  size_t n = strnlen(data.szTip, capacity);
  if (n == capacity) --n;
  return std::string(data.szTip, n);
}

void Apply(winsim::TrayIcon* icon, const NOTIFYICONDATAA& data) {
  icon->cbSize = data.cbSize;
  icon->flags |= data.uFlags & (NIF_MESSAGE | NIF_ICON | NIF_TIP);
  if (data.uFlags & NIF_MESSAGE) icon->callbackMessage = data.uCallbackMessage;
  if (data.uFlags & NIF_ICON) icon->icon = data.hIcon;
  if (data.uFlags & NIF_TIP) icon->tip = TipOf(data);
}

BOOL Perform(DWORD dwMessage, const NOTIFYICONDATAA& data) {
  winsim::TrayIcon* icon = Find(data.hWnd, data.uID);
  switch (dwMessage) {
    case NIM_ADD: {
      if (icon) return FALSE;
      winsim::TrayIcon added{data.hWnd, data.uID, 0, 0, 0, nullptr, ""};
      Apply(&added, data);
      S().icons.push_back(added);
      return TRUE;
    }
    case NIM_MODIFY:
      if (!icon) return FALSE;
      Apply(icon, data);
      return TRUE;
    case NIM_DELETE:
      if (!icon) return FALSE;
      S().icons.erase(S().icons.begin() + (icon - S().icons.data()));
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

BOOL WINAPI Shell_NotifyIconA(DWORD dwMessage, PNOTIFYICONDATAA lpData) {
  if (!lpData) return FALSE;
  if (DWORD e = Fault("Shell_NotifyIconA")) return Fail(FALSE, e);
  const Failure* failure = TakeFailure(dwMessage);
  if (!failure) return Perform(dwMessage, *lpData);
  if (failure->applied) Perform(dwMessage, *lpData);
  return FALSE;
}

namespace winsim {

std::vector<TrayIcon> TrayIcons() { return S().icons; }

void FailNotifyIcon(DWORD dwMessage, unsigned times, bool appliedAnyway) {
  S().failures.push_back(Failure{dwMessage, times, appliedAnyway});
}

void RestartExplorer() {
  S().icons.clear();
  Post(HWND_BROADCAST, RegisteredMessage("TaskbarCreated"), 0, 0);
}

bool PostTrayMouseMessage(HWND hwnd, UINT id, UINT mouseMessage) {
  TrayIcon* icon = Find(hwnd, id);
  if (!icon || !(icon->flags & NIF_MESSAGE)) return false;
  if (!LiveWindow(hwnd)) return false;
  Post(hwnd, icon->callbackMessage, id, mouseMessage);
  return true;
}

}  // namespace winsim
