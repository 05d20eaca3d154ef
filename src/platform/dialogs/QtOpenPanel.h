#pragma once

#include "platform/dialogs/OpenPanel.h"

#include <QPointer>
#include <QWidget>

// OpenPanel over a QFileDialog that is made for each runModal() and destroyed
// when it returns.
class QtOpenPanel final : public OpenPanel {
public:
    explicit QtOpenPanel(QWidget *parent) : m_parent(parent) {}

    int runModal() override;
    [[nodiscard]] std::optional<QString> url() const override { return m_url; }

private:
    QPointer<QWidget> m_parent;
    std::optional<QString> m_url;
};
