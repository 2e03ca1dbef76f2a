// The player's window tests run under the offscreen platform in one application object.

#include <gtest/gtest.h>

#include <QApplication>

#include "tools/artwork/resources.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    orvane::artwork::InitTarvoResources();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
