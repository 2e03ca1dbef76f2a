#pragma once
// A window that records what the logic does to it and answers from a script: the controls'
// state is the in-memory port's; message boxes, dialogs, pickers, timers and the wizard's own
// calls are recorded here. Safe to call from worker threads.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/window/memory_port.h"

namespace orvane::test {

class FakeWindow : public MemoryPort, public WizardPort {
public:
    struct Box {
        std::string text, caption;
        unsigned flags;
    };

    // --- WindowPort: what the in-memory port does, with a history of titles and positions ---
    void SetText(int id, const std::string& text) override {
        MemoryPort::SetText(id, text);
        std::lock_guard l(m_);
        if (id == 0) titles_.push_back(text);
    }
    void SetPos(int id, int pos) override {
        MemoryPort::SetPos(id, pos);
        std::lock_guard l(m_);
        posHistory_[id].push_back(pos);
    }
    int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override {
        std::unique_lock l(m_);
        boxes_.push_back({text, caption, flags});
        cv_.notify_all();
        if (answers_.empty())
            return (flags & 0xF) == MB_YESNO || (flags & 0xF) == kMbYesToAllNo ? IDYES : IDOK;
        int a = answers_.front();
        answers_.pop_front();
        return a;
    }
    void EndDialog(int result) override {
        std::lock_guard l(m_);
        ended_.push_back(result);
        cv_.notify_all();
    }
    std::string ChooseOpenFile(const std::string& title, const std::string& filter,
                               const std::string&) override {
        return Pick("open:" + title + "|" + filter);
    }
    std::string ChooseSaveFile(const std::string& title, const std::string& filter,
                               const std::string&) override {
        return Pick("save:" + title + "|" + filter);
    }
    std::string ChooseFolder(const std::string& title) override { return Pick("folder:" + title); }
    int DoModal(int dialogId) override {
        std::function<int(int)> f;
        {
            std::lock_guard l(m_);
            modals_.push_back(dialogId);
            f = onModal;
        }
        return f ? f(dialogId) : IDCANCEL;
    }
    void PostCommand(int commandId) override {
        std::lock_guard l(m_);
        posted_.push_back(commandId);
    }
    void SetTimer(int id, unsigned) override {
        std::lock_guard l(m_);
        timers_.push_back(id);
    }

    // --- WizardPort ---
    void SetWizardButtons(unsigned flags) override {
        std::lock_guard l(m_);
        wizardButtons_ = flags;
    }
    void ShowSplash(unsigned ms) override {
        std::lock_guard l(m_);
        splashes_.push_back(ms);
    }
    void ShowHelp(const std::string& path) override {
        std::lock_guard l(m_);
        help_ = path;
    }
    void PlayPageEffect(bool opening) override {
        std::lock_guard l(m_);
        effects_.push_back(opening ? "open" : "close");
    }

    // Forgets everything recorded and scripted.
    void Reset() {
        ClearControls();
        std::lock_guard l(m_);
        titles_.clear();
        posHistory_.clear();
        boxes_.clear();
        answers_.clear();
        ended_.clear();
        posted_.clear();
        modals_.clear();
        timers_.clear();
        picks_.clear();
        pickerCalls_.clear();
        wizardButtons_ = 0;
        splashes_.clear();
        help_.clear();
        effects_.clear();
    }

    // --- Script and inspection ---
    std::function<int(int)> onModal;
    void Answer(int a) {
        std::lock_guard l(m_);
        answers_.push_back(a);
    }
    void PickNext(const std::string& path) {
        std::lock_guard l(m_);
        picks_.push_back(path);
    }
    std::vector<Box> Boxes() const {
        std::lock_guard l(m_);
        return boxes_;
    }
    std::vector<int> Ended() const {
        std::lock_guard l(m_);
        return ended_;
    }
    bool WaitEnded(int timeoutMs = 20000) {
        std::unique_lock l(m_);
        return cv_.wait_for(l, std::chrono::milliseconds(timeoutMs),
                            [&] { return !ended_.empty(); });
    }
    bool WaitBoxes(std::size_t n, int timeoutMs = 20000) {
        std::unique_lock l(m_);
        return cv_.wait_for(l, std::chrono::milliseconds(timeoutMs),
                            [&] { return boxes_.size() >= n; });
    }
    std::vector<int> Posted() const {
        std::lock_guard l(m_);
        return posted_;
    }
    std::vector<int> Modals() const {
        std::lock_guard l(m_);
        return modals_;
    }
    std::vector<int> Timers() const {
        std::lock_guard l(m_);
        return timers_;
    }
    std::vector<std::string> PickerCalls() const {
        std::lock_guard l(m_);
        return pickerCalls_;
    }
    std::vector<std::string> Titles() const {
        std::lock_guard l(m_);
        return titles_;
    }
    std::vector<int> PosHistory(int id) const {
        std::lock_guard l(m_);
        auto it = posHistory_.find(id);
        return it == posHistory_.end() ? std::vector<int>{} : it->second;
    }
    unsigned WizardButtons() const {
        std::lock_guard l(m_);
        return wizardButtons_;
    }
    std::vector<unsigned> Splashes() const {
        std::lock_guard l(m_);
        return splashes_;
    }
    std::string Help() const {
        std::lock_guard l(m_);
        return help_;
    }
    // The page effects played, in order: "open" or "close" each. Reading them forgets them.
    std::vector<std::string> TakeEffects() {
        std::lock_guard l(m_);
        return std::exchange(effects_, {});
    }

private:
    std::string Pick(const std::string& call) {
        std::lock_guard l(m_);
        pickerCalls_.push_back(call);
        if (picks_.empty()) return {};
        std::string p = picks_.front();
        picks_.pop_front();
        return p;
    }

    std::condition_variable_any cv_;
    std::vector<std::string> titles_;
    std::map<int, std::vector<int>> posHistory_;
    std::vector<Box> boxes_;
    std::deque<int> answers_;
    std::vector<int> ended_, posted_, modals_, timers_;
    std::deque<std::string> picks_;
    std::vector<std::string> pickerCalls_;
    unsigned wizardButtons_ = 0;
    std::vector<unsigned> splashes_;
    std::string help_;
    std::vector<std::string> effects_;
};

}  // namespace orvane::test
