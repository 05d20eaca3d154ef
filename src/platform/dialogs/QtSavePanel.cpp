#include "platform/dialogs/QtSavePanel.h"

#include "platform/dialogs/HeldDialog.h"
#include "platform/dialogs/ModalResponse.h"
#include "platform/dialogs/SaveFileDialog.h"

#include <QFileInfo>

#include <memory>

using namespace Qt::StringLiterals;

int QtSavePanel::runModal()
{
    m_url.reset();

    auto dialog = std::make_unique<SaveFileDialog>(m_parent.data());
    // Without ReadOnly the dialog offers its "new folder" button.
    dialog->setOption(QFileDialog::ReadOnly, !canCreateDirectories());
    dialog->setAllowedFileTypes(allowedFileTypes(), allowsOtherFileTypes());
    if (!title().isEmpty())
        dialog->setWindowTitle(title());
    dialog->setMessage(message());
    if (!prompt().isEmpty())
        dialog->setLabelText(QFileDialog::Accept, prompt());
    if (!nameFieldLabel().isEmpty())
        dialog->setLabelText(QFileDialog::FileName, nameFieldLabel());
    if (!nameFieldStringValue().isEmpty())
        dialog->selectFile(proposedName());

    if (!execHeld(dialog))
        return ModalResponse::Cancel;
    const QStringList files = dialog->selectedFiles();
    if (!files.isEmpty())
        m_url = files.first();
    return ModalResponse::OK;
}

QString QtSavePanel::proposedName() const
{
    const QString name = nameFieldStringValue();
    if (isExtensionHidden() || allowedFileTypes().isEmpty() || !QFileInfo(name).suffix().isEmpty())
        return name;
    return name + u'.' + allowedFileTypes().first();
}
