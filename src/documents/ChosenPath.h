#pragma once

#include "platform/dialogs/ModalResponse.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <optional>

// Runs a file panel: the path it was confirmed with, or nothing when it was
// cancelled, gave no path, or the window it belongs to went meanwhile (what
// the window held is gone with it).
template <typename Panel>
std::optional<QString> chosenPath(Panel &panel, QWidget *parent)
{
    const QPointer<QWidget> window(parent);
    if (panel.runModal() != ModalResponse::OK || (parent && !window))
        return std::nullopt;
    return panel.url();
}
