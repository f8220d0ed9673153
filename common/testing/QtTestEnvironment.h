#pragma once
// Test support for widget tests: one QApplication for every test of the program, made before
// and deleted after all of them, so that no widget outlives it. Include it once per test
// program; it registers itself with GoogleTest.
#include <QApplication>
#include <gtest/gtest.h>

namespace dita::testing {

class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "dita_widget_tests";
        static char* argv[] = {name, nullptr};
        m_app = new QApplication(argc, argv);
    }
    void TearDown() override {
        delete m_app;
        m_app = nullptr;
    }

private:
    QApplication* m_app = nullptr;
};

inline const auto* const kQtEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

} // namespace dita::testing
