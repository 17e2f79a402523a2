// Shared main for the tests of Qt-based code: one QApplication for the whole
// executable, created before any widget. (CTest gives each test process its
// own HOME and XDG folders, runtime folder included: cmake/LumivaneTests.cmake.)
#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
