// The start-up entry's removal when HKCU's Run key is deleted under the resident, as an
// installer or clean-up tool may do: every index then fails alike, and the walk must end.
#include "app/InitInstance.h"

#include "support/TestRegistry.h"
#include "winsim/control.h"

#include <gtest/gtest.h>

namespace {

TEST(DeleteStartupRegNative, RunKeyDeletedUnderTheWalkEndsIt) {
  const char kRun[] = "software\\Microsoft\\Windows\\CurrentVersion\\Run";
  testenv::SetRegString(HKEY_CURRENT_USER, kRun, "LPT1:", "C:\\PRW3\\prw3tray.exe /A \"C:\\PRW3\\O_P3C.TMP\"");
  // Enough failures that a walk skipping them would only end by running out of values.
  for (unsigned n = 1; n <= 1000; ++n) winsim::InjectFault("RegEnumValueA", ERROR_KEY_DELETED, n);
  DeleteStartupReg("", "O_P3C.TMP");
  EXPECT_EQ(1u, winsim::CallCount("RegEnumValueA"));
}

}  // namespace
