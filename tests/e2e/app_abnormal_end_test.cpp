// Runs that end abnormally: a step that throws, a message box without a
// scripted answer. The fixture must report them, and the kernel must be
// ready for the next run.
//
// Such a run ends without the module's clean-up, so the module's texts stay
// allocated until the process ends, as they would when the real program
// stops on an error; this executable's LeakSanitizer suppressions cover the
// kernel's allocator for that reason (lsan_abnormal_end.supp).
#include <stdexcept>

#include "tests/e2e/app_fixture.h"

namespace ql::e2e {
namespace {

class AbnormalEnd : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    seedFinishedFirstStart();
  }
};

TEST_F(AbnormalEnd, LeftOverAnswersAndStepFailuresAreReported) {
  answerBox(0);  // a finished first start shows no box
  step([] { throw std::runtime_error("thrown by a step"); });
  step([] { ADD_FAILURE() << "a step after the throwing one ran"; });
  const auto& r = run();
  EXPECT_EQ(r.unusedAnswers, 1u);
  EXPECT_NE(r.exception.find("thrown by a step"), std::string::npos) << r.describe();
  EXPECT_FALSE(r.endedCleanly());
  // The kernel is ready for the next run.
  step([] {});
  run();
  expectCleanEnd();
}

TEST_F(AbnormalEnd, MissingScriptedAnswerFailsTheRunInsteadOfHanging) {
  step([this] { EXPECT_FALSE(clickMenu("文件/不存在").ok()); });
  // A box with no answer left in the script.
  step([this] { windows().messageBox(gbk("问"), window::kStyleOkCancel, std::nullopt); });
  const auto& r = run();
  EXPECT_FALSE(r.exception.empty());
  ASSERT_EQ(r.scriptFailures.size(), 1u);
  EXPECT_EQ(r.stepsRun, 1u);
  EXPECT_FALSE(r.endedCleanly());
}

}  // namespace
}  // namespace ql::e2e
