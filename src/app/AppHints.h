// The help texts of the controls, application-wide: the hint of the control
// under the pointer, whether tool-tips show at all, and how long they stay.
#pragma once

#include <QObject>
#include <QString>

#include <functional>

namespace quorix {

class TApplicationHints : public QObject {
    Q_OBJECT
public:
    explicit TApplicationHints(QObject* parent = nullptr);
    void Install();  // on the application: every widget's events pass here first

    bool ShowHint = true;
    int HintHidePause = 2500;
    const QString& Hint() const { return FHint; }
    // Raised whenever the hint under the pointer changes.
    std::function<void()> OnHint;

    // The part after the first "|", or the whole hint.
    static QString LongHint(const QString& hint);
    // A hint's lines as shown: CR LF breaks a line, a lone CR nothing.
    static QString HintLines(QString hint);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void PointerOn(const QString& hint);
    QString FHint;
};

}  // namespace quorix
