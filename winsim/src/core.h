// winsim internals shared by every area: last error, fault injection, reset hooks,
// and the simulated clock.
#pragma once

#include <windows.h>

#include <functional>

namespace winsim::detail {

// Registers a function that returns an area's state to its initial value on Reset().
struct ResetHook {
  explicit ResetHook(std::function<void()> fn);
};

// Counts a call of the named API and returns the error a test injected for it,
// or 0 when this call is to behave normally.
DWORD Fault(const char* api);

// Sets the last error and returns the given result: `return Fail(FALSE, ERROR_x);`.
template <typename T>
T Fail(T result, DWORD error) {
  SetLastError(error);
  return result;
}

// Simulated milliseconds since start; timers and Sleep run on it.
uint64_t Now();
void AdvanceNow(uint64_t ms);

// Kernel handles: each area registers its objects here; CloseHandle dispatches to the
// closer the area gave. Handle values are small, fit in 32 bits and are never reused
// within one run, so a stale handle is reliably invalid. Handles that are not kernel
// objects (find handles, printers) pass kernel = false: CloseHandle refuses them, and
// only their own closer (CloseHandleOf) ends them.
HANDLE NewHandle(const char* kind, void* object, std::function<void(void*)> closer, bool kernel = true);
// Closes a live handle of that kind through its closer; false when there is none.
bool CloseHandleOf(HANDLE h, const char* kind);
// The object behind a live handle of that kind, or null.
void* HandleObject(HANDLE h, const char* kind);
// Live handles (every kind), for leak checks.
size_t LiveHandleCount();
// Live handles of one kind.
size_t LiveHandleCount(const char* kind);

// Code page 1252, the system code page winsim simulates by default.
WCHAR Cp1252ToWide(unsigned char c);
unsigned char FoldCase(unsigned char c);

}  // namespace winsim::detail
