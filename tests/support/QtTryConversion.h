#pragma once

// Included ahead of every test source (cmake/VelmoraTest.cmake).
//
// From Qt 6.7 on, QTRY_COMPARE, QTRY_VERIFY and their _WITH_TIMEOUT forms
// take the time-out as std::chrono::milliseconds and store its 64-bit count
// in an int inside Qt's own expansion. GCC reports that narrowing at the
// line of our test that expands the macro, not in Qt's header, so -Wconversion
// with -Werror fails every test that waits this way, whatever time-out it
// passes. Here each macro that does the narrowing is Qt's same statement
// with that one warning switched off for that statement alone (the condition
// it waits on included); everywhere else in the test -Wconversion still
// applies. Older Qt does no such narrowing and keeps its macros unchanged.

#include <QtTest/qtestcase.h>

#if QT_VERSION >= QT_VERSION_CHECK(6, 7, 0) && defined(__GNUC__)

// Inside the statement's braces: C++ allows no pragma between the closing
// "while (false)" and the semicolon that follows the macro.
#define VELMORA_QTRY(...)                                                                          \
    do {                                                                                           \
        _Pragma("GCC diagnostic push") _Pragma("GCC diagnostic ignored \"-Wconversion\"")          \
            __VA_ARGS__ _Pragma("GCC diagnostic pop")                                              \
    } while (false)

// The forms without a time-out expand to these, so they follow.
#undef QTRY_VERIFY_WITH_TIMEOUT
#define QTRY_VERIFY_WITH_TIMEOUT(expr, timeout)                                                    \
    VELMORA_QTRY(QTRY_IMPL(expr, timeout) QVERIFY(expr);)

#undef QTRY_VERIFY2_WITH_TIMEOUT
#define QTRY_VERIFY2_WITH_TIMEOUT(expr, messageExpression, timeout)                                \
    VELMORA_QTRY(QTRY_IMPL(expr, timeout) QVERIFY2(expr, messageExpression);)

#undef QTRY_COMPARE_WITH_TIMEOUT
#define QTRY_COMPARE_WITH_TIMEOUT(expr, expected, timeout)                                         \
    VELMORA_QTRY(QTRY_IMPL((expr) == (expected), timeout) QCOMPARE(expr, expected);)

#endif
