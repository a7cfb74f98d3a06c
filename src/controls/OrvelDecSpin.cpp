#include "OrvelDecSpin.h"

#include "OrvelIniFile.h"
#include "Platform.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

#include <cmath>

namespace quorix {

// ---------------------------------------------------------------- TMyEdit

bool TMyEdit::Accepts(const QString& text, QChar typed) {
    const ushort code = typed.unicode();
    if (code < 32) return true;
    if (code > 255) return false;
    const char separator = LocaleDecimalSeparator();
    const bool digit = code >= '0' && code <= '9';
    const bool sign = code == '+' || code == '-';
    const bool decimal = code == static_cast<unsigned char>(separator);
    if (!digit && !sign && !decimal) return false;
    if (decimal && text.contains(QChar(separator))) return false;
    if (sign && (text.startsWith('+') || text.startsWith('-'))) return false;
    return true;
}

void TMyEdit::keyPressEvent(QKeyEvent* event) {
    const QString typed = event->text();
    if (typed.size() == 1 && !Accepts(text(), typed[0])) {
        MessageBeepExclamation();
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

// ---------------------------------------------------------------- TSpinButton

TSpinButton::TSpinButton(QWidget* parent) : QWidget(parent) {
    setFixedWidth(10);
    setMouseTracking(true);
    connect(&FRepeat, &QTimer::timeout, this, &TSpinButton::Repeat);
}

void TSpinButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QStyleOption option;
    option.initFrom(this);
    const int half = height() / 2;
    for (int part = 0; part < 2; ++part) {
        option.rect = QRect(0, part * half, width(), part ? height() - half : half);
        style()->drawPrimitive(QStyle::PE_PanelButtonCommand, &option, &painter, this);
        style()->drawPrimitive(part ? QStyle::PE_IndicatorArrowDown : QStyle::PE_IndicatorArrowUp, &option, &painter, this);
    }
}

void TSpinButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    FPressed = event->position().y() < height() / 2 ? 1 : -1;
    FOver = true;
    FRepeat.start(FirstRepeat);
}

void TSpinButton::mouseMoveEvent(QMouseEvent* event) {
    if (FPressed) FOver = rect().contains(event->position().toPoint());
}

void TSpinButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !FPressed) return;
    FRepeat.stop();
    if (rect().contains(event->position().toPoint())) Step();
    FPressed = 0;
}

void TSpinButton::Repeat() {
    if (FOver) Step();
    FRepeat.start(NextRepeat);
}

void TSpinButton::Step() {
    if (FPressed > 0)
        emit UpClick();
    else if (FPressed < 0)
        emit DownClick();
}

// ---------------------------------------------------------------- TOrvelDecSpin

TOrvelDecSpin::TOrvelDecSpin(QWidget* parent) : QFrame(parent) {
    resize(65, 22);
    setFrameShape(QFrame::StyledPanel);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(0);
    FBtnSpin = new TSpinButton(this);
    FBoxTimer = new QTimer(this);
    FEdtBox = new TMyEdit(this);
    FEdtBox->setText("0.0");
    layout->addWidget(FEdtBox);
    layout->addWidget(FBtnSpin);
    connect(FBtnSpin, &TSpinButton::UpClick, this, &TOrvelDecSpin::BtnSpinUp);
    connect(FBtnSpin, &TSpinButton::DownClick, this, &TOrvelDecSpin::BtnSpinDown);
    connect(FEdtBox, &QLineEdit::textChanged, this, [this] {
        EdtBoxChange();
        emit valueTextChanged();
    });
    SetNoOfDecimals(1);
    SetMinValue(0.0);
    SetMaxValue(1000.0);
}

void TOrvelDecSpin::SetNoOfDecimals(int value) {
    FNoOfDecimals = value;
    FIncrement = 1.0 / static_cast<double>(std::pow(10.0f, static_cast<float>(value)));
}

double TOrvelDecSpin::Value() const {
    bool ok = false;
    double value = QLocale::system().toDouble(FEdtBox->text(), &ok);
    return ok && std::isfinite(value) ? value : 0.0;
}

void TOrvelDecSpin::SetValue(double value) {
    FEdtBox->setText(Q(FormatGeneral(value, LocaleDecimalSeparator())));
}

void TOrvelDecSpin::BtnSpinUp() {
    if (Value() + FIncrement <= FMaxValue) SetValue(Value() + FIncrement);
}

void TOrvelDecSpin::BtnSpinDown() {
    if (Value() - FIncrement >= FMinValue) SetValue(Value() - FIncrement);
}

void TOrvelDecSpin::EdtBoxChange() {
    // Setting the interval restarts the countdown: the refill waits for the last change.
    FBoxTimer->disconnect(this);
    connect(FBoxTimer, &QTimer::timeout, this, &TOrvelDecSpin::BoxTimerTimer);
    FBoxTimer->start(2000);
}

void TOrvelDecSpin::BoxTimerTimer() {
    const QString text = FEdtBox->text();
    if (text.isEmpty() || text == " ") SetValue(FMinValue);
    FBoxTimer->stop();
}

void TOrvelDecSpin::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
    QFrame::mouseReleaseEvent(event);
}

}  // namespace quorix
