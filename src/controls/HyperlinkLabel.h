// A label that behaves like a link in a web page: a hand pointer, red and
// underlined under the pointer, opened through the desktop on a click, purple
// once visited.
#pragma once

#include <QLabel>

#include <cstdint>
#include <functional>

namespace quorix {

class THyperlinkLabel : public QLabel {
    Q_OBJECT
public:
    explicit THyperlinkLabel(const QString& caption = QString(), QWidget* parent = nullptr);

    bool About() const { return FAbout; }
    void SetAbout(bool about);  // true shows the component's message; nothing is stored
    const QString& Link() const { return FLink; }
    void SetLink(const QString& link);
    bool LinkHint() const { return FAutoHint; }
    void SetLinkHint(bool linkHint) { FAutoHint = linkHint; }
    bool Visited() const { return FVisited; }
    void SetVisited(bool visited);
    uint32_t VisitedColor() const { return FVisitedCl; }
    void SetVisitedColor(uint32_t color);
    uint32_t NotVisitedColor() const { return FNVisitedCl; }
    void SetNotVisitedColor(uint32_t color);
    uint32_t OverColor() const { return FOverCl; }
    void SetOverColor(uint32_t color);
    bool MouseOver() const { return FMouseOver; }

    // The font colour as a 0x00BBGGRR value, and whether the text is underlined.
    uint32_t FontColor() const;
    bool Underlined() const { return font().underline(); }

    std::function<void(THyperlinkLabel&)> OnMouseEnter, OnMouseLeave, OnClick;
    std::function<void(THyperlinkLabel&, bool& canActivate)> OnLinkActivating;

    virtual bool CanActivateLink();
    void Visit();

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void SetFontColor(uint32_t color);
    void SetUnderline(bool underline);

    bool FAbout = false;
    bool FMouseOver = false;
    QString FLink;
    bool FAutoHint = false;
    bool FVisited = false;
    uint32_t FVisitedCl = 0x800080;
    uint32_t FNVisitedCl = 0xFF0000;
    uint32_t FOverCl = 0x0000FF;
};

}  // namespace quorix
