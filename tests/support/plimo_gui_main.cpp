// The start of the encoder front-end's window tests: one application for all of them, which
// stays up while the windows under test open and close, with the program's pictures loaded and
// its MP3 jobs known.

#include <gtest/gtest.h>

#include <QApplication>

#include "encoder/mp3/mp3_jobs.h"
#include "tools/artwork/resources.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    orvane::artwork::InitPlimoResources();
    // The MP3 jobs are known before the first window opens, as in the program.
    orvane::encoder::RegisterMp3Jobs();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
