// One QApplication for all widget tests (offscreen platform), and a recorder for messages.
#include <gtest/gtest.h>

#include <QApplication>

#include "gaugekit/GkFlash.h"

namespace {
class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "gaugekit_control_tests";
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

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);
} // namespace
