#include "PATHEdit.h"

#include "OrvelTPU.h"
#include "Platform.h"

#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>

#include <algorithm>

namespace quorix {

namespace {

constexpr int faReadOnly = 0x01, faHidden = 0x02, faSysFile = 0x04, faDirectory = 0x10, faArchive = 0x20;

// The entries of a folder whose names begin with a prefix, any case, sorted
// by name so that the shortest of a family comes first.
QStringList EntriesBeginningWith(const QString& folder, const QString& prefix) {
    QDir dir(folder);
    dir.setFilter(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    QStringList names;
    for (const QString& name : dir.entryList())
        if (name.startsWith(prefix, Qt::CaseInsensitive)) names << name;
    std::sort(names.begin(), names.end(),
              [](const QString& a, const QString& b) { return QString::compare(a, b, Qt::CaseInsensitive) < 0; });
    return names;
}

}  // namespace

int AttributeMask(const TAttributesFiles& attributes) {
    int mask = 0;
    for (TAttributesFile a : attributes) {
        switch (a) {
        case TAttributesFile::peaReadOnly: mask |= faReadOnly; break;
        case TAttributesFile::peaHidden: mask |= faHidden; break;
        case TAttributesFile::peaSysFile: mask |= faSysFile; break;
        case TAttributesFile::peaDirectory: mask |= faDirectory; break;
        case TAttributesFile::peaArchive: mask |= faArchive; break;
        }
    }
    return mask;
}

TAttributesFiles AllAttributes() {
    return {TAttributesFile::peaReadOnly, TAttributesFile::peaHidden, TAttributesFile::peaSysFile,
            TAttributesFile::peaDirectory, TAttributesFile::peaArchive};
}

int EntryAttributes(const QString& path) {
    const QFileInfo info(path);
    int bits = 0;
    if (!info.isWritable()) bits |= faReadOnly;
    if (info.fileName().startsWith('.')) bits |= faHidden;
    if (info.isDir()) bits |= faDirectory;
    else if (info.isFile()) bits |= faArchive;
    else bits |= faSysFile;
    return bits;
}

TPathEdit::TPathEdit(QWidget* parent) : QLineEdit(parent) {
    connect(this, &QLineEdit::textChanged, this, [this] { TextChanged(); });
}

void TPathEdit::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (FolderExists(S(text())) && !text().endsWith(PathDelim)) setText(text() + PathDelim);
        end(false);
    }
    // The key is remembered before the edit acts on it: here the edit changes
    // its text while handling the key, and completion must know that key.
    FKey = event->key();
    QLineEdit::keyPressEvent(event);
}

void TPathEdit::TextChanged() {
    if (OnChange) OnChange();
    if (!Complete || FKey == Qt::Key_Backspace || FKey == Qt::Key_Delete || text().isEmpty()) return;
    // A change while a completion is still selected: what the user typed is
    // what precedes the selection.
    const QString typed = hasSelectedText() ? text().left(selectionStart()) : text();
    if (typed.startsWith(PathDelim) && !typed.endsWith(PathDelim)) CompleteName(typed);
}

void TPathEdit::CompleteName(const QString& typed) {
    const int k = typed.lastIndexOf(PathDelim) + 1;  // 1-based position of the last delimiter
    const int p = typed.size();
    const QString folder = typed.left(k);
    const int mask = AttributeMask(CompleteWith);
    for (const QString& name : EntriesBeginningWith(folder, typed.mid(k))) {
        if ((EntryAttributes(folder + name) & mask) == 0) continue;
        const QString completed = text().left(p) + name.mid(p - k);
        if (completed != text()) setText(completed);
        setSelection(p, std::max(0, static_cast<int>(text().size()) - p));
        return;
    }
}

}  // namespace quorix
