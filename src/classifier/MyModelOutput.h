#pragma once

#include <QString>

class MyModelOutput {
public:
    explicit MyModelOutput(QString label) : m_label(std::move(label)) {}
    [[nodiscard]] QString label() const { return m_label; }

private:
    QString m_label;
};
