#include "encoder/app/headless.h"

#include "encoder/app/encoder_app.h"
#include "encoder/app/resource.h"
#include "encoder/app/status_dialog.h"
#include "encoder/app/wizard.h"

namespace orvane::encoder {

void MemoryWindow::SetText(int id, const std::string& text) {
    std::lock_guard l(m_);
    texts_[id] = text;
}

std::string MemoryWindow::Text(int id) const {
    std::lock_guard l(m_);
    auto it = texts_.find(id);
    return it == texts_.end() ? std::string() : it->second;
}

void MemoryWindow::SetRange(int, int, int) {}

void MemoryWindow::SetPos(int id, int pos) {
    std::lock_guard l(m_);
    pos_[id] = pos;
}

int MemoryWindow::Pos(int id) const {
    std::lock_guard l(m_);
    auto it = pos_.find(id);
    return it == pos_.end() ? 0 : it->second;
}

void MemoryWindow::Enable(int id, bool on) {
    std::lock_guard l(m_);
    enabled_[id] = on;
}

bool MemoryWindow::IsEnabled(int id) const {
    std::lock_guard l(m_);
    auto it = enabled_.find(id);
    return it == enabled_.end() || it->second;
}

void MemoryWindow::SetCheck(int id, int state) {
    std::lock_guard l(m_);
    checks_[id] = state;
}

int MemoryWindow::Check(int id) const {
    std::lock_guard l(m_);
    auto it = checks_.find(id);
    return it == checks_.end() ? 0 : it->second;
}

void MemoryWindow::ResetContent(int id) {
    std::lock_guard l(m_);
    lists_[id] = List{};
}

int MemoryWindow::AddString(int id, const std::string& text) {
    std::lock_guard l(m_);
    List& list = lists_[id];
    list.items.push_back(text);
    list.data.push_back(0);
    return static_cast<int>(list.items.size()) - 1;
}

void MemoryWindow::SetItemData(int id, int index, long data) {
    std::lock_guard l(m_);
    List& list = lists_[id];
    if (index >= 0 && index < static_cast<int>(list.data.size()))
        list.data[static_cast<std::size_t>(index)] = data;
}

long MemoryWindow::ItemData(int id, int index) const {
    std::lock_guard l(m_);
    auto it = lists_.find(id);
    if (it == lists_.end() || index < 0 || index >= static_cast<int>(it->second.data.size()))
        return 0;
    return it->second.data[static_cast<std::size_t>(index)];
}

int MemoryWindow::Count(int id) const {
    std::lock_guard l(m_);
    auto it = lists_.find(id);
    return it == lists_.end() ? 0 : static_cast<int>(it->second.items.size());
}

std::string MemoryWindow::ItemText(int id, int index) const {
    std::lock_guard l(m_);
    auto it = lists_.find(id);
    if (it == lists_.end() || index < 0 || index >= static_cast<int>(it->second.items.size()))
        return {};
    return it->second.items[static_cast<std::size_t>(index)];
}

void MemoryWindow::SetCurSel(int id, int index) {
    std::lock_guard l(m_);
    lists_[id].sel = index;
}

int MemoryWindow::CurSel(int id) const {
    std::lock_guard l(m_);
    auto it = lists_.find(id);
    return it == lists_.end() ? -1 : it->second.sel;
}

void MemoryWindow::DeleteString(int id, int index) {
    std::lock_guard l(m_);
    List& list = lists_[id];
    if (index < 0 || index >= static_cast<int>(list.items.size())) return;
    list.items.erase(list.items.begin() + index);
    list.data.erase(list.data.begin() + index);
}

int MemoryWindow::MessageBox(const std::string& text, const std::string&, unsigned flags) {
    std::lock_guard l(m_);
    messages_.push_back(text);
    if (out_) *out_ << text << std::endl;
    return (flags & 0xF) == MB_YESNO ? IDYES : IDOK;
}

void MemoryWindow::EndDialog(int result) {
    std::lock_guard l(m_);
    ended_.push_back(result);
}

std::vector<std::string> MemoryWindow::Messages() const {
    std::lock_guard l(m_);
    return messages_;
}

std::vector<int> MemoryWindow::Ended() const {
    std::lock_guard l(m_);
    return ended_;
}

std::string RunHeadlessJob(EncoderApp& app, const HeadlessChoice& c, MemoryWindow& window) {
    ProcessingStatusDialog dialog(app);
    MemoryWindow sheetWindow;
    window.onModal = [&](int id) {
        if (id != IDD_SHEET) return IDCANCEL;
        MLSheet& sheet = dialog.Sheet();
        sheet.Attach(&sheetWindow);
        sheet.OnInitDialog();
        if (c.kind == JobKind::Decode) sheet.OnCommand(IDC_TO_WAV);
        if (c.kind == JobKind::EncodeWma) sheet.OnCommand(IDC_TO_WMA);
        sheetWindow.SetCheck(IDC_BATCH, c.batch ? 1 : 0);
        sheet.OnCommand(IDC_BATCH);
        sheetWindow.SetText(IDC_INPUT, c.input);
        sheet.OnInputChanged();
        sheetWindow.SetText(IDC_OUTPUT, c.output);
        sheet.OnNext();
        if (sheet.ActivePage() == IDD_PAGE2) {
            const EncoderSettings& s = c.settings;
            for (int i = 0; i < 3; ++i)
                sheetWindow.SetCheck(IDC_LAYER1 + i, s.layerIndex == i);
            for (int i = 0; i < 4; ++i)
                sheetWindow.SetCheck(IDC_MODE_STEREO + i, s.mode == i);
            for (int i = 0; i < 3; ++i)
                sheetWindow.SetCheck(IDC_EMPH_NONE + i, s.deEmphasis == i);
            sheetWindow.SetCheck(IDC_CRC, s.errorProtection);
            sheetWindow.SetCheck(IDC_PRIVATE, s.privateBit);
            sheetWindow.SetCheck(IDC_COPYRIGHT, s.copyrighted);
            sheetWindow.SetCheck(IDC_ORIGINAL, s.original);
            sheetWindow.SetCheck(IDC_QUALITY_HIFI, s.quality == 0);
            sheetWindow.SetCheck(IDC_QUALITY_SPEED, s.quality == 1);
            for (int i = 0; i < sheetWindow.Count(IDC_BITRATE); ++i)
                if (sheetWindow.ItemText(IDC_BITRATE, i) == s.bitrate)
                    sheetWindow.SetCurSel(IDC_BITRATE, i);
            sheet.OnNext();
        }
        if (sheet.ActivePage() == IDD_WMA_SETTINGS) sheet.OnNext();
        sheet.OnFinish();
        return ID_WIZFINISH;
    };
    dialog.Attach(&window);
    dialog.OnInitDialog();
    dialog.WaitForWorker();
    dialog.Detach();
    return dialog.FinalMessage();
}

}  // namespace orvane::encoder
