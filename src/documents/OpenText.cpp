#include "documents/OpenText.h"

#include "documents/ChosenPath.h"
#include "documents/TextFile.h"
#include "platform/dialogs/OpenFileDialog.h"
#include "platform/dialogs/PanelFactory.h"

using namespace Qt::StringLiterals;

std::optional<QString> chooseTextToOpen(int sp1, PanelFactory &panels, QWidget *parent)
{
    const std::unique_ptr<OpenPanel> panel = panels.makeOpenPanel(parent);
    if (!panel)
        return std::nullopt;
    const QStringList types{sp1 == 0 ? u"txt"_s : u"rtf"_s};
    panel->setAllowedFileTypes(types);
    panel->setAllowsMultipleSelection(false);
    panel->setCanChooseDirectories(false);
    panel->setCanChooseFiles(true);

    const std::optional<QString> path = chosenPath(*panel, parent);
    // Whatever the dialog lets through, a file of another type is not read.
    if (!path || !OpenFileDialog::isAllowed(*path, types))
        return std::nullopt;
    Expected<QString> text = TextFile::read(*path);
    if (!text)
        return std::nullopt;
    return std::move(text).value();
}
