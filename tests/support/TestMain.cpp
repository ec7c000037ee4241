// The main of the test programs that have none of their own: GoogleTest's,
// with failures printed without OutputDebugStringA (FailurePrinter.h), so
// that a failure under qemu-i386 is reported instead of ending the program.
#include <gtest/gtest.h>

#include "tests/support/FailurePrinter.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    testing_support::PrintFailuresWithoutDebugStrings();
    return RUN_ALL_TESTS();
}
