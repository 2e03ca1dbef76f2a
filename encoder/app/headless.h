#pragma once
// Running one job without windows: a window port that keeps control state in memory and
// writes message boxes to a stream, and a driver that answers the wizard with fixed choices.
// Used by the command-line job runner and the end-to-end tests.

#include <functional>
#include <map>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "encoder/app/job.h"
#include "platform/window/window_port.h"

namespace orvane::encoder {

struct EncoderApp;

class MemoryWindow : public WindowPort {
public:
    // Message boxes are written to out (when given) and answered with IDOK / IDYES.
    explicit MemoryWindow(std::ostream* out = nullptr) : out_(out) {}

    void SetText(int id, const std::string& text) override;
    std::string Text(int id) const override;
    void SetRange(int id, int low, int high) override;
    void SetPos(int id, int pos) override;
    int Pos(int id) const override;
    void Enable(int id, bool on) override;
    bool IsEnabled(int id) const override;
    void Show(int, bool) override {}
    void SetCheck(int id, int state) override;
    int Check(int id) const override;
    void ResetContent(int id) override;
    int AddString(int id, const std::string& text) override;
    void SetItemData(int id, int index, long data) override;
    long ItemData(int id, int index) const override;
    int Count(int id) const override;
    std::string ItemText(int id, int index) const override;
    void SetCurSel(int id, int index) override;
    int CurSel(int id) const override;
    void DeleteString(int id, int index) override;
    int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override;
    void EndDialog(int result) override;
    int DoModal(int dialogId) override { return onModal ? onModal(dialogId) : IDCANCEL; }

    std::function<int(int)> onModal;
    std::vector<std::string> Messages() const;
    std::vector<int> Ended() const;

private:
    struct List {
        std::vector<std::string> items;
        std::vector<long> data;
        int sel = -1;
    };
    std::ostream* out_;
    mutable std::mutex m_;
    std::map<int, std::string> texts_;
    std::map<int, int> pos_, checks_;
    std::map<int, bool> enabled_;
    std::map<int, List> lists_;
    std::vector<std::string> messages_;
    std::vector<int> ended_;
};

struct HeadlessChoice {
    std::string input, output;
    JobKind kind = JobKind::EncodeMp3;
    bool batch = false;
    EncoderSettings settings;  // MP3 options
};

// Runs the wizard with the choice (through the same handlers the views call), then the job,
// and waits for its end. Returns the final message of the job ("" when it ended without one).
// window receives the status dialog's output.
std::string RunHeadlessJob(EncoderApp& app, const HeadlessChoice& choice, MemoryWindow& window);

}  // namespace orvane::encoder
