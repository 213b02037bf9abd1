// winsim mutexes: named (case-sensitive) or not, owned by the one thread winsim runs and
// taken again recursively. A test can stand in for another process that holds one: the
// next waits then time out, or find it abandoned.
#include "core.h"

#include "winsim/control.h"

#include <map>
#include <memory>
#include <string>

using namespace winsim::detail;

namespace {

const char kMutexKind[] = "mutex";

struct Mutex {
  std::string name;  // empty: unnamed, or its name went with its last handle
  size_t handles = 0;
  unsigned owned = 0;  // recursion count of this thread's ownership
  winsim::MutexHolder holder = winsim::MutexHolder::kNone;
};

struct SyncState {
  std::map<Mutex*, std::unique_ptr<Mutex>> live;
  std::map<std::string, Mutex*> named;
  // Holders set before the mutex exists, by name.
  std::map<std::string, winsim::MutexHolder> pending;
};

SyncState& S() {
  static SyncState s;
  return s;
}

const ResetHook kReset([] { S() = SyncState{}; });

void CloseMutex(void* object) {
  auto* m = static_cast<Mutex*>(object);
  if (--m->handles > 0) return;
  if (!m->name.empty()) S().named.erase(m->name);
  S().live.erase(m);
}

HANDLE NewMutexHandle(Mutex* m) {
  ++m->handles;
  return NewHandle(kMutexKind, m, CloseMutex);
}

}  // namespace

namespace winsim {

void HoldMutexElsewhere(const std::string& name, MutexHolder holder) {
  auto it = S().named.find(name);
  if (it != S().named.end())
    it->second->holder = holder;
  else
    S().pending[name] = holder;
}

unsigned MutexOwnership(const std::string& name) {
  auto it = S().named.find(name);
  return it == S().named.end() ? 0 : it->second->owned;
}

}  // namespace winsim

HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL bInitialOwner, LPCSTR lpName) {
  if (DWORD e = Fault("CreateMutexA")) return Fail<HANDLE>(nullptr, e);
  SyncState& s = S();
  std::string name = lpName ? lpName : "";
  if (!name.empty()) {
    auto it = s.named.find(name);
    // An existing mutex is opened as it is: the initial-owner request is ignored.
    if (it != s.named.end()) return Fail(NewMutexHandle(it->second), ERROR_ALREADY_EXISTS);
  }
  auto m = std::make_unique<Mutex>();
  m->name = name;
  m->owned = bInitialOwner ? 1 : 0;
  auto pending = s.pending.find(name);
  if (!name.empty() && pending != s.pending.end()) {
    m->holder = pending->second;
    s.pending.erase(pending);
  }
  Mutex* raw = m.get();
  s.live[raw] = std::move(m);
  if (!name.empty()) s.named[name] = raw;
  return Fail(NewMutexHandle(raw), ERROR_SUCCESS);
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  auto* m = static_cast<Mutex*>(HandleObject(hHandle, kMutexKind));
  if (!m) return Fail(WAIT_FAILED, ERROR_INVALID_HANDLE);
  if (DWORD e = Fault("WaitForSingleObject")) return Fail(WAIT_FAILED, e);
  switch (m->holder) {
    case winsim::MutexHolder::kHung:
      AdvanceNow(dwMilliseconds == INFINITE ? 0 : dwMilliseconds);
      return WAIT_TIMEOUT;
    case winsim::MutexHolder::kEnded:
      // The holder ended without releasing it: the waiter owns it now and is told so.
      m->holder = winsim::MutexHolder::kNone;
      m->owned = 1;
      return WAIT_ABANDONED;
    case winsim::MutexHolder::kNone:
      break;
  }
  ++m->owned;
  return WAIT_OBJECT_0;
}

BOOL WINAPI ReleaseMutex(HANDLE hMutex) {
  auto* m = static_cast<Mutex*>(HandleObject(hMutex, kMutexKind));
  if (!m) return Fail(FALSE, ERROR_INVALID_HANDLE);
  if (DWORD e = Fault("ReleaseMutex")) return Fail(FALSE, e);
  if (m->owned == 0) return Fail(FALSE, ERROR_NOT_OWNER);
  --m->owned;
  return TRUE;
}
