#include "OrvelFileListBox.h"
#include "QtTestSupport.h"

#include <QFile>

#include <cstdio>
#include <QSignalSpy>

namespace quorix {

class FileListTest : public QObject {
    Q_OBJECT

    static void Touch(const QString& path) {
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write("x");
    }
    // A folder with a.jpg .. e.jpg (B.JPG in capitals), a text file, a hidden picture and a folder.
    static QString Folder(const test::TTempHome& home) {
        QString dir = home.Path("pics");
        QDir().mkpath(dir + "/sub.jpg");
        for (const char* name : {"a.jpg", "B.JPG", "c.png", "d.gif", "e.bmp", "notes.txt", ".hidden.jpg"})
            Touch(dir + "/" + name);
        return dir;
    }
    static QStringList Names(const TOrvelFileList& list) {
        QStringList names;
        for (int i = 0; i < list.count(); ++i) names << list.item(i)->text();
        return names;
    }
    static QList<int> SelectedRows(const TOrvelFileList& list) {
        QList<int> rows;
        for (int i = 0; i < list.count(); ++i)
            if (list.Selected(i)) rows << i;
        return rows;
    }

private slots:
    void ListsMatchingFilesSorted() {
        test::TTempHome home;
        TOrvelFileList list;
        list.SetMask("*.jp;*.jpeg;*.jpg;*.gif;*.bmp;*.png");
        list.SetDirectory(Folder(home));
        QCOMPARE(Names(list), (QStringList{".hidden.jpg", "a.jpg", "B.JPG", "c.png", "d.gif", "e.bmp"}));
        QCOMPARE(QDir::currentPath(), QDir(home.Path("pics")).absolutePath());
        QVERIFY(SelectedRows(list).isEmpty());
    }

    // Names that are not UTF-8 are listed, shown with U+FFFD, and opened by their own bytes.
    void NamesThatAreNotUtf8() {
        test::TTempHome home;
        const std::string folder = home.Path("pics").toStdString();
        QDir().mkpath(home.Path("pics"));
        for (const std::string name : {"caf\xE9.jpg", "\xC0\xAE\xC0\xAE\xC0\xAFx.jpg"})
            std::fclose(std::fopen((folder + "/" + name).c_str(), "w"));
        TOrvelFileList list;
        list.SetMask("*.jpg");
        list.SetDirectory(home.Path("pics"));
        QCOMPARE(list.count(), 2);
        QCOMPARE(list.item(0)->text(), QString("caf") + QChar(0xFFFD) + ".jpg");
        QCOMPARE(list.ItemName(0), std::string("caf\xE9.jpg"));
        QCOMPARE(list.ItemPath(1), folder + "/\xC0\xAE\xC0\xAE\xC0\xAFx.jpg");
        QVERIFY(list.SetCurrentName("caf\xE9.jpg"));
        list.item(0)->setSelected(true);
        QCOMPARE(list.FilePath(), folder + "/caf\xE9.jpg");
        for (int i = 0; i < list.count(); ++i) std::remove(list.ItemPath(i).c_str());  // Qt cannot name them
    }

    void ChangeExOnClicksAndMoves() {
        test::TTempHome home;
        TOrvelFileList list;
        list.SetMask("*.*");
        list.SetDirectory(Folder(home));
        QSignalSpy spy(&list, &TOrvelFileList::ChangeEx);
        list.SelectItemClick(1);
        list.SelectItemClick(3);
        QCOMPARE(spy.count(), 2);
        QCOMPARE(spy.last().at(0).toInt(), 3);
        QCOMPARE(spy.last().at(1).toInt(), 1);
        list.SelectItemClick(3);
        QCOMPARE(spy.count(), 2);
        list.SelectItem(2);  // never raises it
        QCOMPARE(spy.count(), 2);
        QVERIFY(list.MoveSelectionDwn());
        QCOMPARE(SelectedRows(list), QList<int>{3});
        QCOMPARE(spy.last().at(0).toInt(), 3);
        QCOMPARE(spy.last().at(1).toInt(), 2);
        list.SelectItem(list.count() - 1);
        QVERIFY(!list.MoveSelectionDwn());
        QVERIFY(list.MoveSelectionUp());
        list.SelectItem(0);
        QVERIFY(!list.MoveSelectionUp());
    }

