// GoogleTest's result printer also hands every failure to OutputDebugStringA.
// Under Wine run through qemu-user that call can bring the whole test
// program down once the process has had a second thread, so the first
// failure would hide every later result. This printer writes failures to
// the output only and passes every other event on to GoogleTest's own.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>

namespace testing_support {

class PrinterWithoutDebugStrings : public ::testing::TestEventListener {
public:
    explicit PrinterWithoutDebugStrings(::testing::TestEventListener* inner) : inner_(inner) {}
    ~PrinterWithoutDebugStrings() override { delete inner_; }
    PrinterWithoutDebugStrings(const PrinterWithoutDebugStrings&) = delete;
    PrinterWithoutDebugStrings& operator=(const PrinterWithoutDebugStrings&) = delete;

    void OnTestPartResult(const ::testing::TestPartResult& result) override {
        if (result.type() == ::testing::TestPartResult::kSuccess) {
            return;
        }
        printf("%s:%d: %s\n%s\n", result.file_name() ? result.file_name() : "unknown file",
               result.line_number(), result.skipped() ? "Skipped" : "Failure", result.message());
        fflush(stdout);
    }

    void OnTestProgramStart(const ::testing::UnitTest& u) override { inner_->OnTestProgramStart(u); }
    void OnTestIterationStart(const ::testing::UnitTest& u, int i) override {
        inner_->OnTestIterationStart(u, i);
    }
    void OnEnvironmentsSetUpStart(const ::testing::UnitTest& u) override {
        inner_->OnEnvironmentsSetUpStart(u);
    }
    void OnEnvironmentsSetUpEnd(const ::testing::UnitTest& u) override { inner_->OnEnvironmentsSetUpEnd(u); }
    void OnTestSuiteStart(const ::testing::TestSuite& s) override { inner_->OnTestSuiteStart(s); }
#ifndef GTEST_REMOVE_LEGACY_TEST_CASEAPI_
    void OnTestCaseStart(const ::testing::TestCase& s) override { inner_->OnTestCaseStart(s); }
    void OnTestCaseEnd(const ::testing::TestCase& s) override { inner_->OnTestCaseEnd(s); }
#endif
    void OnTestStart(const ::testing::TestInfo& t) override { inner_->OnTestStart(t); }
    void OnTestEnd(const ::testing::TestInfo& t) override { inner_->OnTestEnd(t); }
    void OnTestSuiteEnd(const ::testing::TestSuite& s) override { inner_->OnTestSuiteEnd(s); }
    void OnEnvironmentsTearDownStart(const ::testing::UnitTest& u) override {
        inner_->OnEnvironmentsTearDownStart(u);
    }
    void OnEnvironmentsTearDownEnd(const ::testing::UnitTest& u) override {
        inner_->OnEnvironmentsTearDownEnd(u);
    }
    void OnTestIterationEnd(const ::testing::UnitTest& u, int i) override {
        inner_->OnTestIterationEnd(u, i);
    }
    void OnTestProgramEnd(const ::testing::UnitTest& u) override { inner_->OnTestProgramEnd(u); }

private:
    ::testing::TestEventListener* inner_;
};

// Puts the printer above in place of GoogleTest's default one.
inline void PrintFailuresWithoutDebugStrings() {
    ::testing::TestEventListeners& listeners = ::testing::UnitTest::GetInstance()->listeners();
    if (::testing::TestEventListener* inner = listeners.Release(listeners.default_result_printer())) {
        listeners.Append(new PrinterWithoutDebugStrings(inner));
    }
}

}  // namespace testing_support
