#include "RecipesDialog.h"

#include "ErrorGuard.h"
#include "Graphic.h"
#include "OrvelMessages.h"
#include "OrvelTPU.h"
#include "Platform.h"
#include "Resample.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace quorix {

namespace {

const char* const AsOnPage = "As on the page";

QPushButton* Button(const QString& text, QWidget* parent, QLayout* into) {
    auto* button = new QPushButton(text, parent);
    into->addWidget(button);
    return button;
}

// The choices of a row that takes one of a few values; empty for one typed.
std::vector<std::pair<QString, QString>> Choices(const TOptionRow& row) {
    std::vector<std::pair<QString, QString>> choices;
    if (!row.FlagValue.empty()) choices = {{"Yes", "yes"}, {"No", "no"}};
    if (row.Key == "mode")
        for (const char* mode : {"decrease", "increase", "same-size", "fit", "same-width", "same-height"}) choices.push_back({mode, mode});
    if (row.Key == "filter")
        for (const TResampleFilter& filter : ResampleFilters) choices.push_back({filter.Name, filter.Name});
    if (row.Key == "format")
        for (const TOutputFormatInfo& format : OutputFormats()) choices.push_back({Q(format.Name), Q(format.Key)});
    for (const std::string& value : row.Choices) choices.push_back({Q(value), Q(value)});
    return choices;
}

QWidget* EditorFor(const TOptionRow& row, QWidget* parent) {
    const auto choices = Choices(row);
    if (choices.empty()) {
        auto* edit = new QLineEdit(parent);
        edit->setPlaceholderText(AsOnPage);
        edit->setToolTip(Q(row.Key + ", " + row.Flag + " " + row.Arg + ": " + row.Help));
        return edit;
    }
    auto* combo = new QComboBox(parent);
    combo->addItem(AsOnPage, QString());
    for (const auto& [text, value] : choices) combo->addItem(text, value);
    combo->setToolTip(Q(row.Key + ", " + row.Flag + ": " + row.Help));
    return combo;
}

std::string EditorValue(const QWidget* editor) {
    if (const auto* combo = qobject_cast<const QComboBox*>(editor)) return S(combo->currentData().toString());
    return S(static_cast<const QLineEdit*>(editor)->text().trimmed());
}

void ShowValue(QWidget* editor, const std::string& value) {
    if (auto* combo = qobject_cast<QComboBox*>(editor)) combo->setCurrentIndex(std::max(0, combo->findData(Q(value))));
    else static_cast<QLineEdit*>(editor)->setText(Q(value));
}

}  // namespace

TRecipesDialog::TRecipesDialog(std::vector<TRecipe> recipes, QWidget* parent) : QDialog(parent), FRecipes(std::move(recipes)) {
    setObjectName("RecipesDialog");
    setWindowTitle("Recipes");
    auto* columns = new QHBoxLayout;
    columns->addLayout(CreateRecipeColumn(), 2);
    columns->addLayout(CreateOutputColumn(), 3);
    auto* page = new QVBoxLayout(this);
    page->addLayout(columns, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    page->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::accepted, this, Guarded([this] {
        const QString problem = Problem();
        if (problem.isEmpty()) return accept();
        ShowError(S(problem));
    }));
    RefreshRecipeList(FRecipes.empty() ? -1 : 0);
    resize(860, 640);
}

QLayout* TRecipesDialog::CreateRecipeColumn() {
    auto* column = new QVBoxLayout;
    column->addWidget(new QLabel("Recipes:", this));
    lstRecipes = new QListWidget(this);
    lstRecipes->setObjectName("lstRecipes");
    column->addWidget(lstRecipes, 1);
    auto* row1 = new QHBoxLayout, *row2 = new QHBoxLayout;
    connect(Button("Add", this, row1), &QPushButton::clicked, this, Guarded([this] { AddRecipe(); }));
    connect(Button("Duplicate", this, row1), &QPushButton::clicked, this, Guarded([this] { DuplicateRecipe(); }));
    connect(Button("Rename...", this, row1), &QPushButton::clicked, this, Guarded([this] {
        if (!CurrentRecipe()) return;
        bool ok = false;
        const QString name = QInputDialog::getText(this, "Rename recipe", "Name:", QLineEdit::Normal,
                                                   Q(CurrentRecipe()->Name), &ok);
        if (ok) RenameRecipe(name);
    }));
    connect(Button("Remove", this, row1), &QPushButton::clicked, this, Guarded([this] { RemoveRecipe(); }));
    connect(Button("Import...", this, row2), &QPushButton::clicked, this, Guarded([this] {
        const QString file = QFileDialog::getOpenFileName(this, "Import recipe", QString(), "Recipes (*.ini *.recipe);;All files (*)");
        if (!file.isEmpty()) ImportFile(file);
    }));
    connect(Button("Export...", this, row2), &QPushButton::clicked, this, Guarded([this] {
        if (!CurrentRecipe()) return;
        const QString file = QFileDialog::getSaveFileName(this, "Export recipe", Q(CurrentRecipe()->Name) + ".ini",
                                                          "Recipes (*.ini *.recipe);;All files (*)");
        if (!file.isEmpty()) ExportFile(file);
    }));
    column->addLayout(row1);
    column->addLayout(row2);
    connect(lstRecipes, &QListWidget::currentRowChanged, this, [this](int row) {
        if (!FShowing) GuardedCall([&] { Store(), ShowRecipe(row); });
    });
    return column;
}

