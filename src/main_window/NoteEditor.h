#pragma once

#include <QPlainTextEdit>
#include <QString>

class PreferenceStore;
class QInputMethodEvent;

// The note editor: shows the note kept in the preference store, stores each
// edit the user makes, and follows changes that other windows or processes
// make to the note, without ever changing the note by itself.
//
// The text widget shows CR and CRLF line ends as plain line breaks, a
// no-break space as a space and U+2028/U+2029 as line breaks. Only the spans
// the user edits are written back; the rest of the note keeps its characters
// and line ends byte for byte, and a line break the user types takes the
// note's own line-end style (that of its first line end).
//
// An input-method composition belongs to the input method until it ends:
// nothing is stored meanwhile, and changes from elsewhere wait and are then
// merged with what was typed, so neither side is lost.
class NoteEditor : public QPlainTextEdit {
    Q_OBJECT

public:
    explicit NoteEditor(PreferenceStore *store, QWidget *parent = nullptr);

    [[nodiscard]] bool isComposing() const { return !m_preedit.isEmpty(); }

    // How the text widget shows note.
    [[nodiscard]] static QString displayForm(const QString &note);

protected:
    bool event(QEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;

private:
    // Qt's ibus plugin commits an open composition itself when the focus or
    // the cursor moves; the input method then commits it once more.
    void expectRepeatedCommit(QEvent::Type type) const;
    void onStoreChanged(const QString &key);
    void storeUserEdit();
    void showNote(const QString &note);

    PreferenceStore *m_store;
    // The note as the editor last stored or showed it: the base that the
    // user's edits apply to.
    QString m_note;
    QString m_preedit;
    bool m_inInputMethodEvent = false;
};
