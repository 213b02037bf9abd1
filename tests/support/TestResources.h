// The test resource library built from tests/conformance/testres.rc: on Windows the DLL
// windres made of it, natively a module registered from the same .rc file.
#pragma once

#include <windows.h>

namespace testenv {

constexpr char TEST_RES_DLL[] = "prw3testres.dll";

// Loads the library (LoadLibraryA); the caller frees it. Null when it cannot be loaded.
HMODULE LoadTestResources();

}  // namespace testenv