QLayout* TRecipesDialog::CreateOutputColumn() {
    auto* column = new QVBoxLayout;
    column->addWidget(new QLabel("Outputs of this recipe:", this));
    lstOutputs = new QListWidget(this);
    lstOutputs->setObjectName("lstOutputs");
    lstOutputs->setMaximumHeight(110);
    column->addWidget(lstOutputs);
    auto* row = new QHBoxLayout;
    connect(Button("Add output", this, row), &QPushButton::clicked, this, Guarded([this] { AddOutput(); }));
    connect(Button("Remove output", this, row), &QPushButton::clicked, this, Guarded([this] { RemoveOutput(); }));
    row->addStretch(1);
    column->addLayout(row);
    column->addWidget(CreateEditor(), 1);
    connect(lstOutputs, &QListWidget::currentRowChanged, this, [this](int row) {
        if (!FShowing) GuardedCall([&] { ShowOutput(row); });
    });
    return column;
}

QWidget* TRecipesDialog::CreateEditor() {
    auto* editor = new QWidget(this);
    auto* form = new QFormLayout(editor);
    form->setContentsMargins(0, 0, 0, 0);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    edtOutputKey = new QLineEdit(editor);
    edtOutputKey->setObjectName("edtOutputKey");
    form->addRow("Output name:", edtOutputKey);
    connect(edtOutputKey, &QLineEdit::textEdited, this, [this] { Store(); });
    for (const TOptionRow& row : OptionTable()) {
        if (row.Derived()) continue;
        QWidget* field = EditorFor(row, editor);
        field->setObjectName(Q("edit-" + row.Key));
        Editors[row.Key] = field;
        QString caption = Q(row.Caption);
        if (!caption.endsWith(':')) caption += ":";
        form->addRow(caption, field);
        if (auto* combo = qobject_cast<QComboBox*>(field)) connect(combo, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this] { Store(); });
        else connect(static_cast<QLineEdit*>(field), &QLineEdit::textEdited, this, [this] { Store(); });
    }
    return editor;
}

TRecipe* TRecipesDialog::CurrentRecipe() {
    return FRecipe >= 0 && FRecipe < static_cast<int>(FRecipes.size()) ? &FRecipes[static_cast<size_t>(FRecipe)] : nullptr;
}

TRecipeOutput* TRecipesDialog::CurrentOutput() {
    TRecipe* recipe = CurrentRecipe();
    return recipe && FOutput >= 0 && FOutput < static_cast<int>(recipe->Outputs.size()) ? &recipe->Outputs[static_cast<size_t>(FOutput)]
                                                                                        : nullptr;
}

void TRecipesDialog::Store() {
    TRecipeOutput* output = CurrentOutput();
    if (FShowing || !output) return;
    output->Key = S(edtOutputKey->text().trimmed());
    // Keys without a control of their own (resize=50%) stay, before those edited here.
    std::vector<std::pair<std::string, std::string>> kept;
    for (const auto& value : output->Values)
        if (!Editors.count(value.first)) kept.push_back(value);
    output->Values = kept;
    for (const TOptionRow& row : OptionTable())
        if (!row.Derived())
            if (std::string value = EditorValue(Editors[row.Key]); !value.empty()) output->Values.emplace_back(row.Key, value);
    if (QListWidgetItem* item = lstOutputs->item(FOutput)) item->setText(Q(output->Key));
}

void TRecipesDialog::ShowRecipe(int row) {
    FRecipe = row;
    FShowing = true;
    lstOutputs->clear();
    if (const TRecipe* recipe = CurrentRecipe())
        for (const TRecipeOutput& output : recipe->Outputs) lstOutputs->addItem(Q(output.Key));
    FShowing = false;
    lstOutputs->setCurrentRow(lstOutputs->count() > 0 ? 0 : -1);
    ShowOutput(lstOutputs->currentRow());
}

