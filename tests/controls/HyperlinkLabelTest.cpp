#include "HyperlinkLabel.h"
#include "Platform.h"
#include "QtTestSupport.h"

#include <QEnterEvent>

namespace quorix {

class HyperlinkLabelTest : public QObject {
    Q_OBJECT

    std::vector<std::string> FOpened;
    bool FOpenSucceeds = true;

    static void Enter(THyperlinkLabel& label) {
        QEnterEvent event(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
        QApplication::sendEvent(&label, &event);
    }
    static void Leave(THyperlinkLabel& label) {
        QEvent event(QEvent::Leave);
        QApplication::sendEvent(&label, &event);
    }

private slots:
    void init() {
        FOpened.clear();
        FOpenSucceeds = true;
        SetShellOpenHandler([this](const std::string& target) {
            FOpened.push_back(target);
            return FOpenSucceeds;
        });
    }
    void cleanup() { SetShellOpenHandler({}); }

    void Defaults() {
        THyperlinkLabel label("Home page");
        QCOMPARE(label.FontColor(), 0xFF0000u);
        QVERIFY(!label.Underlined());
        QCOMPARE(label.VisitedColor(), 0x800080u);
        QCOMPARE(label.OverColor(), 0x0000FFu);
        QCOMPARE(label.cursor().shape(), Qt::PointingHandCursor);
        QVERIFY(label.Link().isEmpty());
    }

    void HoverAndVisit() {
        THyperlinkLabel label("Home page");
        label.SetLink("https://quorix.example/");
        label.resize(100, 20);
        int clicks = 0;
        label.OnClick = [&](THyperlinkLabel&) { ++clicks; };
        Enter(label);
        QCOMPARE(label.FontColor(), 0x0000FFu);
        QVERIFY(label.Underlined());
        Leave(label);
        QCOMPARE(label.FontColor(), 0xFF0000u);
        QVERIFY(!label.Underlined());
        Enter(label);
        QTest::mouseClick(&label, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(clicks, 1);
        QCOMPARE(FOpened, std::vector<std::string>{"https://quorix.example/"});
        QVERIFY(label.Visited());
        QCOMPARE(label.FontColor(), 0x800080u);  // purple at once, still under the pointer
        QVERIFY(label.Underlined());
        Leave(label);
        QCOMPARE(label.FontColor(), 0x800080u);
        QVERIFY(!label.Underlined());
        FOpenSucceeds = false;  // a failed open clears the visited state
        label.Visit();
        QVERIFY(!label.Visited());
        QCOMPARE(label.FontColor(), 0xFF0000u);
    }

    void VetoAndEmptyLink() {
        THyperlinkLabel label("Home page");
        label.resize(100, 20);
        int clicks = 0;
        label.OnClick = [&](THyperlinkLabel&) { ++clicks; };
        QTest::mouseClick(&label, Qt::LeftButton, {}, QPoint(5, 5));  // no link: only the click
        label.SetLink("https://quorix.example/");
        label.OnLinkActivating = [](THyperlinkLabel&, bool& can) { can = false; };
        Enter(label);
        QTest::mouseClick(&label, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(clicks, 2);
        QVERIFY(FOpened.empty());
        QCOMPARE(label.FontColor(), 0x0000FFu);
        QVERIFY(!label.Visited());
    }

    void ColoursApplyWhereTheyShow() {
        THyperlinkLabel label;
        label.SetNotVisitedColor(0x00AA00);
        QCOMPARE(label.FontColor(), 0x00AA00u);
        label.SetVisitedColor(0x123456);  // not visited: stored only
        QCOMPARE(label.FontColor(), 0x00AA00u);
        Enter(label);
        label.SetOverColor(0x654321);
        QCOMPARE(label.FontColor(), 0x654321u);
        label.SetNotVisitedColor(0x0000AA);  // under the pointer: stored only
        QCOMPARE(label.FontColor(), 0x654321u);
        label.SetVisited(true);
        QCOMPARE(label.FontColor(), 0x123456u);
    }

    void LinkHintFollowsLaterLinks() {
        THyperlinkLabel label;
        label.SetLink("https://a.example/");
        label.SetLinkHint(true);
        QVERIFY(label.toolTip().isEmpty());
        label.SetLink("https://b.example/");
        QCOMPARE(label.toolTip(), QString("https://b.example/"));
    }

    void AboutShowsItsMessage() {
        test::TMessageLog messages;
        THyperlinkLabel label;
        label.SetAbout(true);
        label.SetAbout(false);
        QCOMPARE(messages.Messages.size(), size_t(1));
        QCOMPARE(messages.Messages[0].second, std::string("Hyperlink Label 2.0"));
        QVERIFY(!label.About());
    }
};

}  // namespace quorix

QUORIX_QT_TEST_MAIN(quorix::HyperlinkLabelTest)
#include "HyperlinkLabelTest.moc"
