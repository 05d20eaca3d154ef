#pragma once

#include "platform/core/PreferenceStore.h"

#include <QLabel>

// A line at the top of a main window, shown while the preference store
// cannot write: what failed, where, and what to do. It goes away by itself
// once a write succeeds again.
class StorageWarning : public QLabel {
    Q_OBJECT

public:
    explicit StorageWarning(const PreferenceStore &store, QWidget *parent = nullptr);

    // What the user is told about failure.
    [[nodiscard]] static QString message(const PreferenceStore::WriteFailure &failure);

private:
    void refresh();

    const PreferenceStore &m_store;
};
