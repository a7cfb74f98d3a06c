// A picture on a page: drawn at its natural size (clipped, centred or from the
// top-left corner) or scaled to fit with its proportions kept.
#pragma once

#include "Graphic.h"

#include <QImage>
#include <QWidget>

namespace quorix {

// The picture as the window draws it: 24 bits, alpha dropped.
QImage ToQImage(const TGraphic& graphic);

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
