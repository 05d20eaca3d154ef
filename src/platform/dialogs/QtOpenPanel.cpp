#include "platform/dialogs/QtOpenPanel.h"

#include "platform/dialogs/HeldDialog.h"
#include "platform/dialogs/ModalResponse.h"
#include "platform/dialogs/OpenFileDialog.h"

#include <memory>

int QtOpenPanel::runModal()
{
    m_url.reset();

    auto dialog = std::make_unique<OpenFileDialog>(m_parent.data());
    if (canChooseDirectories() && !canChooseFiles()) {
        dialog->setFileMode(QFileDialog::Directory);
        dialog->setOption(QFileDialog::ShowDirsOnly);
    } else {
        dialog->setFileMode(allowsMultipleSelection() ? QFileDialog::ExistingFiles
                                                      : QFileDialog::ExistingFile);
        dialog->setAllowedFileTypes(allowedFileTypes());
    }

    if (!execHeld(dialog))
        return ModalResponse::Cancel;
    const QStringList files = dialog->selectedFiles();
    if (!files.isEmpty())
        m_url = files.first();
    return ModalResponse::OK;
}
