#pragma once
// Test support for widget tests: one QApplication for every test of the program, made before
// and deleted after all of them, so that no widget outlives it. Include it once per test
// program; it registers itself with GoogleTest.
#include <QApplication>

#include "common/testing/QtAppEnvironment.h"

namespace dita::testing {

inline const auto* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtAppEnvironment<QApplication>);

} // namespace dita::testing
