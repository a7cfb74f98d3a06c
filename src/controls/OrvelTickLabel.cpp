#include "OrvelTickLabel.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>

#include <algorithm>

namespace quorix {

TTickLabel::TTickLabel(const QString& text, QSlider* slider, QWidget* parent) : QLabel(text, parent), FSlider(slider) {}

int TTickLabel::CentreOf(int value) const {
    QStyleOptionSlider option;
    option.initFrom(FSlider);
    option.orientation = FSlider->orientation();
    option.minimum = FSlider->minimum();
    option.maximum = FSlider->maximum();
    option.sliderPosition = value;
    option.sliderValue = value;
    const QRect handle = FSlider->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, FSlider);
    return mapFromGlobal(FSlider->mapToGlobal(handle.center())).x();
}

void TTickLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    const QFontMetrics metrics(font());
    for (const QString& number : text().split(' ', Qt::SkipEmptyParts)) {
        bool ok = false;
        const int value = number.toInt(&ok);
        if (!ok) continue;
        const int w = metrics.horizontalAdvance(number);
        const int x = std::clamp(CentreOf(value) - w / 2, 0, std::max(0, width() - w));
        painter.drawText(QRect(x, 0, w, height()), Qt::AlignVCenter | Qt::AlignLeft, number);
    }
}

}  // namespace quorix
