#pragma once

#include <QString>

#include <functional>

class PanelFactory;
class QWidget;

enum class SaveTextResult {
    Saved,
    Cancelled, // the dialog was cancelled or chose no place; nothing written
    Failed,    // the write failed; a file already at the place is unchanged
};

// Lets the user pick a place for a ".txt" file and stores the note there as
// UTF-8, atomically. currentNote is called only after the dialog has closed,
// so the note saved is the one of that moment. The caller drops failures
// silently; the result is for callers that want to know. parent is the
// window the dialog belongs to; if it is destroyed while the dialog runs,
// currentNote is not called and nothing is written.
SaveTextResult saveTextWithPanel(PanelFactory &panels, QWidget *parent,
                                 const std::function<QString()> &currentNote);
