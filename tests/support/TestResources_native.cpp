// Native: registers the library from the .rc file the Windows build compiles, then loads it.
#include "support/TestResources.h"

#include <gtest/gtest.h>

#include <string>

#include "winsim/control.h"

namespace testenv {

HMODULE LoadTestResources() {
  std::string error;
  auto resources = winsim::ParseRcFile(PRW3_TEST_RES_RC, &error);
  EXPECT_TRUE(resources) << error;
  if (!resources) return nullptr;
  winsim::ModuleImage image;
  image.resources = resources;
  winsim::RegisterModule(std::string("C:\\prw3\\tests\\") + TEST_RES_DLL, image);
  return LoadLibraryA(TEST_RES_DLL);
}

}  // namespace testenv
