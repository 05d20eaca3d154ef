#pragma once

#include "platform/localauth/FingerprintPrompt.h"

#include <QObject>
#include <QString>

#include <memory>
#include <vector>

class LAContext;
class LAContextFactory;
class QWidget;

// How one fingerprint check ended.
struct TouchIdResult {
    enum class Kind {
        CannotAsk, // no reader, or not the kind this gate asks for
        Matched,
        NotMatched,
    };
    Kind kind;
    // What the alert says; empty when matched.
    QString alert;
};

// The second gate's action: one fingerprint check per call. Each check's
// context lives until its reply has been handed to the main thread, or until
// cancel().
class TouchIdAction : public QObject {
    Q_OBJECT

public:
    explicit TouchIdAction(LAContextFactory *contexts, QObject *parent = nullptr);
    ~TouchIdAction() override;

    // The answer comes through answered(): at once when the reader is of the
    // wrong kind, else from the event loop.
    void start(QWidget *promptParent);
    // The window is closing: checks in flight end without an answer.
    void cancel();

    static QString failedText();
    // The words of the prompt a fingerprint check shows.
    static FingerprintPrompt::Texts promptTexts();

Q_SIGNALS:
    void answered(const TouchIdResult &result);

private:
    void finish(LAContext *context, bool success, const QString &reason);

    LAContextFactory *m_contexts;
    std::vector<std::unique_ptr<LAContext>> m_inFlight;
};
