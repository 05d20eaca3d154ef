#include "platform/dialogs/QtOpenPanel.h"

#include "platform/dialogs/ModalResponse.h"
#include "platform/dialogs/QtPanelFactory.h"

#include <QFileDialog>

#include <memory>

int QtOpenPanel::runModal()
{
    m_url.reset();

    auto dialog = std::make_unique<QFileDialog>(m_parent.data());
    // Held twice: if the parent window is destroyed while the dialog runs, Qt
    // deletes the dialog with it and the unique_ptr must let go.
    const QPointer<QFileDialog> alive(dialog.get());
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    if (canChooseDirectories() && !canChooseFiles()) {
        dialog->setFileMode(QFileDialog::Directory);
        dialog->setOption(QFileDialog::ShowDirsOnly);
    } else {
        dialog->setFileMode(allowsMultipleSelection() ? QFileDialog::ExistingFiles
                                                      : QFileDialog::ExistingFile);
        if (!allowedFileTypes().isEmpty())
            dialog->setNameFilter(QtPanelFactory::nameFilter(allowedFileTypes()));
    }

    const int result = dialog->exec();
    if (!alive) {
        (void)dialog.release();
        return ModalResponse::Cancel;
    }
    if (result != QDialog::Accepted)
        return ModalResponse::Cancel;
    const QStringList files = dialog->selectedFiles();
    if (!files.isEmpty())
        m_url = files.first();
    return ModalResponse::OK;
}
