// The recipes dialog: recipes added, copied, renamed, removed, exported and
// imported, and each output's keys edited with a control per option.
#include "QtTestSupport.h"
#include "Platform.h"
#include "RecipesDialog.h"

#include <QComboBox>
#include <QLineEdit>
#include <QtTest>

namespace quorix {

class RecipesDialogTest : public QObject {
    Q_OBJECT

    std::unique_ptr<test::TTempHome> FHome;
    std::unique_ptr<test::TMessageLog> FMessages;

    std::string WriteText(const QString& name, const QByteArray& text) {
        QFile file(FHome->Path(name));
        file.open(QIODevice::WriteOnly);
        file.write(text);
        return S(file.fileName());
    }
    static QComboBox* Combo(TRecipesDialog& d, const std::string& key) { return static_cast<QComboBox*>(d.Editors.at(key)); }
    static QLineEdit* Edit(TRecipesDialog& d, const std::string& key) { return static_cast<QLineEdit*>(d.Editors.at(key)); }

private slots:
    void init() {
        FHome = std::make_unique<test::TTempHome>();
        FMessages = std::make_unique<test::TMessageLog>();
    }
    void cleanup() {
        FMessages.reset();
        FHome.reset();
    }

    // Every key of the table has a control, which shows the chosen output's value.
    void TheReadyRecipesShowInTheirControls() {
        TRecipesDialog dialog(ReadyRecipes());
        QCOMPARE(dialog.lstRecipes->count(), 4);
        QCOMPARE(dialog.lstOutputs->count(), 3);  // "Web gallery"
        for (const TOptionRow& row : OptionTable()) QVERIFY2(row.Derived() || dialog.Editors.count(row.Key), row.Key.c_str());
        QCOMPARE(Combo(dialog, "format")->currentData().toString(), QString("jpg"));
        QCOMPARE(Edit(dialog, "quality")->text(), QString("82"));
        QCOMPARE(Combo(dialog, "srgb")->currentIndex(), 0);  // "As on the page"
        dialog.lstOutputs->setCurrentRow(1);
        QCOMPARE(Combo(dialog, "format")->currentData().toString(), QString("webp"));
        QVERIFY(Edit(dialog, "quality")->text().isEmpty());
        QCOMPARE(dialog.edtOutputKey->text(), QString("web"));
        dialog.RemoveRecipe();
        QVERIFY(dialog.ImportFile(Q(WriteText("half.ini", "[half]\nmode=fit\nresize=50%\n"))));
        Edit(dialog, "quality")->setText("40");
        emit Edit(dialog, "quality")->textEdited("40");  // a key without a control of its own stays
        QCOMPARE(QString::fromStdString(OutputKeysOf(dialog.Recipes().back().Outputs[0])), QString("resize=50%,mode=fit,quality=40"));
    }

    // Edits go into the output; names stay unique; a recipe keeps one output at least.
    void AddEditCopyRenameAndRemove() {
        TRecipesDialog dialog(ReadyRecipes());
        dialog.AddRecipe();
        QCOMPARE(dialog.lstRecipes->currentItem()->text(), QString("New recipe"));
        Combo(dialog, "format")->setCurrentIndex(Combo(dialog, "format")->findData("webp"));
        Edit(dialog, "quality")->setText("60");
        emit Edit(dialog, "quality")->textEdited("60");
        const TRecipe& added = dialog.Recipes().back();
        QCOMPARE(QString::fromStdString(OutputKeysOf(added.Outputs[0])), QString("mode=fit,size=1024x1024,quality=60,format=webp"));
        dialog.DuplicateRecipe();
        QCOMPARE(dialog.Recipes().back().Name, std::string("New recipe copy"));
        dialog.RenameRecipe("Web gallery");
        QCOMPARE(dialog.Recipes().back().Name, std::string("Web gallery (2)"));
        dialog.AddOutput();
        QCOMPARE(dialog.Recipes().back().Outputs.size(), size_t(2));
        dialog.RemoveOutput();
        dialog.RemoveOutput();
        QCOMPARE(dialog.Recipes().back().Outputs.size(), size_t(1));
        dialog.RemoveRecipe();
        QCOMPARE(int(dialog.Recipes().size()), 5);
        QVERIFY(dialog.Problem().isEmpty());
        Edit(dialog, "quality")->setText("500");
        emit Edit(dialog, "quality")->textEdited("500");
        QVERIFY2(dialog.Problem().contains("quality must be from 5 to 99"), qPrintable(dialog.Problem()));
    }

    // An exported recipe imports as it was; a file that is no recipe is refused with a message.
    void ExportAndImport() {
        TRecipesDialog dialog(ReadyRecipes());
        const QString file = FHome->Path("gallery.ini");
        QVERIFY(dialog.ExportFile(file));
        const TRecipe exported = dialog.Recipes().front();
        dialog.RemoveRecipe();
        QVERIFY(dialog.ImportFile(file));
        const TRecipe& imported = dialog.Recipes().back();
        QCOMPARE(imported.Name, exported.Name);
        QCOMPARE(imported.Outputs.size(), exported.Outputs.size());
        for (size_t k = 0; k < imported.Outputs.size(); ++k)
            QCOMPARE(OutputKeysOf(imported.Outputs[k]), OutputKeysOf(exported.Outputs[k]));
        QVERIFY(!dialog.ImportFile(Q(WriteText("bad.ini", "[one]\ncolour=red\n"))));
        QCOMPARE(int(FMessages->Messages.size()), 1);
        QVERIFY(FMessages->Messages[0].second.find("unknown key 'colour'") != std::string::npos);
    }
};

}  // namespace quorix

QUORIX_QT_TEST_MAIN(quorix::RecipesDialogTest)
#include "RecipesDialogTest.moc"
