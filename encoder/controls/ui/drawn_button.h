#pragma once
// An owner-drawn push button: an icon or a transparent bitmap beside or above its caption, a
// flat look that lights up under the mouse, optional painting on a copy of the parent's
// background, a two-state toggle mode, a link it opens when clicked, and a tooltip.

#include <QAbstractButton>
#include <QColor>
#include <QImage>
#include <QPixmap>

#include "encoder/controls/drawn_button.h"

namespace orvane::controls {

class DrawnButton : public QAbstractButton {
public:
    // windowStyle: the control's style bits; 1 makes it the default button, 2 a toggle.
    explicit DrawnButton(QWidget* parent = nullptr, unsigned windowStyle = 0);

    // Icons ":/icons/<id>.png" or pictures; the second one (optional) shows at rest.
    void SetIcon(int iconId1, int iconId2 = 0);
    void SetIcon(const QPixmap& icon1, const QPixmap& icon2 = QPixmap());
    // Bitmaps ":/bitmaps/<id>.png" or images, each with its transparent colour.
    void SetBitmaps(int bitmapId1, QColor transparent1, int bitmapId2 = 0,
                    QColor transparent2 = QColor());
    void SetBitmaps(const QImage& bitmap1, QColor transparent1, const QImage& bitmap2 = QImage(),
                    QColor transparent2 = QColor());
    void SetFlat(bool flat);
    void SetAlign(int align);
    void SetImageOffset(int offset) { imageOffset_ = offset; }
    // Sets colour slot 0-3; answers 3 (and changes nothing) for any other index.
    int SetColor(int index, QColor color, bool repaint = true);
    QColor Color(int index) const { return colors_[index & 3]; }
    void SetTransparent(bool repaint = true);
    void SetTooltipText(const QString& text, bool activate = true);
    void SetLink(const QString& link) { link_ = link.left(260); }
    void SetDrawBorder(bool on) { drawBorder_ = on; }
    void SetFocusOnFlat(bool on) { focusOnFlat_ = on; }
    void SetShowCaption(bool on) { showCaption_ = on; }

    bool IsFlat() const { return flat_; }
    bool IsToggle() const { return isToggle_; }
    bool IsDefault() const { return isDefault_; }
    bool Hovering() const { return hovering_; }
    bool Toggled() const { return isChecked(); }
    unsigned ButtonStyle() const { return buttonStyle_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    ButtonState State() const;
    void StopHovering();
    void DrawImage(QPainter& p, const ButtonLayout& layout, const ButtonState& s);

    bool flat_ = true;
    bool drawBorder_ = true;
    bool focusOnFlat_ = false;
    int align_ = kAlignImageLeft;
    bool showCaption_ = true;
    int imageOffset_ = 0;
    bool isDefault_ = false;
    bool isToggle_ = false;
    bool hovering_ = false;
    bool transparent_ = false;
    unsigned buttonStyle_ = kStyleOwnerDraw;
    QPixmap icon1_, icon2_;
    QImage bitmap1_, bitmap2_;  // transparent-colour pixels already made see-through
    QPixmap background_;        // captured copy of the parent under the button
    QColor colors_[kColorCount];
    QString link_;
};

}  // namespace orvane::controls
