#pragma once

#include <QString>

class MyModelInput {
public:
    explicit MyModelInput(QString text) : m_text(std::move(text)) {}
    [[nodiscard]] QString text() const { return m_text; }
    void setText(const QString &text) { m_text = text; }

private:
    QString m_text;
};
