#pragma once

#include <QWidget>

class PreferenceStore;
class QCheckBox;

// The preferences window: three switches, each stored as 1 (on) or 0 (off).
class SettingsView : public QWidget {
    Q_OBJECT

public:
    explicit SettingsView(PreferenceStore &store, QWidget *parent = nullptr);

private:
    void refresh();

    PreferenceStore &m_store;
    QCheckBox *m_toggles[3] = {};
};
