// The explorer's folder and the current picture.
#include "FormMain.h"

#include "OrvelFileListBox.h"
#include "OrvelTPU.h"
#include "Platform.h"

namespace quorix {

void TMainForm::edtPathChange() {
    // Typing a folder that exists shows it; the completing path edit refines this.
    const std::string text = S(edtPath->text());
    if (FolderExists(text)) FileList->SetDirectory(Q(text));
}

void TMainForm::FileListChangeEx(int, int) {
    // The preview of the current picture and its status texts come with the
    // preview; until then the list's changes need nothing here.
}

void TMainForm::PageControlChange() {
    // Refreshing the quality advisor's pictures comes with the advisor.
}

}  // namespace quorix
