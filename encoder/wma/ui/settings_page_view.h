#pragma once
// The view of the WMA settings page 619: its controls on the wizard page, bound in the page's
// port. The page's logic (CWMASettingsPage) does the rest through that port.

class QWidget;

namespace orvane {
class QtWindowPort;
}

namespace orvane::wma::ui {

void BuildWmaSettingsPage(QWidget* page, QtWindowPort& port);

// Lays the page out in every wizard from now on.
void RegisterWmaSettingsPage();

}  // namespace orvane::wma::ui
