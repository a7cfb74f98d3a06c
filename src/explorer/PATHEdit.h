// The explorer's folder box: completes a typed path to the first matching
// entry of its folder, the added part selected so that typing on replaces it.
#pragma once

#include <QLineEdit>

#include <functional>
#include <set>

namespace quorix {

enum class TAttributesFile { peaReadOnly, peaHidden, peaSysFile, peaDirectory, peaArchive };
using TAttributesFiles = std::set<TAttributesFile>;

// The attribute bits of a set, OR-ed: the full set gives 0x37.
int AttributeMask(const TAttributesFiles& attributes);
// The attribute bits of a folder entry on this platform.
int EntryAttributes(const QString& path);
TAttributesFiles AllAttributes();

class TPathEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TPathEdit(QWidget* parent = nullptr);

    bool Complete = true;
    TAttributesFiles CompleteWith = AllAttributes();
    // The owner's change handler; it runs before completion looks at the text.
    std::function<void()> OnChange;

    int LastKey() const { return FKey; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void TextChanged();
    void CompleteName(const QString& typed);

    int FKey = 0;
};

}  // namespace quorix
