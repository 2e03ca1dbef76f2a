#pragma once
// Plimo on the desktop: a notification when a job ends while none of its windows is active
// (Preferences\Notify 0 turns it off), and no sleep while a job runs.

#include <QDBusConnection>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "encoder/app/settings_store.h"
#include "encoder/cdda/rip_log.h"
#include "encoder/cdda/verified_rip.h"
#include "encoder/job/job_notice.h"
#include "platform/desktop/desktop_bus.h"

namespace orvane::plimo {

// The verified rip's outcome in one line ("AccurateRip: all 5 tracks accurately ripped").
std::string RipOutcomeLine(const cdda::RipReport& report);

class PlimoDesktop {
public:
    // windowsActive: whether one of Plimo's windows has the focus (GUI thread).
    PlimoDesktop(encoder::SettingsStore& settings, std::function<bool()> windowsActive,
                 std::optional<QDBusConnection> bus);
    ~PlimoDesktop();
    PlimoDesktop(const PlimoDesktop&) = delete;
    PlimoDesktop& operator=(const PlimoDesktop&) = delete;

    // Listens to the processing window's jobs.
    void Install();
    // The listener of the verified rips, for the CD jobs (cdda::InstallCdTrackSource); it must
    // not outlive this object.
    cdda::RipReportSink RipListener();

    // The listeners (Install connects them).
    void JobStarted();
    void JobFinished(const encoder::JobRequest& request, const encoder::JobOutcome& outcome);
    void JobEnded();
    void RipReported(const cdda::RipReport& report);

    desktop::SleepInhibitor& Inhibitor() { return inhibitor_; }

private:
    // Runs f on the GUI thread.
    void OnGuiThread(std::function<void()> f);

    encoder::SettingsStore& settings_;
    std::function<bool()> windowsActive_;
    std::optional<QDBusConnection> bus_;
    desktop::SleepInhibitor inhibitor_;
    std::unique_ptr<QObject> context_;
    std::mutex ripMutex_;
    std::string ripOutcome_;
};

}  // namespace orvane::plimo
