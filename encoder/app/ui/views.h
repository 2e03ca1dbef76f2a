#pragma once
// The windows of the encoder front-end bound to their logic: each view lays out its dialog,
// registers the controls in a window port, hands the port to the logic and forwards the
// user's actions to it. The logic does the rest through the port.

#include <QWidget>

namespace orvane::encoder {
struct JobRequest;
class MLSheet;
class ProcessingStatusDialog;
class TagDialog;
}  // namespace orvane::encoder

namespace orvane::encoder::ui {

// The wizard sheet, modal over owner; returns ID_WIZFINISH or IDCANCEL.
int RunSheet(MLSheet& sheet, QWidget* owner);

// The tag dialog 162, modal over owner; returns IDOK or IDCANCEL.
int RunTagDialog(TagDialog& dialog, QWidget* owner);

// The processing status window 102 for one wizard run and at most one job; returns the
// dialog's result (IDCANCEL at every normal end). The job's threads have ended on return.
int RunStatusDialog(ProcessingStatusDialog& dialog);
// The same window running request without the wizard (the review pictures).
int RunStatusDialogFor(ProcessingStatusDialog& dialog, const JobRequest& request);

// The page captions of the wizard.
const char* PageCaption(int pageId);

}  // namespace orvane::encoder::ui
