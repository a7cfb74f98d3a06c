// The "Outputs:" choice of the Image resizer page and the recipes behind it.
#include "FormMain.h"

#include "Platform.h"
#include "RecipesDialog.h"

namespace quorix {

// cmbOutputs lists "As set on this page" and every recipe; name is chosen
// when there is such a recipe.
void TMainForm::ShowRecipeChoice(const std::string& name) {
    const QSignalBlocker quiet(cmbOutputs);
    cmbOutputs->clear();
    cmbOutputs->addItem("As set on this page");
    int chosen = 0;
    for (size_t i = 0; i < FRecipes.size(); ++i) {
        const TRecipe& recipe = FRecipes[i];
        const size_t n = recipe.Outputs.size();
        cmbOutputs->addItem(Q(recipe.Name + " (" + std::to_string(n) + (n == 1 ? " output)" : " outputs)")));
        if (!name.empty() && recipe.Name == name) chosen = static_cast<int>(i) + 1;
    }
    cmbOutputs->setCurrentIndex(chosen);
}

void TMainForm::btnRecipesClick() {
    const int chosen = cmbOutputs->currentIndex();
    const std::string current = chosen > 0 ? FRecipes[static_cast<size_t>(chosen - 1)].Name : "";
    TRecipesDialog dialog(FRecipes, this);
    if (dialog.exec() != QDialog::Accepted) return;
    FRecipes = dialog.Recipes();
    ShowRecipeChoice(current);
}

}  // namespace quorix
