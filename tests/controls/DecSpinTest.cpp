#include "OrvelDecSpin.h"
#include "Platform.h"
#include "QtTestSupport.h"

namespace quorix {

namespace {

// A number as the control shows it in the locale the test runs in.
QString L(const char* text) {
    return QString(text).replace('.', QChar(LocaleDecimalSeparator()));
}

}  // namespace

class DecSpinTest : public QObject {
    Q_OBJECT
private slots:
    void SteppingWithinBounds() {
        TOrvelDecSpin spin;
        QCOMPARE(spin.EdtBox()->text(), QString("0.0"));
        spin.BtnSpinUp();
        QCOMPARE(spin.EdtBox()->text(), L("0.1"));
        spin.SetMinValue(1.0);
        spin.SetMaxValue(20.0);
        spin.EdtBox()->setText("19");
        for (int i = 0; i < 10; ++i) spin.BtnSpinUp();
        QCOMPARE(spin.EdtBox()->text(), QString("20"));
        spin.BtnSpinUp();
        QCOMPARE(spin.EdtBox()->text(), QString("20"));
        spin.EdtBox()->setText(L("19.95"));
        spin.BtnSpinUp();
        QCOMPARE(spin.EdtBox()->text(), L("19.95"));
        spin.EdtBox()->setText("1");
        spin.BtnSpinDown();
        QCOMPARE(spin.EdtBox()->text(), QString("1"));
        spin.EdtBox()->setText(L("1.1"));
        spin.BtnSpinDown();
        QCOMPARE(spin.EdtBox()->text(), QString("1"));
    }

    void PropertiesAndValues() {
        TOrvelDecSpin spin;
        spin.SetMinValue(1.0);
        spin.SetMaxValue(0.5);
        QCOMPARE(spin.MaxValue(), 2.0);
        spin.SetNoOfDecimals(2);
        QVERIFY(qFuzzyCompare(spin.Increment(), 0.01));
        spin.SetNoOfDecimals(0);
        QCOMPARE(spin.Increment(), 1.0);
        spin.SetValue(0.05);
        QCOMPARE(spin.EdtBox()->text(), L("0.05"));
        spin.SetValue(2.0);
        QCOMPARE(spin.EdtBox()->text(), QString("2"));
        spin.EdtBox()->setText("3-");
        QCOMPARE(spin.Value(), 0.0);
    }

    void RefillAfterTwoSeconds() {
        TOrvelDecSpin spin;
        spin.SetMinValue(1.0);
        spin.SetMaxValue(20.0);
        spin.EdtBox()->setText("");
        QVERIFY(spin.BoxTimer()->isActive());
        QCOMPARE(spin.BoxTimer()->interval(), 2000);
        spin.BoxTimerTimer();
        QCOMPARE(spin.EdtBox()->text(), QString("1"));
        QVERIFY(!spin.BoxTimer()->isActive());
        spin.EdtBox()->setText(" ");
        spin.BoxTimerTimer();
        QCOMPARE(spin.EdtBox()->text(), QString("1"));
        spin.EdtBox()->setText("  ");
        spin.BoxTimerTimer();
        QCOMPARE(spin.EdtBox()->text(), QString("  "));
        QCOMPARE(spin.Value(), 0.0);
        // The real timer does it on its own.
        spin.EdtBox()->setText("");
        QTRY_COMPARE_WITH_TIMEOUT(spin.EdtBox()->text(), QString("1"), 4000);
    }

    void KeyFiltering_data() {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<bool>("beeps");
        QTest::newRow("second separator") << L("1.5") << QString(QChar(LocaleDecimalSeparator())) << L("1.5") << true;
        QTest::newRow("second sign") << "-3" << "-" << "-3" << true;
        QTest::newRow("sign after digits") << "3" << "-" << "3-" << false;
        QTest::newRow("letter") << "3" << "a" << "3" << true;
        QTest::newRow("digit") << "3" << "7" << "37" << false;
    }
    void KeyFiltering() {
        QFETCH(QString, start);
        QFETCH(QString, typed);
        QFETCH(QString, expected);
        QFETCH(bool, beeps);
        TOrvelDecSpin spin;
        spin.EdtBox()->setText(start);
        spin.EdtBox()->setCursorPosition(start.size());
        const int before = BeepCount();
        QTest::keyClicks(spin.EdtBox(), typed);
        QCOMPARE(spin.EdtBox()->text(), expected);
        QCOMPARE(BeepCount() > before, beeps);
    }

    void ArrowButtonsStepOnRelease() {
        TOrvelDecSpin spin;
        spin.resize(65, 22);
        spin.show();
        TSpinButton* arrows = spin.BtnSpin();
        QCOMPARE(arrows->width(), 10);
        QTest::mouseClick(arrows, Qt::LeftButton, {}, QPoint(5, 2));
        QCOMPARE(spin.EdtBox()->text(), L("0.1"));
        QTest::mouseClick(arrows, Qt::LeftButton, {}, QPoint(5, arrows->height() - 2));
        QCOMPARE(spin.EdtBox()->text(), QString("0"));
    }
};

}  // namespace quorix

QUORIX_QT_TEST_MAIN(quorix::DecSpinTest)
#include "DecSpinTest.moc"
