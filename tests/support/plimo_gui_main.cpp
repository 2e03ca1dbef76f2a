// The start of the encoder front-end's window tests: one application for all of them, which
// stays up while the windows under test open and close, with the program's pictures loaded.

#include <gtest/gtest.h>

#include <QApplication>

#include "tools/artwork/resources.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    orvane::artwork::InitPlimoResources();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
