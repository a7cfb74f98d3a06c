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

bool TApplicationHints::eventFilter(QObject* watched, QEvent* event) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget) return false;
    if (event->type() == QEvent::Enter) {
        PointerOn(widget->toolTip());
    } else if (event->type() == QEvent::ToolTip) {
        if (!ShowHint) return true;
        if (widget->toolTip().isEmpty()) return false;  // the parent's hint may show
        QString text = LongHint(widget->toolTip());
        text.replace("\r\n", "\n").replace('\r', '\n');
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), text, widget, QRect(), HintHidePause);
        return true;
    }
    return false;
}

}  // namespace quorix
