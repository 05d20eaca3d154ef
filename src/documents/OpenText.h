#pragma once

#include <QString>

#include <optional>

class PanelFactory;
class QWidget;

// Lets the user pick one text file and returns its whole text, or nothing
// when the dialog was cancelled or the file could not be read as text (the
// reason is not reported). sp1 == 0 offers "txt" files, any other value "rtf"
// files; both are read as plain characters. parent is the window the dialog
// belongs to; if it is destroyed while the dialog runs, nothing is returned.
[[nodiscard]] std::optional<QString> chooseTextToOpen(int sp1, PanelFactory &panels, QWidget *parent);
