#include "HyperlinkLabel.h"

#include "OrvelMessages.h"
#include "Platform.h"

#include <QMouseEvent>

namespace quorix {

THyperlinkLabel::THyperlinkLabel(const QString& caption, QWidget* parent) : QLabel(caption, parent) {
    setCursor(Qt::PointingHandCursor);
    SetFontColor(FNVisitedCl);
    SetUnderline(false);
}

void THyperlinkLabel::SetAbout(bool about) {
    if (about) ShowPlainMessage("Hyperlink Label 2.0");
}

void THyperlinkLabel::SetLink(const QString& link) {
    FLink = link;
    if (FAutoHint) setToolTip(link);
}

void THyperlinkLabel::SetVisited(bool visited) {
    FVisited = visited;
    SetFontColor(visited ? FVisitedCl : FNVisitedCl);
}

void THyperlinkLabel::SetVisitedColor(uint32_t color) {
    FVisitedCl = color;
    if (FVisited && !FMouseOver) SetFontColor(color);
}

void THyperlinkLabel::SetNotVisitedColor(uint32_t color) {
    FNVisitedCl = color;
    if (!FVisited && !FMouseOver) SetFontColor(color);
}

void THyperlinkLabel::SetOverColor(uint32_t color) {
    FOverCl = color;
    if (FMouseOver) SetFontColor(color);
}

uint32_t THyperlinkLabel::FontColor() const { return ValueOfColor(palette().color(QPalette::WindowText)); }

void THyperlinkLabel::SetFontColor(uint32_t color) {
    QPalette p = palette();
    p.setColor(QPalette::WindowText, ColorFromValue(color));
    setPalette(p);
}

void THyperlinkLabel::SetUnderline(bool underline) {
    QFont f = font();
    f.setUnderline(underline);
    setFont(f);
}

bool THyperlinkLabel::CanActivateLink() {
    bool canActivate = !FLink.isEmpty();
    if (OnLinkActivating) OnLinkActivating(*this, canActivate);
    return canActivate;
}

void THyperlinkLabel::Visit() {
    if (!CanActivateLink()) return;
    SetVisited(ShellOpen(S(FLink)));
}

void THyperlinkLabel::enterEvent(QEnterEvent* event) {
    QLabel::enterEvent(event);
    FMouseOver = true;
    SetFontColor(FOverCl);
    SetUnderline(true);
    if (OnMouseEnter) OnMouseEnter(*this);
}

void THyperlinkLabel::leaveEvent(QEvent* event) {
    QLabel::leaveEvent(event);
    FMouseOver = false;
    SetUnderline(false);
    SetFontColor(FVisited ? FVisitedCl : FNVisitedCl);
    if (OnMouseLeave) OnMouseLeave(*this);
}

void THyperlinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton || !rect().contains(event->position().toPoint())) return;
    if (OnClick) OnClick(*this);
    Visit();
}

}  // namespace quorix
