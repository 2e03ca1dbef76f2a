#pragma once
// A window port that keeps its controls' state in memory: texts, ranges, positions, enabled
// and shown states, checks and lists. The window of runs without a screen and the base of the
// test recorders. Safe to call from any thread.

#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/window/window_port.h"

namespace orvane {

class MemoryPort : public WindowPort {
public:
    void SetText(int id, const std::string& text) override;
    std::string Text(int id) const override;
    void SetRange(int id, int low, int high) override;
    void SetPos(int id, int pos) override;
    int Pos(int id) const override;
    void Enable(int id, bool on) override;
    bool IsEnabled(int id) const override;  // true until disabled
    void Show(int id, bool visible) override;
    void SetCheck(int id, int state) override;
    int Check(int id) const override;
    // Lists answer out-of-range indexes as a list box does: with nothing (0, "", ignored).
    void ResetContent(int id) override;
    int AddString(int id, const std::string& text) override;
    void SetItemData(int id, int index, long data) override;
    long ItemData(int id, int index) const override;
    int Count(int id) const override;
    std::string ItemText(int id, int index) const override;
    void SetCurSel(int id, int index) override;
    int CurSel(int id) const override;
    void DeleteString(int id, int index) override;

    // A list that keeps its items sorted without regard to case (AddString returns where the
    // item landed), as a sorted list box does.
    void Sorted(int id);
    std::pair<int, int> Range(int id) const;  // (0, 0) when never set
    bool Shown(int id) const;                 // false until shown
    // Forgets every control's state.
    void ClearControls();

protected:
    mutable std::mutex m_;

private:
    struct List {
        std::vector<std::string> items;
        std::vector<long> data;
        int sel = -1;
    };
    std::map<int, std::string> texts_;
    std::map<int, std::pair<int, int>> ranges_;
    std::map<int, int> pos_, checks_;
    std::map<int, bool> enabled_, shown_, sorted_;
    std::map<int, List> lists_;
};

}  // namespace orvane