void TRecipesDialog::ShowOutput(int row) {
    FOutput = row;
    const TRecipeOutput* output = CurrentOutput();
    FShowing = true;
    edtOutputKey->setText(output ? Q(output->Key) : QString());
    for (auto& [key, editor] : Editors) {
        std::string value;
        if (output)
            for (const auto& [k, v] : output->Values)
                if (k == key) value = v;
        ShowValue(editor, value);
        editor->setEnabled(output != nullptr);
    }
    edtOutputKey->setEnabled(output != nullptr);
    FShowing = false;
}

void TRecipesDialog::RefreshRecipeList(int current) {
    FShowing = true;
    lstRecipes->clear();
    for (const TRecipe& recipe : FRecipes) lstRecipes->addItem(Q(recipe.Name));
    FShowing = false;
    lstRecipes->setCurrentRow(current);
    ShowRecipe(current);
}

QString TRecipesDialog::UniqueName(const QString& wanted) const {
    QString name = wanted;
    for (int n = 2;; ++n) {
        bool taken = false;
        for (const TRecipe& recipe : FRecipes) taken = taken || Q(recipe.Name) == name;
        if (!taken) return name;
        name = wanted + QString(" (%1)").arg(n);
    }
}

const std::vector<TRecipe>& TRecipesDialog::Recipes() {
    Store();
    return FRecipes;
}

void TRecipesDialog::AddRecipe() {
    FRecipes.push_back({S(UniqueName("New recipe")), {{"output", {{"mode", "fit"}, {"size", "1024x1024"}}}}});
    RefreshRecipeList(static_cast<int>(FRecipes.size()) - 1);
}

void TRecipesDialog::DuplicateRecipe() {
    if (!CurrentRecipe()) return;
    Store();
    TRecipe copy = *CurrentRecipe();
    copy.Name = S(UniqueName(Q(copy.Name) + " copy"));
    FRecipes.insert(FRecipes.begin() + FRecipe + 1, copy);
    RefreshRecipeList(FRecipe + 1);
}

void TRecipesDialog::RenameRecipe(const QString& name) {
    TRecipe* recipe = CurrentRecipe();
    const QString trimmed = name.trimmed();
    if (!recipe || trimmed.isEmpty() || Q(recipe->Name) == trimmed) return;
    recipe->Name = S(UniqueName(trimmed));
    RefreshRecipeList(FRecipe);
}

void TRecipesDialog::RemoveRecipe() {
    if (!CurrentRecipe()) return;
    FRecipes.erase(FRecipes.begin() + FRecipe);
    RefreshRecipeList(std::min(FRecipe, static_cast<int>(FRecipes.size()) - 1));
}

void TRecipesDialog::AddOutput() {
    TRecipe* recipe = CurrentRecipe();
    if (!recipe) return;
    Store();
    recipe->Outputs.push_back({"output" + std::to_string(recipe->Outputs.size() + 1), {}});
    ShowRecipe(FRecipe);
    lstOutputs->setCurrentRow(lstOutputs->count() - 1);
}

void TRecipesDialog::RemoveOutput() {
    TRecipe* recipe = CurrentRecipe();
    if (!CurrentOutput() || recipe->Outputs.size() < 2) return;  // a recipe makes at least one output
    recipe->Outputs.erase(recipe->Outputs.begin() + FOutput);
    ShowRecipe(FRecipe);
}

bool TRecipesDialog::ImportFile(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        ShowError("Cannot read the recipe " + S(fileName));
        return false;
    }
    try {
        TRecipe recipe = ParseRecipeFile(file.readAll().toStdString());
        if (recipe.Name.empty()) recipe.Name = S(QFileInfo(fileName).completeBaseName());
        recipe.Name = S(UniqueName(Q(recipe.Name)));
        FRecipes.push_back(std::move(recipe));
    } catch (const EOptionError& e) {
        ShowError("Not a recipe: " + S(fileName) + " (" + e.what() + ")");
        return false;
    }
    RefreshRecipeList(static_cast<int>(FRecipes.size()) - 1);
    return true;
}

bool TRecipesDialog::ExportFile(const QString& fileName) {
    Store();
    if (!CurrentRecipe()) return false;
    QFile file(fileName);
    const std::string text = RecipeFileText(*CurrentRecipe());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(text.data(), static_cast<qint64>(text.size())) != static_cast<qint64>(text.size())) {
        ShowError("Cannot write the recipe " + S(fileName));
        return false;
    }
    return true;
}

QString TRecipesDialog::Problem() {
    for (const TRecipe& recipe : Recipes()) {
        try {
            RecipeOutputs(recipe, TResizeOptions());
        } catch (const EOptionError& e) {
            return Q("Recipe \"" + recipe.Name + "\": " + e.what());
        }
        for (const TRecipeOutput& output : recipe.Outputs)
            if (output.Key.empty()) return Q("Recipe \"" + recipe.Name + "\": an output has no name");
    }
    return {};
}

}  // namespace quorix
