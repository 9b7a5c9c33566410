#pragma once

#include <QApplication>

#include <cstdlib>

// One application object for the whole run, without a display. Created on
// first use, from LLVMFuzzerInitialize.
inline QApplication& fuzzApplication()
{
    static int argc = 1;
    static char name[] = "karvel-fuzz";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        return new QApplication(argc, argv);
    }();
    return *app;
}

// The system's font library keeps a cache for the life of the process.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}

// Stops the run with a message libFuzzer reports as a crash, input saved.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #condition);       \
            abort();                                                                               \
        }                                                                                          \
    } while (false)
