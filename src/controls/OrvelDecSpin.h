// A one-line edit for a real number with arrow buttons at its right edge that
// step it by one unit of its last decimal place within bounds. Emptied, it
// gets its minimum back two seconds after the last change.
#pragma once

#include <QFrame>
#include <QLineEdit>
#include <QTimer>

namespace quorix {

// Accepts only control characters, signs, digits and one decimal separator.
class TMyEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TMyEdit(QWidget* parent = nullptr) : QLineEdit(parent) {}
    // Whether a typed character would be let through, for the text as it is.
    static bool Accepts(const QString& text, QChar typed);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

// The pair of arrows: the upper half steps up, the lower half down. A step is
// made on release over the arrows; held, it repeats after 400 ms, then every 100 ms.
class TSpinButton : public QWidget {
    Q_OBJECT
public:
    explicit TSpinButton(QWidget* parent = nullptr);
    static constexpr int FirstRepeat = 400;
    static constexpr int NextRepeat = 100;

signals:
    void UpClick();
    void DownClick();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void Repeat();
    void Step();
    int FPressed = 0;  // 1 up, -1 down, 0 none
    bool FOver = false;
    QTimer FRepeat;
};

class TOrvelDecSpin : public QFrame {
    Q_OBJECT
public:
    explicit TOrvelDecSpin(QWidget* parent = nullptr);

    double MinValue() const { return FMinValue; }
    void SetMinValue(double value) { FMinValue = value; }
    double MaxValue() const { return FMaxValue; }
    void SetMaxValue(double value) { FMaxValue = value >= FMinValue ? value : FMinValue + 1.0; }
    int NoOfDecimals() const { return FNoOfDecimals; }
    void SetNoOfDecimals(int value);
    double Increment() const { return FIncrement; }

    // The text read as a number in the user's locale; 0 when it is not one.
    double Value() const;
    // The number written in the general format, neither clamped nor rounded.
    void SetValue(double value);

    TMyEdit* EdtBox() const { return FEdtBox; }
    TSpinButton* BtnSpin() const { return FBtnSpin; }
    QTimer* BoxTimer() const { return FBoxTimer; }

public slots:
    void BtnSpinUp();
    void BtnSpinDown();
    void BoxTimerTimer();  // the refill, 2 s after the last change

signals:
    // A click on the control's frame, outside the edit box and the arrows.
    void clicked();
    void valueTextChanged();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void EdtBoxChange();

    double FIncrement = 0.1;
    int FNoOfDecimals = 1;
    TSpinButton* FBtnSpin;
    TMyEdit* FEdtBox;
    QTimer* FBoxTimer;
    double FMinValue = 0.0;
    double FMaxValue = 1000.0;
};

}  // namespace quorix
