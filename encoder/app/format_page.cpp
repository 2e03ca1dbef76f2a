// The wizard's page of the FLAC and Opus options (dialog 630), shown after the input and output
// page when the FLAC / Opus target is chosen. Its radios choose the format; the target, the
// output file's extension and the summary follow them.
#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "encoder/app/encoder_app.h"
#include "encoder/app/resource.h"
#include "encoder/app/wizard.h"
#include "encoder/job/job_kinds.h"

namespace orvane::encoder {

namespace {

constexpr int kFlacLevels = 9;  // 0 .. 8
constexpr int kOpusBitrates[] = {32, 48, 64, 96, 128, 160, 192, 256, 320, 384, 448, 512};

// The formats a CD job may write beside the chosen one, with their check boxes.
struct AlsoBox {
    int id;
    JobKind kind;
};
constexpr AlsoBox kAlsoBoxes[] = {{IDC_FMT_ALSO_FLAC, JobKind::EncodeFlac},
                                  {IDC_FMT_ALSO_OPUS, JobKind::EncodeOpus},
                                  {IDC_FMT_ALSO_MP3, JobKind::EncodeMp3},
                                  {IDC_FMT_ALSO_WAV, JobKind::Decode}};

bool Has(const std::vector<JobKind>& kinds, JobKind kind) {
    return std::find(kinds.begin(), kinds.end(), kind) != kinds.end();
}

bool EndsWithNoCase(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           strcasecmp(text.c_str() + text.size() - end.size(), end.c_str()) == 0;
}

}  // namespace

void MLSheet::InitFormatPage() {
    formatPageCreated_ = true;
    WindowPort& w = *port_;
    w.ResetContent(IDC_FMT_LEVEL);
    for (int level = 0; level < kFlacLevels; ++level)
        w.AddString(IDC_FMT_LEVEL, std::to_string(level));
    w.SetCurSel(IDC_FMT_LEVEL, formats_.flacLevel);
    w.ResetContent(IDC_FMT_BITRATE);
    for (int i = 0; i < static_cast<int>(std::size(kOpusBitrates)); ++i) {
        w.AddString(IDC_FMT_BITRATE, std::to_string(kOpusBitrates[i]));
        if (kOpusBitrates[i] == formats_.opusKbps) w.SetCurSel(IDC_FMT_BITRATE, i);
    }
    w.SetCheck(IDC_FMT_VERIFY, formats_.verify);
    w.SetCheck(IDC_FMT_REPLAYGAIN, formats_.replayGain);
}

void MLSheet::ActivateFormatPage() {
    WindowPort& w = *port_;
    PageEffect(true);
    wizard_->SetWizardButtons(PSWIZB_BACK | PSWIZB_NEXT);
    w.SetCheck(IDC_FMT_FLAC, target_ == JobKind::EncodeFlac);
    w.SetCheck(IDC_FMT_OPUS, target_ == JobKind::EncodeOpus);
    // The loudness setting is shared with the MP3 options page.
    w.SetCheck(IDC_FMT_REPLAYGAIN, formats_.replayGain);
    // Each format's own options are there to set only while it is chosen.
    w.Enable(IDC_FMT_LEVEL, target_ == JobKind::EncodeFlac);
    w.Enable(IDC_FMT_VERIFY, target_ == JobKind::EncodeFlac);
    w.Enable(IDC_FMT_BITRATE, target_ == JobKind::EncodeOpus);
    // The chosen format is written anyway; the others, for the tracks of a CD alone.
    for (const AlsoBox& box : kAlsoBoxes) {
        const bool chosen = box.kind == target_;
        w.SetCheck(box.id, chosen || Has(formats_.cdAlso, box.kind));
        w.Enable(box.id, !chosen && source_ == Source::CdAudio);
    }
}

void MLSheet::TakeFormatPage() {
    WindowPort& w = *port_;
    const JobKind chosen = w.Check(IDC_FMT_OPUS) ? JobKind::EncodeOpus : JobKind::EncodeFlac;
    if (w.CurSel(IDC_FMT_LEVEL) >= 0) formats_.flacLevel = w.CurSel(IDC_FMT_LEVEL);
    const int bitrate = w.CurSel(IDC_FMT_BITRATE);
    if (bitrate >= 0 && bitrate < static_cast<int>(std::size(kOpusBitrates)))
        formats_.opusKbps = kOpusBitrates[bitrate];
    formats_.verify = w.Check(IDC_FMT_VERIFY) != 0;
    formats_.replayGain = w.Check(IDC_FMT_REPLAYGAIN) != 0;
    if (source_ == Source::CdAudio) {
        std::vector<JobKind> also;
        for (const AlsoBox& box : kAlsoBoxes)
            if (box.kind != target_ && w.Check(box.id)) also.push_back(box.kind);
        formats_.cdAlso = std::move(also);
    }
    if (chosen != target_) {
        SelectTarget(chosen);
        // A single output named for the other format takes this one's extension.
        const char* from = chosen == JobKind::EncodeFlac ? ".opus" : ".flac";
        if (!batch_ && EndsWithNoCase(output_, from)) {
            output_ = output_.substr(0, output_.size() - 5) +
                      (chosen == JobKind::EncodeFlac ? ".flac" : ".opus");
            w.SetText(IDC_OUTPUT, output_);
        }
    }
    formatTarget_ = chosen;
    ActivateFormatPage();
}

void MLSheet::ReadFormatSettings() {
    SettingsStore& s = *app_.settings;
    const FormatChoice defaults;
    const long level = s.GetProfileInt("Formats", "FlacLevel", defaults.flacLevel);
    formats_.flacLevel =
        level >= 0 && level < kFlacLevels ? static_cast<int>(level) : defaults.flacLevel;
    // Only a bit rate the page offers; another one (edited by hand) is the default.
    const long kbps = s.GetProfileInt("Formats", "OpusBitrate", defaults.opusKbps);
    formats_.opusKbps = defaults.opusKbps;
    for (int offered : kOpusBitrates)
        if (offered == kbps) formats_.opusKbps = offered;
    formats_.verify = s.GetProfileInt("Formats", "FlacVerify", 0) != 0;
    formats_.replayGain = s.GetProfileInt("Formats", "ReplayGain", 0) != 0;
    formatTarget_ =
        s.GetProfileInt("Formats", "Format", 0) == 1 ? JobKind::EncodeOpus : JobKind::EncodeFlac;
    // "flac,mp3": the formats a CD job writes beside the chosen one; a name not offered is
    // left out.
    formats_.cdAlso.clear();
    std::istringstream names(s.GetProfileString("Formats", "CdAlso", ""));
    for (std::string name; std::getline(names, name, ',');)
        for (const AlsoBox& box : kAlsoBoxes)
            if (KindEntry(box.kind).format == name && !Has(formats_.cdAlso, box.kind))
                formats_.cdAlso.push_back(box.kind);
}

void MLSheet::WriteFormatSettings() {
    SettingsStore& s = *app_.settings;
    s.WriteProfileInt("Formats", "Format", formatTarget_ == JobKind::EncodeOpus ? 1 : 0);
    s.WriteProfileInt("Formats", "FlacLevel", formats_.flacLevel);
    s.WriteProfileInt("Formats", "FlacVerify", formats_.verify ? 1 : 0);
    s.WriteProfileInt("Formats", "OpusBitrate", formats_.opusKbps);
    s.WriteProfileInt("Formats", "ReplayGain", formats_.replayGain ? 1 : 0);
    // Written once chosen: a profile that never had the choice stays as it was.
    std::string also;
    for (JobKind kind : formats_.cdAlso)
        also += (also.empty() ? "" : ",") + KindEntry(kind).format;
    if (!also.empty() || !s.GetProfileString("Formats", "CdAlso", "").empty())
        s.WriteProfileString("Formats", "CdAlso", also);
}

FormatChoice MLSheet::FormatsForJob() const {
    FormatChoice job = formats_;
    const bool ownTarget = target_ == JobKind::EncodeFlac || target_ == JobKind::EncodeOpus;
    if (!ownTarget || source_ != Source::CdAudio) job.cdAlso.clear();
    std::erase(job.cdAlso, target_);
    return job;
}

std::string MLSheet::FormatSummary() const {
    char text[96];
    if (target_ == JobKind::EncodeOpus)
        std::snprintf(text, sizeof text, "Opus, %d Kbps%s", formats_.opusKbps,
                      formats_.replayGain ? ", ReplayGain" : "");
    else
        std::snprintf(text, sizeof text, "FLAC (lossless), level %d%s%s", formats_.flacLevel,
                      formats_.verify ? ", verified" : "",
                      formats_.replayGain ? ", ReplayGain" : "");
    std::string summary = text;
    // The CD's other formats: "FLAC (lossless), level 5 + MP3, WAVE".
    std::string also;
    for (JobKind kind : FormatsForJob().cdAlso)
        also += (also.empty() ? " + " : ", ") + KindEntry(kind).name;
    return summary + also;
}

}  // namespace orvane::encoder
