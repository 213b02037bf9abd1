// A hidden window for tests that records every message its procedure receives and lets
// the test handle chosen messages; everything else goes to DefWindowProcA.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <vector>

namespace testenv {

struct RecordedMessage {
  HWND hWnd;
  UINT uMsg;
  WPARAM wParam;
  LPARAM lParam;
};

class CRecordingWindow {
 public:
  // Returns true when it handled the message; *pResult is then the procedure's result.
  using Handler = std::function<bool(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT* pResult)>;

  explicit CRecordingWindow(HWND hParent = nullptr, DWORD dwStyle = WS_OVERLAPPED, LPCSTR szTitle = "") {
    Creating() = this;
    m_hWnd = CreateWindowExA(0, ClassName(), szTitle, dwStyle, 0, 0, 100, 100, hParent, nullptr, nullptr, nullptr);
    Creating() = nullptr;
    if (m_hWnd) Windows()[m_hWnd] = this;
  }
  ~CRecordingWindow() {
    if (IsWindow(m_hWnd)) DestroyWindow(m_hWnd);
    Windows().erase(m_hWnd);
  }
  CRecordingWindow(const CRecordingWindow&) = delete;
  CRecordingWindow& operator=(const CRecordingWindow&) = delete;

  HWND Handle() const { return m_hWnd; }

  // The window class, registered on first use (a second registration fails harmlessly).
  static LPCSTR ClassName() {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = Proc;
    wc.lpszClassName = "Prw3RecordingWindow";
    RegisterClassA(&wc);
    return wc.lpszClassName;
  }

  // The recorded messages whose id is in `ids`, in arrival order.
  std::vector<RecordedMessage> Only(std::initializer_list<UINT> ids) const {
    std::vector<RecordedMessage> out;
    for (const RecordedMessage& m : m_messages)
      for (UINT id : ids)
        if (m.uMsg == id) out.push_back(m);
    return out;
  }
  size_t Count(UINT uMsg) const { return Only({uMsg}).size(); }
  void Clear() { m_messages.clear(); }

  Handler m_handler;

 private:
  static CRecordingWindow*& Creating() {
    static CRecordingWindow* p = nullptr;
    return p;
  }
  static std::map<HWND, CRecordingWindow*>& Windows() {
    static std::map<HWND, CRecordingWindow*> windows;
    return windows;
  }

  static LRESULT CALLBACK Proc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    CRecordingWindow* self = nullptr;
    auto it = Windows().find(hWnd);
    if (it != Windows().end()) {
      self = it->second;
    } else if (Creating()) {
      // The first messages arrive inside CreateWindowExA, before it returns the handle.
      self = Creating();
      Windows()[hWnd] = self;
    }
    if (self) {
      self->m_messages.push_back(RecordedMessage{hWnd, uMsg, wParam, lParam});
      LRESULT result = 0;
      if (self->m_handler && self->m_handler(uMsg, wParam, lParam, &result)) return result;
    }
    return DefWindowProcA(hWnd, uMsg, wParam, lParam);
  }

  HWND m_hWnd = nullptr;
  std::vector<RecordedMessage> m_messages;
};

}  // namespace testenv
