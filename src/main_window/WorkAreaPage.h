#pragma once

#include <QDateTime>
#include <QWidget>

#include <optional>

class NoteEditor;
class PreferenceStore;
class QAbstractItemModel;
class QCalendarWidget;
class QLabel;
class QTableView;
class QTimeEdit;

// What lies behind both gates: the date picker, the sample table, the note
// and the row of actions.
class WorkAreaPage : public QWidget {
    Q_OBJECT

public:
    WorkAreaPage(PreferenceStore *store, QAbstractItemModel *table, QWidget *parent = nullptr);

    void showState(const QDateTime &dateTime, bool tableShown, const std::optional<QString> &result);
    // The keyboard starts at the top: the first control Tab stops at.
    void focusFirst();
    // The result line is not a focus stop: it is said as it changes.
    void announceResult();
    void reportModelMissing();

Q_SIGNALS:
    // The date or the time (to the minute) changed, the other kept.
    void dateTimeChosen(const QDateTime &dateTime);
    void saveClicked();
    void threadClicked();
    void openClicked();
    void changeClicked();
    void predictClicked();
    void reloadClicked();
    // For a screen reader, without moving the focus.
    void announcement(const QString &text);

private:
    QDateTime m_shown;
    QCalendarWidget *m_calendar;
    QTimeEdit *m_time;
    QTableView *m_table;
    NoteEditor *m_editor;
    QLabel *m_resultLine;
};
