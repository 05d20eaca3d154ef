#pragma once

#include "platform/dialogs/SavePanel.h"

#include <QPointer>
#include <QWidget>

// SavePanel over a QFileDialog that is made for each runModal() and destroyed
// when it returns.
class QtSavePanel final : public SavePanel {
public:
    explicit QtSavePanel(QWidget *parent) : m_parent(parent) {}

    int runModal() override;
    [[nodiscard]] std::optional<QString> url() const override { return m_url; }

private:
    [[nodiscard]] QString proposedName() const;

    QPointer<QWidget> m_parent;
    std::optional<QString> m_url;
};
