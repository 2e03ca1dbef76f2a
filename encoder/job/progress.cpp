#include "encoder/job/progress.h"

#include <charconv>
#include <cstdint>
#include <cstdio>

namespace orvane::encoder {

namespace {

// Appends "%02lld" of a value that is not negative.
char* TwoDigits(char* p, char* end, long long v) {
    if (v < 10) *p++ = '0';
    return std::to_chars(p, end, v).ptr;
}

// "%02lld:%02lld:%02lld". The texts are made several hundred times a second while a job
// runs, so the usual case is written without the formatter.
std::string Hms(long long h, long long m, long long s) {
    char buf[64];
    if (h < 0 || m < 0 || s < 0) {
        std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", h, m, s);
        return buf;
    }
    char* end = buf + sizeof buf;
    char* p = TwoDigits(buf, end, h);
    *p++ = ':';
    p = TwoDigits(p, end, m);
    *p++ = ':';
    p = TwoDigits(p, end, s);
    return std::string(buf, p);
}

}  // namespace

std::string ElapsedText(std::int64_t elapsed) {
    return Hms(elapsed / 3600 % 24, elapsed / 60 % 60, elapsed % 60);
}

std::int64_t RateSeconds(std::int64_t elapsed) {
    std::int64_t secs = elapsed % 86400;
    return secs < 1 ? 1 : secs;
}

std::string FramesPerSecondText(std::int64_t framesDone, std::int64_t elapsed) {
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf,
                           static_cast<long long>(framesDone / RateSeconds(elapsed)));
    std::string text = " [";
    text.append(buf, r.ptr);
    text += "] Frames / second. ";
    return text;
}

std::string EncoderRemainingText(std::int64_t framesTotal, std::int64_t fps, std::int64_t elapsed) {
    if (fps <= 0) return "00:00:00";
    std::int64_t remaining =
        static_cast<std::int64_t>(static_cast<double>(framesTotal) / static_cast<double>(fps)) -
        elapsed;
    if (remaining < 0) return "00:00:00";
    std::int64_t h = remaining / 3600;
    if (h >= 100) return "00:00:00";
    return Hms(h % 99, remaining / 60 % 60, remaining % 60);
}

std::string DecoderRemainingText(std::int64_t framesTotal, std::int64_t fps, std::int64_t elapsed) {
    if (fps <= 0) return "00:00:00";
    std::int64_t remaining = framesTotal / fps - elapsed;
    if (remaining < 0) return "00:00:00";
    std::int64_t h = remaining / 3600;
    if (h >= 100) return "00:00:00";
    return Hms(h, remaining / 60 % 60, remaining % 60);
}

std::string CompressedSizesText(std::int64_t inputBytes, std::int64_t outputBytes) {
    if (inputBytes < 0 || outputBytes < 0 || outputBytes > INT64_MAX / 10) {
        char buf[96];
        std::snprintf(buf, sizeof buf, " %lldMB Compressed to %.1fMB ",
                      static_cast<long long>(inputBytes / 1048576),
                      static_cast<double>(outputBytes) / 1048576.0);
        return buf;
    }
    // outputBytes / 2^20 to one decimal as "%.1f" rounds it: to the nearest tenth, an exact
    // half to the even tenth; in whole numbers, since the quotient is exact.
    std::int64_t tenths = outputBytes * 10;
    std::int64_t q = tenths >> 20;
    std::int64_t rest = tenths & ((std::int64_t{1} << 20) - 1);
    constexpr std::int64_t kHalf = std::int64_t{1} << 19;
    if (rest > kHalf || (rest == kHalf && (q & 1))) ++q;
    char mb[24];
    char whole[24];
    auto mbEnd = std::to_chars(mb, mb + sizeof mb, static_cast<long long>(inputBytes / 1048576));
    auto wholeEnd = std::to_chars(whole, whole + sizeof whole, static_cast<long long>(q / 10));
    std::string text = " ";
    text.append(mb, mbEnd.ptr);
    text += "MB Compressed to ";
    text.append(whole, wholeEnd.ptr);
    text += '.';
    text += static_cast<char>('0' + q % 10);
    text += "MB ";
    return text;
}

std::string CompressionText(std::int64_t bytesFed, int bitrateKbps, bool stereo) {
    std::int64_t estimate = static_cast<std::int64_t>(
        static_cast<double>(bytesFed * (bitrateKbps / 8)) / (stereo ? 176.4 : 88.2));
    return CompressedSizesText(bytesFed, estimate);
}

std::int64_t BarDivisor(std::int64_t size) { return size > 1000000 ? 1000 : 10; }

}  // namespace orvane::encoder
