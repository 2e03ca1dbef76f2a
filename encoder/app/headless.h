#pragma once
// Running one job without a screen: a window port that keeps its controls in memory and writes
// message boxes to a stream, and a driver that runs a request through the status dialog's
// logic. Used by the command-line job runner and the end-to-end tests.

#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "encoder/job/job_runner.h"
#include "platform/window/memory_port.h"

namespace orvane::encoder {

struct EncoderApp;

class MemoryWindow : public MemoryPort {
public:
    // Message boxes are written to out (when given) and answered with IDOK / IDYES.
    explicit MemoryWindow(std::ostream* out = nullptr) : out_(out) {}

    int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override;
    void EndDialog(int result) override;

    std::vector<std::string> Messages() const;
    std::vector<int> Ended() const;

private:
    std::ostream* out_;
    std::vector<std::string> messages_;
    std::vector<int> ended_;
};

// Runs the request's job in a status dialog shown on window and waits for its end.
JobOutcome RunHeadlessJob(EncoderApp& app, const JobRequest& request, MemoryWindow& window);

}  // namespace orvane::encoder
