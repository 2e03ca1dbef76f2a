#include "platform/window/memory_port.h"

#include <algorithm>
#include <cctype>

namespace orvane {

namespace {

bool LessNoCase(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) <
               std::tolower(static_cast<unsigned char>(y));
    });
}

template <class Map, class Value>
Value Find(const Map& map, int id, Value fallback) {
    auto it = map.find(id);
    return it == map.end() ? fallback : it->second;
}

}  // namespace

void MemoryPort::SetText(int id, const std::string& text) {
    std::lock_guard l(m_);
    texts_[id] = text;
}

std::string MemoryPort::Text(int id) const {
    std::lock_guard l(m_);
    return Find(texts_, id, std::string());
}

void MemoryPort::SetRange(int id, int low, int high) {
    std::lock_guard l(m_);
    ranges_[id] = {low, high};
}

std::pair<int, int> MemoryPort::Range(int id) const {
    std::lock_guard l(m_);
    return Find(ranges_, id, std::pair<int, int>{0, 0});
}

void MemoryPort::SetPos(int id, int pos) {
    std::lock_guard l(m_);
    pos_[id] = pos;
}

int MemoryPort::Pos(int id) const {
    std::lock_guard l(m_);
    return Find(pos_, id, 0);
}

void MemoryPort::Enable(int id, bool on) {
    std::lock_guard l(m_);
    enabled_[id] = on;
}

bool MemoryPort::IsEnabled(int id) const {
    std::lock_guard l(m_);
    return Find(enabled_, id, true);
}

void MemoryPort::Show(int id, bool visible) {
    std::lock_guard l(m_);
    shown_[id] = visible;
}

bool MemoryPort::Shown(int id) const {
    std::lock_guard l(m_);
    return Find(shown_, id, false);
}

void MemoryPort::SetCheck(int id, int state) {
    std::lock_guard l(m_);
    checks_[id] = state;
}

int MemoryPort::Check(int id) const {
    std::lock_guard l(m_);
    return Find(checks_, id, 0);
}

void MemoryPort::Sorted(int id) {
    std::lock_guard l(m_);
    sorted_[id] = true;
}

void MemoryPort::ResetContent(int id) {
    std::lock_guard l(m_);
    lists_[id] = List{};
}

int MemoryPort::AddString(int id, const std::string& text) {
    std::lock_guard l(m_);
    List& list = lists_[id];
    auto at = static_cast<std::ptrdiff_t>(list.items.size());
    if (Find(sorted_, id, false))
        at = std::upper_bound(list.items.begin(), list.items.end(), text, LessNoCase) -
             list.items.begin();
    list.items.insert(list.items.begin() + at, text);
    list.data.insert(list.data.begin() + at, 0);
    return static_cast<int>(at);
}

void MemoryPort::SetItemData(int id, int index, long data) {
    std::lock_guard l(m_);
    List& list = lists_[id];
    if (index >= 0 && index < static_cast<int>(list.data.size()))
        list.data[static_cast<std::size_t>(index)] = data;
}

long MemoryPort::ItemData(int id, int index) const {
    std::lock_guard l(m_);
    auto it = lists_.find(id);
    if (it == lists_.end() || index < 0 || index >= static_cast<int>(it->second.data.size()))
        return 0;
    return it->second.data[static_cast<std::size_t>(index)];
}

int MemoryPort::Count(int id) const {
    std::lock_guard l(m_);
    auto it = lists_.find(id);
    return it == lists_.end() ? 0 : static_cast<int>(it->second.items.size());
}

std::string MemoryPort::ItemText(int id, int index) const {
    std::lock_guard l(m_);
    auto it = lists_.find(id);
    if (it == lists_.end() || index < 0 || index >= static_cast<int>(it->second.items.size()))
        return {};
    return it->second.items[static_cast<std::size_t>(index)];
}

void MemoryPort::SetCurSel(int id, int index) {
    std::lock_guard l(m_);
    lists_[id].sel = index;
}

int MemoryPort::CurSel(int id) const {
    std::lock_guard l(m_);
    auto it = lists_.find(id);
    return it == lists_.end() ? -1 : it->second.sel;
}

void MemoryPort::DeleteString(int id, int index) {
    std::lock_guard l(m_);
    List& list = lists_[id];
    if (index < 0 || index >= static_cast<int>(list.items.size())) return;
    list.items.erase(list.items.begin() + index);
    list.data.erase(list.data.begin() + index);
}

void MemoryPort::ClearControls() {
    std::lock_guard l(m_);
    texts_.clear();
    ranges_.clear();
    pos_.clear();
    checks_.clear();
    enabled_.clear();
    shown_.clear();
    lists_.clear();
}

}  // namespace orvane
