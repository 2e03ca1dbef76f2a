#pragma once
// A clickable label: link colours (visited once opened, the highlight colour while the pointer
// is over it), underlined, a hand cursor and a tooltip with its target; a click opens the
// target with the desktop's browser or file handler.

#include <QLabel>
#include <functional>
#include <string>

namespace orvane::controls {

class HyperlinkLabel : public QLabel {
public:
    // style: the static control style bits of hyperlink_label.h (centring, right alignment).
    explicit HyperlinkLabel(QWidget* parent = nullptr, unsigned style = 0);

    void SetTarget(const std::string& target, bool underline = true);
    void SetUnderlined(bool underline);
    void MarkVisited(bool visited);
    // Shrinks the label around its text (kept at the edge or centre its style names).
    void FitToText();

    const std::string& Target() const { return target_; }
    bool Visited() const { return visited_; }
    bool Hovering() const { return hovering_; }
    QColor TextColour() const;

    // Opens a target; true on success. Tests and automation replace it.
    using Opener = std::function<bool(const std::string& target)>;
    static void SetOpener(Opener opener);
    // Opens the target as a click does: marks the label visited, or beeps and reports.
    void Open();

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void ApplyColour();

    unsigned style_;
    std::string target_;
    bool hovering_ = false;
    bool visited_ = false;
    bool underline_ = true;
    QColor hover_;
};

}  // namespace orvane::controls
