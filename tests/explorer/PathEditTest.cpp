#include "OrvelTPU.h"
#include "PATHEdit.h"
#include "Platform.h"
#include "QtTestSupport.h"

#include <QFile>

namespace quorix {

class PathEditTest : public QObject {
    Q_OBJECT

    // Folders Windows and Work, files wild.txt and Zeta.jpg.
    static QString Tree(const test::TTempHome& home) {
        const QString root = home.Path("root/");
        for (const char* folder : {"Windows", "Work"}) QDir().mkpath(root + folder);
        for (const char* file : {"wild.txt", "Zeta.jpg"}) {
            QFile f(root + file);
            f.open(QIODevice::WriteOnly);
        }
        return root;
    }
    static void Type(TPathEdit& edit, const QString& start, const char* typed) {
        edit.setText(start);  // ends with the delimiter: nothing to complete yet
        QTest::keyClicks(&edit, typed);
    }

private slots:
    void CompletesToTheFirstEntry_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("foldersOnly");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("selected");
        QTest::newRow("folder") << "Wo" << false << "Work" << "rk";
        QTest::newRow("typed case kept") << "wo" << false << "work" << "rk";
        QTest::newRow("file before folder by name") << "Wi" << false << "Wild.txt" << "ld.txt";
        QTest::newRow("folders only") << "Wi" << true << "Windows" << "ndows";
        QTest::newRow("any case") << "z" << false << "zeta.jpg" << "eta.jpg";
        QTest::newRow("no match") << "Q" << false << "Q" << "";
        QTest::newRow("no file among folders") << "Z" << true << "Z" << "";
    }
    void CompletesToTheFirstEntry() {
        QFETCH(QString, typed);
        QFETCH(bool, foldersOnly);
        QFETCH(QString, expected);
        QFETCH(QString, selected);
        test::TTempHome home;
        const QString root = Tree(home);
        TPathEdit edit;
        if (foldersOnly) edit.CompleteWith = {TAttributesFile::peaDirectory};
        Type(edit, root, typed.toUtf8().constData());
        QCOMPARE(edit.text(), root + expected);
        QCOMPARE(edit.selectedText(), selected);
    }

    void TypingOnReplacesTheCompletion() {
        test::TTempHome home;
        const QString root = Tree(home);
        TPathEdit edit;
        Type(edit, root, "Wor");
        QCOMPARE(edit.text(), root + "Work");
        QTest::keyClicks(&edit, "x");
        QCOMPARE(edit.text(), root + "Worx");
        QVERIFY(!edit.hasSelectedText());
    }

    void DeletingNeverCompletes() {
        test::TTempHome home;
        const QString root = Tree(home);
        TPathEdit edit;
        Type(edit, root, "Wor");
        QTest::keyClick(&edit, Qt::Key_Backspace);
        QCOMPARE(edit.text(), root + "Wor");
        QTest::keyClick(&edit, Qt::Key_Delete);
        edit.setText(root + "Wo");  // set while the last key is Delete
        QCOMPARE(edit.text(), root + "Wo");
    }

    void CompletionOff() {
        test::TTempHome home;
        const QString root = Tree(home);
        TPathEdit edit;
        edit.Complete = false;
        Type(edit, root, "Wor");
        QCOMPARE(edit.text(), root + "Wor");
    }

    void EnterAppendsTheDelimiterToAFolder_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("complete");
        QTest::addColumn<QString>("expected");
        QTest::newRow("folder") << "Work" << true << "Work/";
        QTest::newRow("folder, completion off") << "Work" << false << "Work/";
        QTest::newRow("missing folder") << "NoSuchFolder" << true << "NoSuchFolder";
        QTest::newRow("file") << "wild.txt" << true << "wild.txt";
    }
    void EnterAppendsTheDelimiterToAFolder() {
        QFETCH(QString, name);
        QFETCH(bool, complete);
        QFETCH(QString, expected);
        test::TTempHome home;
        const QString root = Tree(home);
        TPathEdit edit;
        edit.Complete = false;
        edit.setText(root + name);
        edit.Complete = complete;
        edit.setCursorPosition(2);
        QTest::keyClick(&edit, Qt::Key_Return);
        QCOMPARE(edit.text(), root + expected);
        QCOMPARE(edit.cursorPosition(), static_cast<int>(edit.text().size()));
        QVERIFY(!edit.hasSelectedText());
    }

    void OwnersHandlerRunsFirst() {
        test::TTempHome home;
        const QString root = Tree(home);
        TPathEdit edit;
        QStringList seen;
        edit.OnChange = [&] { seen << edit.text(); };
        Type(edit, root, "Wor");
        // Each change reaches the owner before completion, the completed text too.
        QCOMPARE(seen.last(), root + "Work");
        QVERIFY(seen.contains(root + "Wor"));
    }

    void AttributeBits() {
        test::TTempHome home;
        const QString root = Tree(home);
        QCOMPARE(AttributeMask(AllAttributes()), 0x37);
        QCOMPARE(AttributeMask({TAttributesFile::peaDirectory}), 0x10);
        QCOMPARE(EntryAttributes(root + "Work"), 0x10);
        QCOMPARE(EntryAttributes(root + "wild.txt"), 0x20);
        QFile(root + ".hidden").open(QIODevice::WriteOnly);
        QCOMPARE(EntryAttributes(root + ".hidden"), 0x22);
        QCOMPARE(EntryAttributes("/dev/null") & 0x04, 0x04);
    }
};

}  // namespace quorix

QUORIX_QT_TEST_MAIN(quorix::PathEditTest)
#include "PathEditTest.moc"
