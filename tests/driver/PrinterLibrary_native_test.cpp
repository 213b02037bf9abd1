// The demo printer library's search for a target when the family key is deleted under it:
// every index then fails alike, and the search must end.
#include "PrinterLibrary.h"

#include "support/TestRegistry.h"
#include "winsim/control.h"

#include <gtest/gtest.h>

namespace {

TEST(PrinterLibraryNative, FamilyDeletedUnderTheSearchEndsIt) {
  testenv::SetRegString(HKEY_CURRENT_USER, "software\\OLMAR\\PRW3\\PRWData\\VQLTarget\\P0000000000000000", "Name",
                        "prw3 a");
  for (unsigned n = 1; n <= 1000; ++n) winsim::InjectFault("RegEnumKeyExA", ERROR_KEY_DELETED, n);
  EXPECT_EQ(PRNLIB_NO_TARGET, PrSetRegDefaultValue("prw3 a", "", "", "", 0, 0, 0));
  EXPECT_EQ(1u, winsim::CallCount("RegEnumKeyExA"));
}

}  // namespace
