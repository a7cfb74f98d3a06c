// The numbers under a slider, each drawn under the slider position of its value,
// whatever the font: the text is the numbers separated by spaces.
#pragma once

#include <QLabel>
#include <QSlider>

namespace quorix {

class TTickLabel : public QLabel {
    Q_OBJECT
public:
    TTickLabel(const QString& text, QSlider* slider, QWidget* parent = nullptr);
    // Where the number's centre goes, in the label's coordinates.
    int CentreOf(int value) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QSlider* FSlider;
};

}  // namespace quorix
