// The window tests' main: one QApplication (on the offscreen platform the
// tests run with) for every test of the binary, then GoogleTest.
#include <clocale>
#include <cstdlib>

#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
    // Offscreen unless told otherwise: listing the tests at build time has no display either.
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    // Qt takes the whole locale from the environment; the station's numbers
    // and texts are compared as the station writes them.
    std::setlocale(LC_ALL, "C");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
