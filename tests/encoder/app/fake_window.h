#pragma once
// A WindowPort that records what the logic does to its window and answers from a script.
// Safe to call from worker threads.

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/window/window_port.h"

namespace orvane::test {

class FakeWindow : public WindowPort {
public:
    struct Box {
        std::string text, caption;
        unsigned flags;
    };
    struct List {
        std::vector<std::string> items;
        std::vector<long> data;
        int sel = -1;
    };

    // --- WindowPort ---
    void SetText(int id, const std::string& text) override {
        std::lock_guard l(m_);
        texts_[id] = text;
        if (id == 0) titles_.push_back(text);
    }
    std::string Text(int id) const override {
        std::lock_guard l(m_);
        auto it = texts_.find(id);
        return it == texts_.end() ? std::string() : it->second;
    }
    void SetRange(int id, int low, int high) override {
        std::lock_guard l(m_);
        ranges_[id] = {low, high};
    }
    void SetPos(int id, int pos) override {
        std::lock_guard l(m_);
        pos_[id] = pos;
        posHistory_[id].push_back(pos);
    }
    int Pos(int id) const override {
        std::lock_guard l(m_);
        auto it = pos_.find(id);
        return it == pos_.end() ? 0 : it->second;
    }
    void Enable(int id, bool on) override {
        std::lock_guard l(m_);
        enabled_[id] = on;
    }
    bool IsEnabled(int id) const override {
        std::lock_guard l(m_);
        auto it = enabled_.find(id);
        return it == enabled_.end() ? true : it->second;
    }
    void Show(int id, bool visible) override {
        std::lock_guard l(m_);
        shown_[id] = visible;
    }
    void SetCheck(int id, int state) override {
        std::lock_guard l(m_);
        checks_[id] = state;
    }
    int Check(int id) const override {
        std::lock_guard l(m_);
        auto it = checks_.find(id);
        return it == checks_.end() ? 0 : it->second;
    }
    void ResetContent(int id) override {
        std::lock_guard l(m_);
        lists_[id] = List{};
    }
    int AddString(int id, const std::string& text) override {
        std::lock_guard l(m_);
        List& list = lists_[id];
        std::size_t at = list.items.size();
        if (sorted_.count(id))
            at = static_cast<std::size_t>(
                std::upper_bound(list.items.begin(), list.items.end(), text, LessNoCase) -
                list.items.begin());
        list.items.insert(list.items.begin() + static_cast<long>(at), text);
        list.data.insert(list.data.begin() + static_cast<long>(at), 0);
        return static_cast<int>(at);
    }
    void SetItemData(int id, int index, long data) override {
        std::lock_guard l(m_);
        lists_[id].data.at(static_cast<std::size_t>(index)) = data;
    }
    long ItemData(int id, int index) const override {
        std::lock_guard l(m_);
        return lists_.at(id).data.at(static_cast<std::size_t>(index));
    }
    int Count(int id) const override {
        std::lock_guard l(m_);
        auto it = lists_.find(id);
        return it == lists_.end() ? 0 : static_cast<int>(it->second.items.size());
    }
    std::string ItemText(int id, int index) const override {
        std::lock_guard l(m_);
        return lists_.at(id).items.at(static_cast<std::size_t>(index));
    }
    void SetCurSel(int id, int index) override {
        std::lock_guard l(m_);
        lists_[id].sel = index;
    }
    int CurSel(int id) const override {
        std::lock_guard l(m_);
        auto it = lists_.find(id);
        return it == lists_.end() ? -1 : it->second.sel;
    }
    void DeleteString(int id, int index) override {
        std::lock_guard l(m_);
        List& list = lists_[id];
        list.items.erase(list.items.begin() + index);
        list.data.erase(list.data.begin() + index);
    }
    int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override {
        std::unique_lock l(m_);
        boxes_.push_back({text, caption, flags});
        cv_.notify_all();
        if (answers_.empty()) return (flags & 0xF) == MB_YESNO ? IDYES : IDOK;
        int a = answers_.front();
        answers_.pop_front();
        return a;
    }
    void EndDialog(int result) override {
        std::lock_guard l(m_);
        ended_.push_back(result);
        cv_.notify_all();
    }
    void Redraw() override {}
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

    // Forgets everything recorded and scripted.
    void Reset() {
        std::lock_guard l(m_);
        texts_.clear();
        titles_.clear();
        ranges_.clear();
        pos_.clear();
        posHistory_.clear();
        enabled_.clear();
        shown_.clear();
        checks_.clear();
        lists_.clear();
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
    }

    // --- Script and inspection ---
    std::function<int(int)> onModal;
    void Sorted(int id) { sorted_[id] = true; }
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
    std::vector<std::string> PickerCalls() const {
        std::lock_guard l(m_);
        return pickerCalls_;
    }
    std::vector<std::string> Titles() const {
        std::lock_guard l(m_);
        return titles_;
    }
    std::pair<int, int> Range(int id) const {
        std::lock_guard l(m_);
        auto it = ranges_.find(id);
        return it == ranges_.end() ? std::pair<int, int>{0, 0} : it->second;
    }
    std::vector<int> PosHistory(int id) const {
        std::lock_guard l(m_);
        auto it = posHistory_.find(id);
        return it == posHistory_.end() ? std::vector<int>{} : it->second;
    }
    bool Shown(int id) const {
        std::lock_guard l(m_);
        auto it = shown_.find(id);
        return it != shown_.end() && it->second;
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

private:
    static bool LessNoCase(const std::string& a, const std::string& b) {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                            [](char x, char y) {
                                                return std::tolower(static_cast<unsigned char>(x)) <
                                                       std::tolower(static_cast<unsigned char>(y));
                                            });
    }
    std::string Pick(const std::string& call) {
        std::lock_guard l(m_);
        pickerCalls_.push_back(call);
        if (picks_.empty()) return {};
        std::string p = picks_.front();
        picks_.pop_front();
        return p;
    }

    mutable std::mutex m_;
    std::condition_variable cv_;
    std::map<int, std::string> texts_;
    std::vector<std::string> titles_;
    std::map<int, std::pair<int, int>> ranges_;
    std::map<int, int> pos_;
    std::map<int, std::vector<int>> posHistory_;
    std::map<int, bool> enabled_, shown_, sorted_;
    std::map<int, int> checks_;
    std::map<int, List> lists_;
    std::vector<Box> boxes_;
    std::deque<int> answers_;
    std::vector<int> ended_, posted_, modals_, timers_;
    std::deque<std::string> picks_;
    std::vector<std::string> pickerCalls_;
    unsigned wizardButtons_ = 0;
    std::vector<unsigned> splashes_;
    std::string help_;
};

}  // namespace orvane::test
