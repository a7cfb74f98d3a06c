#include "NotifyIcon.h"
#include "QtTestSupport.h"
#include "SimpleTimer.h"

namespace quorix {

class NotifyIconTest : public QObject {
    Q_OBJECT

    static void Minimise(QWidget& window) {
        window.showMinimized();
        QCoreApplication::processEvents();
    }

private slots:
    void cleanup() { TNotifyIcon::SetTrayAvailableOverride(-1); }

    void MinimiseIntoTheTrayAndClickBack() {
        TNotifyIcon::SetTrayAvailableOverride(1);
        QWidget window;
        window.show();
        TNotifyIcon icon(&window);
        int clicks = 0;
        icon.OnClick = [&](TNotifyIcon& i) {
            ++clicks;
            i.PutIconOnlyInTask();
        };
        icon.MinimizeToTray = true;
        Minimise(window);
        QVERIFY(icon.IconVisible());
        QVERIFY(!window.isVisible());
        icon.MouseMessage(TTrayMouse::LeftDown);
        QCOMPARE(clicks, 0);  // the click comes with the release
        icon.MouseMessage(TTrayMouse::LeftUp);
        QCOMPARE(clicks, 1);
        QVERIFY(!icon.IconVisible());
        QVERIFY(window.isVisible());
        QVERIFY(!window.isMinimized());
    }

    void OrdinaryMinimising() {
        TNotifyIcon::SetTrayAvailableOverride(1);
        QWidget window;
        window.show();
        TNotifyIcon icon(&window);
        Minimise(window);
        QVERIFY(!icon.IconVisible());
        QVERIFY(window.isVisible());
    }

    void WithoutANotificationAreaTheWindowStaysMinimised() {
        TNotifyIcon::SetTrayAvailableOverride(0);
        QWidget window;
        window.show();
        TNotifyIcon icon(&window);
        icon.MinimizeToTray = true;
        Minimise(window);
        QVERIFY(window.isVisible());  // still on the taskbar, so the user can bring it back
        QVERIFY(icon.IconVisible());  // the state is kept
        window.showNormal();
        QCoreApplication::processEvents();
        QVERIFY(!icon.IconVisible());
    }

    void DeferredClickWithADoubleClickHandler() {
        QWidget window;
        TNotifyIcon icon(&window);
        int clicks = 0, doubles = 0;
        icon.OnClick = [&](TNotifyIcon&) { ++clicks; };
        icon.OnDblClick = [&](TNotifyIcon&) { ++doubles; };
        icon.MouseMessage(TTrayMouse::LeftDown);
        icon.MouseMessage(TTrayMouse::LeftUp);
        QCOMPARE(clicks, 0);
        QTRY_COMPARE_WITH_TIMEOUT(clicks, 1, QApplication::doubleClickInterval() + 2000);
        icon.MouseMessage(TTrayMouse::LeftDown);
        icon.MouseMessage(TTrayMouse::LeftUp);
        icon.MouseMessage(TTrayMouse::LeftDouble);
        QTest::qWait(QApplication::doubleClickInterval() + 100);
        QCOMPARE(clicks, 1);
        QCOMPARE(doubles, 1);
    }

    void MouseEventsAndTheMenu() {
        QWidget window;
        TNotifyIcon icon(&window);
        QMenu menu;
        QAction* exit = menu.addAction("Exit");
        icon.PopupMenu = &menu;
        std::vector<Qt::MouseButton> downs, ups;
        icon.OnMouseDown = [&](TNotifyIcon&, Qt::MouseButton b, Qt::KeyboardModifiers, QPoint) { downs.push_back(b); };
        icon.OnMouseUp = [&](TNotifyIcon&, Qt::MouseButton b, Qt::KeyboardModifiers, QPoint) { ups.push_back(b); };
        icon.MouseMessage(TTrayMouse::RightDown, QPoint(10, 10));
        QVERIFY(menu.isVisible());
        menu.hide();
        icon.MouseMessage(TTrayMouse::RightUp);
        icon.Behavior = TBehavior::bhWin2000;
        icon.MouseMessage(TTrayMouse::RightUp);  // raised by the menu notifications instead
        icon.MouseMessage(TTrayMouse::MiddleDown);
        QCOMPARE(downs, (std::vector<Qt::MouseButton>{Qt::RightButton, Qt::MiddleButton}));
        QCOMPARE(ups, (std::vector<Qt::MouseButton>{Qt::RightButton}));
        int exits = 0;
        connect(exit, &QAction::triggered, [&] { ++exits; });
        menu.setDefaultAction(exit);
        icon.MouseMessage(TTrayMouse::LeftDouble);  // the default item runs
        QCOMPARE(exits, 1);
        icon.Enabled = false;
        icon.MouseMessage(TTrayMouse::RightDown);
        QCOMPARE(downs.size(), size_t(2));
    }

    void CyclingIcons() {
        TNotifyIcon::SetTrayAvailableOverride(1);
        QWidget window;
        auto icon = std::make_unique<TNotifyIcon>(&window);
        QPixmap red(16, 16), blue(16, 16);
        red.fill(Qt::red);
        blue.fill(Qt::blue);
        icon->IconList = {QIcon(red), QIcon(blue)};
        std::vector<int> next;
        icon->OnCycle = [&](TNotifyIcon&, int index) { next.push_back(index); };
        icon->SetCycleInterval(10);
        icon->SetCycleIcons(true);
        QTRY_VERIFY(next.size() >= 2);
        QCOMPARE(next[0], 1);
        QCOMPARE(next[1], 0);
    }

    void SimpleTimer() {
        int ticks = 0;
        TSimpleTimer timer(5, [&] { ++ticks; });
        QVERIFY(!timer.Enabled());
        timer.AutoDisable = true;
        timer.SetEnabled(true);
        QTRY_COMPARE(ticks, 1);
        QTest::qWait(30);
        QCOMPARE(ticks, 1);
        QVERIFY(!timer.Enabled());
        TSimpleTimer idle;
        QCOMPARE(idle.Interval(), 1000u);
        idle.SetInterval(0);
        idle.SetEnabled(true);
        QVERIFY(!idle.Enabled());
    }
};

}  // namespace quorix

QUORIX_QT_TEST_MAIN(quorix::NotifyIconTest)
#include "NotifyIconTest.moc"
