#pragma once

// main() for a QtTest executable of widgets: runs on the offscreen platform unless the
// caller asked for another one, so the suite needs no display.

#include <QApplication>
#include <QtTest>

// The leak checker's exit scan follows the dynamic TLS blocks it tracked through
// __tls_get_addr; with plugins loaded at run time (image formats) that record can be stale on
// this glibc and the scan crashes after every test passed. Not tracking it keeps the scan sound.
#define CORVANE_TEST_MAIN(TestObject)                                                              \
    extern "C" const char *__asan_default_options()                                                \
    {                                                                                              \
        return "intercept_tls_get_addr=0";                                                         \
    }                                                                                              \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {                                      \
            qputenv("QT_QPA_PLATFORM", "offscreen");                                               \
        }                                                                                          \
        /* Qt's glib loop makes the leak checker's exit scan crash on this glibc. */               \
        if (qEnvironmentVariableIsEmpty("QT_NO_GLIB")) {                                           \
            qputenv("QT_NO_GLIB", "1");                                                            \
        }                                                                                          \
        QApplication app(argc, argv);                                                              \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                   \
        TestObject tc;                                                                             \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }
