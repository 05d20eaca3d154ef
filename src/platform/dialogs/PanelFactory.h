#pragma once

#include "platform/dialogs/OpenPanel.h"
#include "platform/dialogs/SavePanel.h"

#include <memory>

class QWidget;

// Makes the file dialogs. Actions take a factory instead of making dialogs
// themselves, so that tests can answer the dialogs.
class PanelFactory {
public:
    virtual ~PanelFactory() = default;
    // A fresh panel for one use; parent is the window the dialog belongs to
    // (may be null).
    [[nodiscard]] virtual std::unique_ptr<OpenPanel> makeOpenPanel(QWidget *parent) = 0;
    [[nodiscard]] virtual std::unique_ptr<SavePanel> makeSavePanel(QWidget *parent) = 0;

protected:
    PanelFactory() = default;
    PanelFactory(const PanelFactory &) = default;
    PanelFactory &operator=(const PanelFactory &) = default;
};
