// The program's icon in the desktop's notification area: mouse actions on it
// become events, a right press opens its menu, and the main window can be
// minimised into it. Where the desktop has no notification area the state is
// kept and nothing is shown.
#pragma once

#include "SimpleTimer.h"

#include <QIcon>
#include <QMenu>
#include <QPoint>
#include <QSystemTrayIcon>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

namespace quorix {

enum class TTrayMouse { LeftDown, LeftUp, LeftDouble, RightDown, RightUp, MiddleDown, MiddleUp, Move };
enum class TBehavior { bhWin95, bhWin2000 };
enum class TBalloonHintIcon { bitNone, bitInfo, bitWarning, bitError };

class TNotifyIcon : public QObject {
    Q_OBJECT
public:
    // The owner is the window that minimises into the icon.
    explicit TNotifyIcon(QWidget* owner);
    ~TNotifyIcon() override;

    bool Enabled = true;
    QString Hint;
    bool ShowHint = true;
    QMenu* PopupMenu = nullptr;
    bool LeftPopup = false;
    bool MinimizeToTray = false;
    TBehavior Behavior = TBehavior::bhWin95;
    std::vector<QIcon> IconList;

    const QIcon& Icon() const { return FIcon; }
    void SetIcon(const QIcon& icon);
    bool IconVisible() const { return FIconVisible; }
    void SetIconVisible(bool visible);
    int IconIndex() const { return FIconIndex; }
    void SetIconIndex(int index);
    bool CycleIcons() const { return FCycleIcons; }
    void SetCycleIcons(bool cycle);
    unsigned CycleInterval() const { return FCycleInterval; }
    void SetCycleInterval(unsigned interval);
    bool WantEnterExitEvents = false;

    std::function<void(TNotifyIcon&)> OnClick, OnDblClick, OnMouseEnter, OnMouseExit, OnMinimizeToTray;
    std::function<void(TNotifyIcon&, Qt::MouseButton, Qt::KeyboardModifiers, QPoint)> OnMouseDown, OnMouseUp;
    std::function<void(TNotifyIcon&, Qt::KeyboardModifiers, QPoint)> OnMouseMove;
    std::function<void(TNotifyIcon&, int nextIndex)> OnCycle;
    std::function<void(TNotifyIcon&)> OnBalloonHintShow, OnBalloonHintHide, OnBalloonHintTimeout, OnBalloonHintClick;

    bool ShowIcon();
    bool HideIcon();
    bool ModifyIcon();
    void Popup(const QPoint& at);
    void PopupAtCursor();
    void ShowMainForm();
    void HideMainForm();
    void ShowTaskbarIcon();
    void HideTaskbarIcon();
    void PutIconOnlyInTask();
    void PutIconOnlyInTray();
    void DoMinimizeToTray();
    bool ShowBalloonHint(const QString& title, const QString& text, TBalloonHintIcon icon, int timeoutSeconds);
    bool HideBalloonHint();

    // A mouse action on the icon, as the notification area reports it.
    void MouseMessage(TTrayMouse message, const QPoint& at = QCursor::pos());
    // Whether the desktop shows icons; tests decide it here.
    static bool TrayAvailable();
    static void SetTrayAvailableOverride(int available);  // -1: ask the desktop

    bool ClickPending() const { return FClickReady || FClickStart; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Activated(QSystemTrayIcon::ActivationReason reason);
    void DeferredClick();
    void NextIcon();
    void ExitTest();

    QWidget* FOwner;
    std::unique_ptr<QSystemTrayIcon> FTray;
    QIcon FIcon;
    bool FIconVisible = false;
    bool FClickStart = false;
    bool FClickReady = false;
    bool IsDblClick = false;
    bool FDidExit = true;
    QPoint LastMove;
    int FIconIndex = 0;
    bool FCycleIcons = false;
    unsigned FCycleInterval = 0;
    bool FMinimizedWithoutTray = false;
    TSimpleTimer CycleTimer;
    TSimpleTimer ClickTimer;
    TSimpleTimer ExitTimer;
};

}  // namespace quorix
