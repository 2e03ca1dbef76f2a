// The MP3 jobs are known to the table of kinds before the first test, as every program that runs
// them makes them known at start-up. A test program that runs MP3 jobs lists this file among its
// sources.

#include <gtest/gtest.h>

#include "encoder/mp3/mp3_jobs.h"

namespace {

class Mp3Jobs : public ::testing::Environment {
public:
    void SetUp() override { orvane::encoder::RegisterMp3Jobs(); }
};

[[maybe_unused]] const ::testing::Environment* const kMp3Jobs =
    ::testing::AddGlobalTestEnvironment(new Mp3Jobs);

}  // namespace
