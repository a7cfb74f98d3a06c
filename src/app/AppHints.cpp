#include "AppHints.h"

#include <QApplication>
#include <QHelpEvent>
#include <QToolTip>
#include <QWidget>

namespace quorix {

TApplicationHints::TApplicationHints(QObject* parent) : QObject(parent) {}

void TApplicationHints::Install() { qApp->installEventFilter(this); }

QString TApplicationHints::LongHint(const QString& hint) {
    const int bar = hint.indexOf('|');
    return bar < 0 ? hint : hint.mid(bar + 1);
}

void TApplicationHints::PointerOn(const QString& hint) {
    if (hint == FHint) return;
    FHint = hint;
    if (OnHint) OnHint();
}

namespace {

// The hint of the control under the pointer: an inner part of a control (the
// list's viewport, a spin edit's text) has none of its own and shows its
// control's.
QString HintOf(const QWidget* widget) {
    for (; widget; widget = widget->isWindow() ? nullptr : widget->parentWidget())
        if (!widget->toolTip().isEmpty()) return widget->toolTip();
    return QString();
}

}  // namespace

// Line breaks are CR LF; a CR alone breaks no line.
QString TApplicationHints::HintLines(QString hint) {
    return hint.replace("\r\n", "\n").remove('\r');
}

bool TApplicationHints::eventFilter(QObject* watched, QEvent* event) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget) return false;
    if (event->type() == QEvent::Enter) {
        PointerOn(HintOf(widget));
    } else if (event->type() == QEvent::ToolTip) {
        if (!ShowHint) return true;
        if (widget->toolTip().isEmpty()) return false;  // the parent's hint may show
        const QString text = HintLines(LongHint(widget->toolTip()));
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), text, widget, QRect(), HintHidePause);
        return true;
    }
    return false;
}

}  // namespace quorix
