#include "documents/SaveText.h"

#include "documents/ChosenPath.h"
#include "documents/TextFile.h"
#include "platform/dialogs/PanelFactory.h"

#include <QCoreApplication>

using namespace Qt::StringLiterals;

SaveTextResult saveTextWithPanel(PanelFactory &panels, QWidget *parent,
                                 const std::function<QString()> &currentNote)
{
    const std::unique_ptr<SavePanel> panel = panels.makeSavePanel(parent);
    if (!panel)
        return SaveTextResult::Failed;
    panel->setAllowedFileTypes({u"txt"_s});
    panel->setCanCreateDirectories(true);
    panel->setExtensionHidden(false);
    panel->setAllowsOtherFileTypes(false);
    panel->setTitle(QCoreApplication::translate("SaveText", "Save your text"));
    panel->setMessage(QCoreApplication::translate("SaveText", "Choose a folder and a name to store your text."));
    panel->setPrompt(QCoreApplication::translate("SaveText", "Save now"));
    panel->setNameFieldLabel(QCoreApplication::translate("SaveText", "File name:"));
    panel->setNameFieldStringValue(u"savetext"_s);

    // The note belongs to the window; with the window gone there is nothing
    // left to ask for it.
    const std::optional<QString> path = chosenPath(*panel, parent);
    if (!path)
        return SaveTextResult::Cancelled;
    const QString note = currentNote ? currentNote() : QString();
    return TextFile::writeAtomically(*path, note) ? SaveTextResult::Saved : SaveTextResult::Failed;
}
