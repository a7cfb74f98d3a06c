#include "NotifyIcon.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>

#include <algorithm>

namespace quorix {

namespace {

int& TrayOverride() {
    static int available = -1;
    return available;
}

QSystemTrayIcon::MessageIcon MessageIconOf(TBalloonHintIcon icon) {
    switch (icon) {
    case TBalloonHintIcon::bitInfo: return QSystemTrayIcon::Information;
    case TBalloonHintIcon::bitWarning: return QSystemTrayIcon::Warning;
    case TBalloonHintIcon::bitError: return QSystemTrayIcon::Critical;
    case TBalloonHintIcon::bitNone: break;
    }
    return QSystemTrayIcon::NoIcon;
}

}  // namespace

TNotifyIcon::TNotifyIcon(QWidget* owner)
    : QObject(owner),
      FOwner(owner),
      FTray(std::make_unique<QSystemTrayIcon>()),
      ClickTimer(0, [this] { DeferredClick(); }),
      ExitTimer(20, [this] { ExitTest(); }) {
    CycleTimer.SetOnTimer([this] { NextIcon(); });
    connect(FTray.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) { Activated(r); });
    connect(FTray.get(), &QSystemTrayIcon::messageClicked, this, [this] {
        if (OnBalloonHintClick) OnBalloonHintClick(*this);
    });
    if (FOwner) FOwner->installEventFilter(this);
}

TNotifyIcon::~TNotifyIcon() {
    SetIconVisible(false);
    if (FOwner) FOwner->removeEventFilter(this);
}

bool TNotifyIcon::TrayAvailable() {
    if (TrayOverride() >= 0) return TrayOverride() != 0;
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void TNotifyIcon::SetTrayAvailableOverride(int available) { TrayOverride() = available; }

void TNotifyIcon::SetIcon(const QIcon& icon) {
    FIcon = icon;
    ModifyIcon();
}

void TNotifyIcon::SetIconVisible(bool visible) {
    if (visible) ShowIcon();
    else HideIcon();
}

bool TNotifyIcon::ModifyIcon() {
    FTray->setIcon(FIcon);
    FTray->setToolTip(ShowHint && !Hint.isEmpty() ? Hint.left(127) : QString());
    return TrayAvailable();
}

bool TNotifyIcon::ShowIcon() {
    const bool shown = ModifyIcon();
    FIconVisible = true;
    // Without a notification area the state is kept and nothing is shown.
    if (shown && QSystemTrayIcon::isSystemTrayAvailable()) FTray->show();
    return shown;
}

bool TNotifyIcon::HideIcon() {
    ModifyIcon();
    FTray->hide();
    FIconVisible = false;
    return TrayAvailable();
}

void TNotifyIcon::SetIconIndex(int index) {
    FIconIndex = index;
    if (index >= 0 && index < static_cast<int>(IconList.size())) SetIcon(IconList[static_cast<size_t>(index)]);
}

void TNotifyIcon::SetCycleIcons(bool cycle) {
    FCycleIcons = cycle;
    CycleTimer.SetInterval(FCycleInterval);
    CycleTimer.SetEnabled(cycle);
}

void TNotifyIcon::SetCycleInterval(unsigned interval) {
    FCycleInterval = interval;
    CycleTimer.SetInterval(interval);
}

void TNotifyIcon::NextIcon() {
    if (IconList.empty()) return;
    const int next = (FIconIndex + 1) % static_cast<int>(IconList.size());
    if (OnCycle) OnCycle(*this, next);
    SetIconIndex(next);
}

void TNotifyIcon::Popup(const QPoint& at) {
    if (!PopupMenu) return;
    PopupMenu->popup(at);
}

void TNotifyIcon::PopupAtCursor() { Popup(QCursor::pos()); }

void TNotifyIcon::ShowMainForm() {
    if (!FOwner) return;
    FOwner->showNormal();
    FOwner->raise();
    FOwner->activateWindow();
}

void TNotifyIcon::HideMainForm() {
    if (FOwner) FOwner->hide();
}

// The taskbar button belongs to the window itself here: it comes and goes with the window.
void TNotifyIcon::ShowTaskbarIcon() {}
void TNotifyIcon::HideTaskbarIcon() {}

void TNotifyIcon::PutIconOnlyInTask() {
    ShowTaskbarIcon();
    SetIconVisible(false);
    FMinimizedWithoutTray = false;
    ShowMainForm();
}

void TNotifyIcon::PutIconOnlyInTray() {
    HideTaskbarIcon();
    SetIconVisible(true);
}

void TNotifyIcon::DoMinimizeToTray() {
    if (!TrayAvailable()) {
        // No notification area: the window stays minimised where the desktop keeps it.
        FIconVisible = true;
        FMinimizedWithoutTray = true;
        return;
    }
    HideMainForm();
    SetIconVisible(true);
}

bool TNotifyIcon::ShowBalloonHint(const QString& title, const QString& text, TBalloonHintIcon icon, int timeoutSeconds) {
    if (!FIconVisible || !TrayAvailable()) return false;
    FTray->showMessage(title.left(63), text.left(255), MessageIconOf(icon), std::clamp(timeoutSeconds, 1, 60) * 1000);
    if (OnBalloonHintShow) OnBalloonHintShow(*this);
    return true;
}

bool TNotifyIcon::HideBalloonHint() {
    if (!FIconVisible) return false;
    FTray->showMessage(QString(), QString(), QSystemTrayIcon::NoIcon, 1);
    if (OnBalloonHintHide) OnBalloonHintHide(*this);
    return true;
}

void TNotifyIcon::Activated(QSystemTrayIcon::ActivationReason reason) {
    // The desktop reports whole clicks; they become the press and release they stand for.
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        MouseMessage(TTrayMouse::LeftDown);
        MouseMessage(TTrayMouse::LeftUp);
        break;
    case QSystemTrayIcon::DoubleClick: MouseMessage(TTrayMouse::LeftDouble); break;
    case QSystemTrayIcon::Context:
        MouseMessage(TTrayMouse::RightDown);
        MouseMessage(TTrayMouse::RightUp);
        break;
    case QSystemTrayIcon::MiddleClick:
        MouseMessage(TTrayMouse::MiddleDown);
        MouseMessage(TTrayMouse::MiddleUp);
        break;
    case QSystemTrayIcon::Unknown: break;
    }
}

