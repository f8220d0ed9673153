#pragma once
// Test support: one Qt application object for every test of a program, made before the first
// test and deleted after the last, so that no Qt object outlives it and it is gone before
// static destruction begins. App is QCoreApplication for tests without widgets, QApplication
// for widget tests (see QtTestEnvironment.h).
#include <QCoreApplication>
#include <gtest/gtest.h>

#include <memory>

namespace dita::testing {

template <typename App> class QtAppEnvironment : public ::testing::Environment {
public:
    void SetUp() override { m_app = std::make_unique<App>(m_argc, m_argv); }
    void TearDown() override { m_app.reset(); }

private:
    int m_argc = 1;
    char m_name[16] = "dita_tests";
    char* m_argv[2] = {m_name, nullptr};
    std::unique_ptr<App> m_app;
};

} // namespace dita::testing
