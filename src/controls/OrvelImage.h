// A picture on a page: drawn at its natural size (clipped, centred or from the
// top-left corner) or scaled to fit with its proportions kept.
#pragma once

#include "Graphic.h"

#include <QImage>
#include <QWidget>

#include <memory>

namespace quorix {

// The picture as the window draws it: 24 bits, alpha dropped.
QImage ToQImage(const TGraphic& graphic);

// The picture as a control of the given size draws it: at its own size, or
// fitted to the control when proportional (a JPEG decoded at the largest
// reduction that still covers the box). Safe on any thread.
QImage DrawnImage(const TGraphic& graphic, const QSize& control, bool proportional);

class TImage : public QWidget {
    Q_OBJECT
public:
    explicit TImage(QWidget* parent = nullptr);

    TPicture& Picture() { return FPicture; }
    const TPicture& Picture() const { return FPicture; }
    bool HasGraphic() const { return FPicture.Graphic() && !FPicture.Graphic()->Empty(); }

    bool Center() const { return FCenter; }
    void SetCenter(bool center);
    // Scaled to fit the control, small pictures enlarged, smoothly.
    bool Proportional() const { return FProportional; }
    void SetProportional(bool proportional);

    // Shows a graphic whose drawing was made beforehand (off the
    // user-interface thread, by DrawnImage for this control's size).
    void SetPrepared(std::unique_ptr<TGraphic> graphic, const QImage& drawn);

    // Where the picture lands inside the control.
    QRect PictureRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const QImage& Image() const;
    void PictureChanged();

    TPicture FPicture;
    bool FCenter = false;
    bool FProportional = false;
    mutable QImage FImage;   // the picture converted, made when first drawn
    mutable QImage FScaled;  // the fitted copy for the current size
};

}  // namespace quorix
