#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "encoder/coverart/cover_archive.h"
#include "encoder/coverart/cover_beside.h"
#include "encoder/freedb/musicbrainz.h"
#include "encoder/tags/cover_image.h"
#include "tests/encoder/coverart/test_images.h"
#include "tests/encoder/freedb/loopback_server.h"
#include "tests/support/temp_dir.h"

namespace orvane::coverart {
namespace {

constexpr const char* kRelease = "0b1fd3a1-5e3e-4d2c-9f4a-2c1d2a6b7e8f";

std::string Bytes(const tags::Picture& p) { return std::string(p.bytes.begin(), p.bytes.end()); }

test::LoopbackReply Reply(const std::string& status, const std::string& headers,
                          const std::string& body) {
    return {{"HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(body.size()) +
             "\r\nConnection: close\r\n" + headers + "\r\n" + body},
            0,
            false};
}

std::string PathOf(const std::string& request) {
    const auto sp = request.find(' ');
    return request.substr(sp + 1, request.find(' ', sp + 1) - sp - 1);
}

// What is taken as a cover is decided by the bytes alone: whole JPEG and PNG images within the
// bounds, with their size and depth read; anything else says what is wrong with it.
TEST(CoverImage, TakesWholeJpegAndPngAndSaysWhatIsWrongWithTheRest) {
    const std::string jpeg = test::TestJpeg(40, 30);
    tags::Picture p;
    std::string why;
    ASSERT_TRUE(tags::AcceptImage(jpeg, p, why)) << why;
    EXPECT_EQ(p.mime, "image/jpeg");
    EXPECT_EQ(Bytes(p), jpeg);
    EXPECT_EQ(p.width, 40);
    EXPECT_EQ(p.height, 30);
    EXPECT_EQ(p.depth, 24);
    EXPECT_EQ(tags::CoverFileName(p), "cover.jpg");

    const std::string png = test::TestPng(20, 10);
    ASSERT_TRUE(tags::AcceptImage(png, p, why)) << why;
    EXPECT_EQ(p.mime, "image/png");
    EXPECT_EQ(p.width, 20);
    EXPECT_EQ(p.height, 10);
    EXPECT_EQ(p.depth, 32);
    EXPECT_EQ(tags::CoverFileName(p), "cover.png");

    auto refused = [](const std::string& bytes) {
        tags::Picture q;
        std::string reason;
        EXPECT_FALSE(tags::AcceptImage(bytes, q, reason));
        EXPECT_TRUE(q.bytes.empty());
        return reason;
    };
    EXPECT_EQ(refused(jpeg.substr(0, jpeg.size() / 2)), "the JPEG image is cut short");
    EXPECT_EQ(refused(jpeg.substr(0, jpeg.size() - 2)), "the JPEG image is cut short");
    EXPECT_EQ(refused(png.substr(0, png.size() - 12)), "the PNG image is cut short");
    EXPECT_EQ(refused("<!DOCTYPE html><html><body>Not here</body></html>"),
              "not a JPEG or PNG image (it is a web page or other text)");
    EXPECT_EQ(refused("GIF89a\x01\x00\x01\x00"), "not a JPEG or PNG image");
    EXPECT_EQ(refused(""), "the image is empty");
    EXPECT_EQ(refused(jpeg + std::string(tags::kMaxImageBytes, '\0')),
              "the image is larger than 16 MiB");
    // A header that claims more pixels than a cover may have is refused before any decoding.
    std::string huge = png;
    const char side[4] = {0, 0, 0x4E, 0x21};  // 20001
    huge.replace(16, 4, side, 4);
    EXPECT_EQ(refused(huge), "the image is 20001 x 10 pixels, more than 10000 x 10000");
    // Whole in its structure but not in its data: the decoder is the judge.
    std::string broken = jpeg;
    const auto sos = broken.find("\xFF\xDA");
    ASSERT_NE(sos, std::string::npos);
    broken[sos + 5] = '\x77';  // the scan names a component the frame does not have
    EXPECT_NE(refused(broken).find("does not decode"), std::string::npos);

    test::TempDir dir;
    test::WriteFile(dir / "a.jpg", jpeg);
    EXPECT_TRUE(tags::ReadImageFile((dir / "a.jpg").string(), p, why)) << why;
    EXPECT_FALSE(tags::ReadImageFile((dir / "none.jpg").string(), p, why));
    EXPECT_EQ(why.rfind((dir / "none.jpg").string() + ": ", 0), 0u) << why;
}

// The archive's answers as they come: a redirect to the image (as the archive sends), no front
// cover, a redirect loop, a page of HTML or a cut image under an image type, a reply far too
// long, a server that never answers. Only the first gives a picture; each other says why.
TEST(CoverArchive, FollowsTheRedirectToTheImageAndReportsEveryFailure) {
    const std::string jpeg = test::TestJpeg(50, 50);
    std::string mode = "redirect";
    std::atomic<bool> hold{false};
    test::LoopbackServer server([&](const std::string& request) {
        const std::string path = PathOf(request);
        if (path == "/image.jpg") {
            if (mode == "html")
                return Reply("200 OK", "Content-Type: image/jpeg\r\n",
                             "<html><body>Rate limited</body></html>");
            if (mode == "cut")
                return Reply("200 OK", "Content-Type: image/jpeg\r\n",
                             jpeg.substr(0, jpeg.size() - 100));
            if (mode == "huge")
                return Reply("200 OK", "Content-Type: image/jpeg\r\n",
                             jpeg + std::string(30u << 20, '\0'));
            return Reply("200 OK", "Content-Type: image/jpeg\r\n", jpeg);
        }
        if (mode == "404") return Reply("404 Not Found", "", "");
        if (mode == "loop")
            return Reply("307 Temporary Redirect", "Location: " + path + "\r\n", "");
        if (mode == "silent") {
            hold = true;
            return test::LoopbackReply{{}, 0, true};
        }
        return Reply("307 Temporary Redirect", "Location: /image.jpg\r\n", "");
    });
    CoverRequest request;
    request.server = "http://" + server.Address() + "/";
    request.releaseId = kRelease;
    request.size = "500";
    request.timeoutMs = 5000;

    FoundCover found = FindCover(request);
    ASSERT_TRUE(found.picture) << found.why;
    EXPECT_EQ(Bytes(*found.picture), jpeg);
    EXPECT_EQ(found.source, "coverartarchive");
    EXPECT_EQ(found.origin, "http://" + server.Address() + "/image.jpg");
    EXPECT_EQ(DescribeCover(found), "Cover Art Archive (" + found.origin + "), 50 x 50 pixels, " +
                                        std::to_string(jpeg.size()) + " bytes");
    std::vector<std::string> asked = server.Requests();
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(PathOf(asked[0]), std::string("/release/") + kRelease + "/front-500");
    EXPECT_NE(asked[0].find("\r\nUser-Agent: " + freedb::MusicBrainzUserAgent() + "\r\n"),
              std::string::npos)
        << asked[0];

    auto why = [&](const std::string& m) {
        mode = m;
        const FoundCover f = FindCover(request);
        EXPECT_FALSE(f.picture) << m;
        EXPECT_EQ(f.source, "none");
        return f.why;
    };
    EXPECT_EQ(why("404"), "Cover Art Archive: the release has no front cover");
    const std::size_t before = server.RequestCount();
    EXPECT_EQ(why("loop").rfind("Cover Art Archive: more than 5 redirects", 0), 0u);
    EXPECT_EQ(server.RequestCount() - before, 6u);
    EXPECT_EQ(why("html"),
              "Cover Art Archive: not a JPEG or PNG image (it is a web page or other text)");
    EXPECT_EQ(why("cut"), "Cover Art Archive: the JPEG image is cut short");
    EXPECT_EQ(why("huge"), "Cover Art Archive: the image is larger than 16 MiB");

    // A server that never answers: the bound ends the wait, and so does a cancel.
    request.timeoutMs = 300;
    EXPECT_EQ(why("silent"), "Cover Art Archive: no answer within 1 s");
    request.timeoutMs = 60000;
    hold = false;
    request.cancelled = [&] { return hold.load(); };
    EXPECT_EQ(why("silent"), "Cover Art Archive: cancelled");

    // Nothing is asked without a release id that is one, or of a server that is no web address.
    const std::size_t asked_before = server.RequestCount();
    request.releaseId = "../../admin";
    EXPECT_EQ(why("redirect"), "Cover Art Archive: \"../../admin\" is no release id");
    request.releaseId = "";
    EXPECT_EQ(why("redirect"), "the names did not come from MusicBrainz");
    request.releaseId = kRelease;
    request.server = "file:///etc";
    EXPECT_EQ(why("redirect"),
              "Cover Art Archive: \"file:///etc\" is no http:// or https:// address");
    EXPECT_EQ(server.RequestCount(), asked_before);
    std::string unused;
    request.server = "http://h";
    request.size = "original";
    EXPECT_EQ(FrontCoverUrl(request, unused),
              std::string("http://h/release/") + kRelease + "/front");
}

// The file beside the tracks is the picture's bytes under the name its content gives, and a
// cover the folder holds already stays as it is.
TEST(CoverBeside, WritesTheCoverOnceAndNeverOverTheUsersOwn) {
    test::TempDir dir;
    tags::Picture jpeg, png;
    std::string why;
    ASSERT_TRUE(tags::AcceptImage(test::TestJpeg(), jpeg, why));
    ASSERT_TRUE(tags::AcceptImage(test::TestPng(), png, why));
    std::filesystem::create_directory(dir / "a");
    std::filesystem::create_directory(dir / "b");
    BesideOutcome out = WriteCoverBeside((dir / "a").string(), jpeg);
    EXPECT_TRUE(out.written);
    EXPECT_EQ(out.path, (dir / "a" / "cover.jpg").string());
    EXPECT_EQ(test::ReadFile(dir / "a" / "cover.jpg"), Bytes(jpeg));
    // Again, with another picture: the first stays.
    out = WriteCoverBeside((dir / "a").string(), png);
    EXPECT_FALSE(out.written);
    EXPECT_EQ(out.path, (dir / "a" / "cover.jpg").string());
    EXPECT_EQ(test::ReadFile(dir / "a" / "cover.jpg"), Bytes(jpeg));
    EXPECT_FALSE(std::filesystem::exists(dir / "a" / "cover.png"));
    test::WriteFile(dir / "b" / "Cover.JPEG", "mine");
    out = WriteCoverBeside((dir / "b").string(), jpeg);
    EXPECT_FALSE(out.written);
    EXPECT_EQ(out.path, (dir / "b" / "Cover.JPEG").string());
    EXPECT_EQ(test::ReadFile(dir / "b" / "Cover.JPEG"), "mine");
    EXPECT_FALSE(std::filesystem::exists(dir / "b" / "cover.jpg"));
    out = WriteCoverBeside((dir / "missing").string(), jpeg);
    EXPECT_TRUE(out.path.empty());
    EXPECT_NE(out.why.find("Cannot write"), std::string::npos);
}

}  // namespace
}  // namespace orvane::coverart
