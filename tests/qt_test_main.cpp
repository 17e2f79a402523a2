// Shared main for the tests of Qt-based code: one QApplication for the whole
// executable, created before any widget.
#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // Each test process gets a runtime folder of its own: window-title claims
    // live there, so test programs running side by side never see each
    // other's windows (and a program a test starts inherits the same folder).
    QTemporaryDir runtime;
    if (runtime.isValid()) qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());

    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
