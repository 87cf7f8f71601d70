#include "platform/desktop/MessageBox.h"
#include "platform/forms/RuntimeError.h"
#include "support/TestMachine.h"

#include <gtest/gtest.h>

// A failing step is skipped and the next one runs; an unanswered modal box is a test's own
// mistake and must reach the test.
TEST(ResumeNext, SkipsAFailingStepButNotAnUnansweredBox) {
    testing_support::TestMachine m;
    int ran = 0;
    forms::ResumeNext([] { throw forms::RuntimeError(5, "bad"); });
    forms::ResumeNext([] { throw std::out_of_range("index"); });
    forms::ResumeNext([&] { ++ran; });
    EXPECT_EQ(ran, 1);
    EXPECT_THROW(forms::ResumeNext([] { win::MessageBox(0, "nobody scripted me", "t", win::MB_OK); }),
                 win::UnansweredModalError);
}
