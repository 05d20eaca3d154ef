#pragma once

#include <QDialog>

class QLabel;

// The small window shown while a fingerprint is being checked: why, what to
// do, and a way to give up.
class FingerprintPrompt : public QDialog {
    Q_OBJECT

public:
    // The prompt's own words, in the caller's language.
    struct Texts {
        QString title;
        // What to do, until the reader asks for something else.
        QString hint;
        QString cancel;
    };

    FingerprintPrompt(const Texts &texts, const QString &reason, QWidget *parent);
    void setHint(const QString &hint);
    [[nodiscard]] QString hint() const;

Q_SIGNALS:
    void cancelled();

private:
    QLabel *m_reason = nullptr;
    QLabel *m_hint = nullptr;
};
