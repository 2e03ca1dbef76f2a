#include "encoder/plimo/desktop_glue.h"

#include <QObject>

#include "encoder/cdda/verified_rip.h"

namespace orvane::plimo {

std::string RipOutcomeLine(const cdda::RipReport& report) {
    int matched = 0, unavailable = 0;
    const int tracks = static_cast<int>(report.tracks.size());
    for (const cdda::RipTrackReport& t : report.tracks) {
        if (t.verdict.result == cdda::AccurateRipResult::Match) ++matched;
        if (t.verdict.result == cdda::AccurateRipResult::Unavailable) ++unavailable;
    }
    if (tracks == 0) return {};
    if (unavailable == tracks)
        return "AccurateRip: " +
               (report.lookupMessage.empty() ? std::string("unavailable") : report.lookupMessage);
    if (matched == tracks)
        return "AccurateRip: all " + std::to_string(tracks) + (tracks == 1 ? " track" : " tracks") +
               " accurately ripped";
    return "AccurateRip: " + std::to_string(matched) + " of " + std::to_string(tracks) +
           (tracks == 1 ? " track" : " tracks") + " accurately ripped";
}

PlimoDesktop::PlimoDesktop(encoder::SettingsStore& settings, std::function<bool()> windowsActive,
                           std::optional<QDBusConnection> bus)
    : settings_(settings),
      windowsActive_(std::move(windowsActive)),
      bus_(std::move(bus)),
      inhibitor_("Plimo", "Encoding audio"),
      context_(std::make_unique<QObject>()) {
    inhibitor_.UseBuses(desktop::SystemBus(), bus_);
}

PlimoDesktop::~PlimoDesktop() { encoder::TheJobWindowHooks() = {}; }

void PlimoDesktop::Install() {
    auto& hooks = encoder::TheJobWindowHooks();
    hooks.started = [this](const encoder::JobRequest&) { JobStarted(); };
    hooks.finished = [this](const encoder::JobRequest& request,
                            const encoder::JobOutcome& outcome) { JobFinished(request, outcome); };
    hooks.ended = [this] { JobEnded(); };
}

cdda::RipReportSink PlimoDesktop::RipListener() {
    return [this](const cdda::RipReport& report, bool) { RipReported(report); };
}

void PlimoDesktop::OnGuiThread(std::function<void()> f) {
    QMetaObject::invokeMethod(context_.get(), std::move(f), Qt::QueuedConnection);
}

void PlimoDesktop::JobStarted() {
    {
        std::lock_guard lock(ripMutex_);
        ripOutcome_.clear();
    }
    OnGuiThread([this] { inhibitor_.Hold(true); });
}

void PlimoDesktop::RipReported(const cdda::RipReport& report) {
    std::lock_guard lock(ripMutex_);
    ripOutcome_ = RipOutcomeLine(report);
}

void PlimoDesktop::JobFinished(const encoder::JobRequest& request,
                               const encoder::JobOutcome& outcome) {
    std::string rip;
    {
        std::lock_guard lock(ripMutex_);
        rip = ripOutcome_;
    }
    const encoder::JobNotice notice = encoder::MakeJobNotice(request, outcome, rip);
    OnGuiThread([this, notice] {
        if (settings_.GetProfileInt("Preferences", "Notify", 1) == 0) return;
        if (windowsActive_ && windowsActive_()) return;
        desktop::Notify({QString::fromStdString(notice.summary),
                         QString::fromStdString(notice.body), notice.failed},
                        "Plimo", "org.orvane.Plimo", bus_);
    });
}

void PlimoDesktop::JobEnded() {
    OnGuiThread([this] { inhibitor_.Hold(false); });
}

}  // namespace orvane::plimo
