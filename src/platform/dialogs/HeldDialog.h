#pragma once

#include <QDialog>
#include <QPointer>

#include <memory>

// Runs a dialog held twice: by the caller, and by its parent window, which Qt
// lets delete it if the window goes while the dialog runs. True when it was
// accepted; a dialog that went with its window is let go of and counts as
// cancelled.
template <typename Dialog>
bool execHeld(std::unique_ptr<Dialog> &dialog)
{
    const QPointer<QDialog> alive(dialog.get());
    const int result = dialog->exec();
    if (!alive) {
        (void)dialog.release();
        return false;
    }
    return result == QDialog::Accepted;
}
