#include <gtest/gtest.h>

#include "cdplayer/default_player.h"
#include "fake_mci.h"

using namespace orvane::cdplayer;
using orvane::cdplayer::test::RecordingDisplay;

namespace {
struct Key : PlayCommandKey {
    bool Open() override { return opens; }
    std::string Read() override { return value; }
    void Write(const std::string& v) override {
        value = v;
        ++writes;
    }
    void Close() override { ++closes; }
    bool opens = true;
    std::string value;
    int writes = 0;
    int closes = 0;
};
}  // namespace

TEST(DefaultPlayerOffer, AsksUntilTheCommandNamesThisPlayer) {
    Key key;
    RecordingDisplay box;
    box.answer = IDNO;
    EXPECT_FALSE(OfferDefaultPlayer(key, box, "/opt/Tarvo/Tarvo.EXE"));
    EXPECT_EQ(key.writes, 0);
    ASSERT_EQ(box.messages.size(), 1u);
    EXPECT_EQ(box.messages[0].first, kDefaultPlayerQuestion);
    EXPECT_EQ(box.messages[0].second, MB_YESNO);

    box.answer = IDYES;
    EXPECT_TRUE(OfferDefaultPlayer(key, box, "/opt/Tarvo/Tarvo.EXE"));
    EXPECT_EQ(key.value, "/opt/Tarvo/Tarvo.EXE /play %%1");

    key.value = "/OPT/tarvo/TARVO.exe /PLAY %%1";  // the same without regard to case
    EXPECT_FALSE(OfferDefaultPlayer(key, box, "/opt/Tarvo/Tarvo.EXE"));
    EXPECT_EQ(box.messages.size(), 2u);
    EXPECT_TRUE(OfferDefaultPlayer(key, box, "/home/u/Tarvo/Tarvo.EXE"));  // moved
    EXPECT_EQ(key.closes, 4);

    key.opens = false;  // no rights: silently skipped
    EXPECT_FALSE(OfferDefaultPlayer(key, box, "/elsewhere/Tarvo.EXE"));
    EXPECT_EQ(box.messages.size(), 3u);
}
