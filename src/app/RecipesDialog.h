// The recipes: a list of them (add, duplicate, rename, remove, import,
// export) and, for the one chosen, its outputs, each edited with a control
// for every key of the option table. A key left "As on the page" takes the
// value the Image resizer and Settings pages have when the job starts.
#pragma once

#include "Recipe.h"

#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QListWidget>

#include <map>
#include <string>
#include <vector>

namespace quorix {

class TRecipesDialog : public QDialog {
public:
    TRecipesDialog(std::vector<TRecipe> recipes, QWidget* parent = nullptr);
    // What the dialog holds, the output being edited included.
    const std::vector<TRecipe>& Recipes();

    // The buttons' work, also for tests.
    void AddRecipe();
    void DuplicateRecipe();
    void RenameRecipe(const QString& name);
    void RemoveRecipe();
    void AddOutput();
    void RemoveOutput();
    bool ImportFile(const QString& fileName);  // false, with the reason shown, on a file that is not a recipe
    bool ExportFile(const QString& fileName);
    // The recipes whose keys all hold values, or a message naming the first that does not.
    QString Problem();

    QListWidget* lstRecipes;
    QListWidget* lstOutputs;
    QLineEdit* edtOutputKey;
    std::map<std::string, QWidget*> Editors;  // by the option table's key

private:
    QLayout* CreateRecipeColumn();
    QLayout* CreateOutputColumn();
    QWidget* CreateEditor();
    TRecipe* CurrentRecipe();
    TRecipeOutput* CurrentOutput();
    void Store();  // the editor's values into the output being edited
    void ShowRecipe(int row);
    void ShowOutput(int row);
    void RefreshRecipeList(int current);
    QString UniqueName(const QString& wanted) const;

    std::vector<TRecipe> FRecipes;
    int FRecipe = -1, FOutput = -1;  // being edited
    bool FShowing = false;           // the editors are being filled, not edited
};

}  // namespace quorix