    void SelectionCommands() {
        test::TTempHome home;
        TOrvelFileList list;
        list.SetMask("*.jpg;*.png;*.gif;*.bmp");
        list.SetDirectory(Folder(home));  // .hidden.jpg a.jpg B.JPG c.png d.gif e.bmp
        QSignalSpy spy(&list, &TOrvelFileList::ChangeEx);
        list.SelectItem(0);
        list.item(2)->setSelected(true);
        list.InvertSelection();
        QCOMPARE(SelectedRows(list), (QList<int>{1, 3, 4, 5}));
        list.SelectAllItems();
        QCOMPARE(SelectedRows(list).size(), 6);
        QCOMPARE(spy.count(), 0);
        list.SelectItem(QString("b.jpg"));
        QCOMPARE(list.SelectedItem(), QString("B.JPG"));
        QCOMPARE(list.FileName(), home.Path("pics/B.JPG"));
        list.DeselectAll();
        QCOMPARE(list.FileName(), QString());
        QVERIFY_THROWS_EXCEPTION(std::exception, list.ApplyFilePath(home.Path("pics/none.jpg")));
        list.ApplyFilePath(home.Path("pics/notes.txt"));  // exists, not listed: the mask becomes its name
        QCOMPARE(Names(list), QStringList{"notes.txt"});
        QCOMPARE(list.SelectedItem(), QString("notes.txt"));
    }

    void RefreshKeepsOnlyTheCurrentItem() {
        test::TTempHome home;
        TOrvelFileList list;
        list.SetMask("*.jpg;*.png;*.gif;*.bmp");
        list.SetDirectory(Folder(home));
        list.SelectItem(3);
        for (int i : {1, 2, 4}) list.item(i)->setSelected(true);
        list.Update();
        QCOMPARE(SelectedRows(list), QList<int>{3});
        QFile::remove(home.Path("pics/c.png"));
        list.Update();
        QVERIFY(SelectedRows(list).isEmpty());
    }

    void DeleteKey() {
        test::TTempHome home;
        test::TMessageLog messages;
        TOrvelFileList list;
        list.SetMask("*.jpg");
        list.SetDirectory(Folder(home));
        QTest::keyClick(&list, Qt::Key_Delete);  // nothing selected
        QCOMPARE(messages.Messages.size(), size_t(1));
        QCOMPARE(messages.Messages[0].second, std::string("No file specified!"));
        list.SelectItem(1);
        messages.Answer = false;
        QTest::keyClick(&list, Qt::Key_Delete);
        QCOMPARE(messages.Questions.size(), size_t(1));
        QCOMPARE(messages.Questions[0], "Are you sure you want to delete this file?\r\n" + home.Path("pics/a.jpg").toStdString());
        QVERIFY(QFile::exists(home.Path("pics/a.jpg")));
        list.SelectItem(1);
        messages.Answer = true;
        QTest::keyClick(&list, Qt::Key_Delete);
        QVERIFY(!QFile::exists(home.Path("pics/a.jpg")));
        QVERIFY(!Names(list).contains("a.jpg"));
        TOrvelFileList empty;
        QTest::keyClick(&empty, Qt::Key_Delete);
        QCOMPARE(messages.Messages.size(), size_t(1));
    }

    void BusyCursorFromTheHundredAndFirstName() {
        test::TTempHome home;
        const QString dir = home.Path("many");
        QDir().mkpath(dir);
        for (int i = 0; i < 100; ++i) Touch(dir + QString("/p%1.jpg").arg(i, 3, 10, QChar('0')));
        TOrvelFileList list;
        list.SetMask("*.jpg");
        list.SetDirectory(dir);
        QCOMPARE(list.BusyReadings(), 0);
        Touch(dir + "/p100.jpg");
        list.Update();
        QCOMPARE(list.BusyReadings(), 1);
        QVERIFY(!QApplication::overrideCursor());
    }

    void FilterBoxEntries() {
        TFilterComboBox filter;
        filter.SetFilter("Show all supported pictures (jpeg, jpg, gif, png, bmp)|*.jp;*.jpeg;*.jpg;*.gif;*.bmp;*.png|"
                         "JPEG|*.jpeg;*.jpg;*.jp|BITMAP|*.bmp|PNG|*.png|GIF|*.gif");
        QCOMPARE(filter.count(), 5);
        QCOMPARE(filter.Mask(), QString("*.jp;*.jpeg;*.jpg;*.gif;*.bmp;*.png"));
        TOrvelFileList list;
        filter.SetFileList(&list);
        filter.setCurrentIndex(2);
        QCOMPARE(list.Mask(), QString("*.bmp"));
    }
};

}  // namespace quorix

QUORIX_QT_TEST_MAIN(quorix::FileListTest)
#include "FileListTest.moc"
