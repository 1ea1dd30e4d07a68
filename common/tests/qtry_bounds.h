// Waits for a state in window tests: QTRY_VERIFY, QTRY_VERIFY2 and
// QTRY_COMPARE bound only a hang, at 20 s (far beyond what a state takes on
// a loaded machine) instead of QtTest's 5 s.
#pragma once

#include <QtTest>

#undef QTRY_VERIFY
#define QTRY_VERIFY(expr) QTRY_VERIFY_WITH_TIMEOUT(expr, 20000)
#undef QTRY_VERIFY2
#define QTRY_VERIFY2(expr, messageExpression) QTRY_VERIFY2_WITH_TIMEOUT(expr, messageExpression, 20000)
#undef QTRY_COMPARE
#define QTRY_COMPARE(expr, expected) QTRY_COMPARE_WITH_TIMEOUT(expr, expected, 20000)