void TNotifyIcon::MouseMessage(TTrayMouse message, const QPoint& at) {
    if (!Enabled) return;
    const Qt::KeyboardModifiers keys = QGuiApplication::queryKeyboardModifiers();
    switch (message) {
    case TTrayMouse::LeftDown:
        if (OnDblClick) {
            ClickTimer.SetInterval(static_cast<unsigned>(QApplication::doubleClickInterval()));
            ClickTimer.SetEnabled(true);
        }
        if (OnMouseDown) OnMouseDown(*this, Qt::LeftButton, keys, at);
        FClickStart = true;
        if (LeftPopup && PopupMenu) Popup(at);
        break;
    case TTrayMouse::LeftUp:
        if (FClickStart) {
            FClickReady = true;
            if (!ClickTimer.Running()) {
                FClickStart = FClickReady = false;
                if (OnClick) OnClick(*this);
            }
        }
        FClickStart = false;
        if (OnMouseUp) OnMouseUp(*this, Qt::LeftButton, keys, at);
        break;
    case TTrayMouse::LeftDouble:
        FClickReady = false;
        IsDblClick = true;
        if (OnDblClick) OnDblClick(*this);
        if (PopupMenu && !LeftPopup && PopupMenu->defaultAction()) PopupMenu->defaultAction()->trigger();
        break;
    case TTrayMouse::RightDown:
        if (OnMouseDown) OnMouseDown(*this, Qt::RightButton, keys, at);
        if (PopupMenu) Popup(at);
        break;
    case TTrayMouse::RightUp:
        if (Behavior == TBehavior::bhWin95 && OnMouseUp) OnMouseUp(*this, Qt::RightButton, keys, at);
        break;
    case TTrayMouse::MiddleDown:
        if (OnMouseDown) OnMouseDown(*this, Qt::MiddleButton, keys, at);
        break;
    case TTrayMouse::MiddleUp:
        if (OnMouseUp) OnMouseUp(*this, Qt::MiddleButton, keys, at);
        break;
    case TTrayMouse::Move:
        if (WantEnterExitEvents && FDidExit) {
            FDidExit = false;
            if (OnMouseEnter) OnMouseEnter(*this);
            ExitTimer.SetEnabled(true);
        }
        if (OnMouseMove) OnMouseMove(*this, keys, at);
        LastMove = at;
        break;
    }
}

void TNotifyIcon::DeferredClick() {
    ClickTimer.SetEnabled(false);
    if (!IsDblClick && FClickReady) {
        FClickReady = false;
        if (OnClick) OnClick(*this);
    }
    IsDblClick = false;
}

void TNotifyIcon::ExitTest() {
    if (QCursor::pos() == LastMove) return;
    FDidExit = true;
    ExitTimer.SetEnabled(false);
    if (OnMouseExit) OnMouseExit(*this);
}

bool TNotifyIcon::eventFilter(QObject* watched, QEvent* event) {
    if (watched == FOwner && event->type() == QEvent::WindowStateChange) {
        if (FOwner->isMinimized() && MinimizeToTray) {
            // Hidden once the minimising is done: it shows the window again at its end.
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (!FOwner->isMinimized() || !MinimizeToTray) return;
                    if (OnMinimizeToTray) OnMinimizeToTray(*this);
                    DoMinimizeToTray();
                },
                Qt::QueuedConnection);
        } else if (!FOwner->isMinimized() && FMinimizedWithoutTray) {
            FMinimizedWithoutTray = false;  // restored from the taskbar
            FIconVisible = false;
        }
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace quorix
