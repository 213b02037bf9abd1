// winsim's library controls: modules registered by path, their exports and load counts.
#include <windows.h>

#include <gtest/gtest.h>

#include "winsim/control.h"

#include <string>

namespace {

const char kPrnLib[] = "C:\\Drivers\\Demo\\PRNLIB.DLL";

int WINAPI DemoSetRegDefaultValue(const char* printer, const char*, const char*, const char*, int, int, int) {
  return static_cast<int>(std::string(printer).size());
}
typedef int(WINAPI* SetRegDefaultValueFn)(const char*, const char*, const char*, const char*, int, int, int);

HMODULE RegisterPrnLib() {
  winsim::ModuleImage image;
  image.exports["PrSetRegDefaultValue"] = winsim::AsExport(&DemoSetRegDefaultValue);
  return winsim::RegisterModule(kPrnLib, image);
}

TEST(ModuleControls, LoadCallAndFree) {
  HMODULE registered = RegisterPrnLib();
  HMODULE h = LoadLibraryA("c:\\drivers\\demo\\prnlib.dll");
  ASSERT_EQ(registered, h);
  auto fn = reinterpret_cast<SetRegDefaultValueFn>(
      reinterpret_cast<void (*)()>(GetProcAddress(h, "PrSetRegDefaultValue")));
  ASSERT_NE(nullptr, fn);
  EXPECT_EQ(14, fn("Office Printer", "Demo Driver", "USB001", "M100", 0, 0, 0));
  SetLastError(0xdeadbeef);
  EXPECT_EQ(nullptr, GetProcAddress(h, "prsetregdefaultvalue")) << "export names are case-sensitive";
  EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND), GetLastError());

  // Loads count; the module goes with the last reference, and its handle with it.
  EXPECT_EQ(h, LoadLibraryA(kPrnLib));
  EXPECT_TRUE(FreeLibrary(h));
  EXPECT_EQ(1u, winsim::LoadedModuleCount());
  EXPECT_TRUE(FreeLibrary(h));
  EXPECT_EQ(0u, winsim::LoadedModuleCount());
  SetLastError(0xdeadbeef);
  EXPECT_EQ(nullptr, GetProcAddress(h, "PrSetRegDefaultValue"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
  EXPECT_FALSE(FreeLibrary(h));
}

TEST(ModuleControls, BareNames) {
  RegisterPrnLib();
  HMODULE other = winsim::RegisterModule("D:\\Other\\prnlib.dll", winsim::ModuleImage{});
  // A bare name takes a loaded module of that file name, else the first registered;
  // ".dll" is assumed when there is no extension.
  HMODULE first = LoadLibraryA("PRNLIB");
  EXPECT_NE(other, first);
  FreeLibrary(first);
  EXPECT_EQ(other, LoadLibraryA("D:/Other/PRNLIB.DLL"));
  EXPECT_EQ(other, LoadLibraryA("prnlib.dll"));
  EXPECT_EQ(nullptr, LoadLibraryA("C:\\Drivers\\PRNLIB.DLL"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
}

TEST(ModuleControls, FaultsAndReset) {
  RegisterPrnLib();
  winsim::InjectFault("LoadLibraryA", ERROR_NOT_ENOUGH_MEMORY, 1);
  EXPECT_EQ(nullptr, LoadLibraryA(kPrnLib));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY), GetLastError());
  EXPECT_EQ(0u, winsim::LoadedModuleCount());
  HMODULE h = LoadLibraryA(kPrnLib);
  ASSERT_NE(nullptr, h);

  winsim::Reset();
  EXPECT_EQ(0u, winsim::LoadedModuleCount());
  EXPECT_EQ(nullptr, LoadLibraryA(kPrnLib));
  EXPECT_FALSE(FreeLibrary(h));
}

}  // namespace
