// Linked into every test program: each test starts from the bed of ResetBed and leaves it so,
// whatever ran before it (another test, or scripts/run.sh with its example settings).
#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

struct BedReset : ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override { testing_support::ResetBed(); }
    void OnTestEnd(const ::testing::TestInfo&) override { testing_support::ResetBed(); }
};
static const bool kRegistered = (::testing::UnitTest::GetInstance()->listeners().Append(new BedReset), true);
