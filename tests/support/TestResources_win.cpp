// Windows: the resource DLL lies beside the test program, where LoadLibraryA looks first.
#include "support/TestResources.h"

namespace testenv {

HMODULE LoadTestResources() { return LoadLibraryA(TEST_RES_DLL); }

}  // namespace testenv
