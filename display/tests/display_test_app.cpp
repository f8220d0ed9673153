// One QApplication for all display tests; they run on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>

namespace {
class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "display_tests";
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
