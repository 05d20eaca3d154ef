#pragma once

#include "platform/dialogs/PanelFactory.h"

#include <QStringList>

// The real file dialogs: Qt's own (non-native) QFileDialog, so they look and
// behave the same on every desktop and can be driven in tests.
class QtPanelFactory final : public PanelFactory {
public:
    [[nodiscard]] std::unique_ptr<OpenPanel> makeOpenPanel(QWidget *parent) override;
    [[nodiscard]] std::unique_ptr<SavePanel> makeSavePanel(QWidget *parent) override;

    // One QFileDialog name filter for a list of extensions: {"txt"} gives
    // "*.txt"; empty for an empty list.
    [[nodiscard]] static QString nameFilter(const QStringList &fileTypes);
};
