#include "main_window/NoteEditor.h"

#include "main_window/PreferenceKeys.h"
#include "platform/core/PreferenceStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QInputMethod>
#include <QInputMethodEvent>
#include <QRegularExpression>
#include <QPointer>
#include <QScopedValueRollback>
#include <QSignalBlocker>
#include <QTextCursor>
#include <QTimer>

#include <limits>

using namespace Qt::StringLiterals;

namespace {

// Replace [start, end) with text.
struct Splice {
    qsizetype start = 0;
    qsizetype end = 0;
    QString text;
};

// The smallest replacement turning from into to, with at most maxPrefix
// characters kept at the start and maxSuffix at the end.
Splice difference(const QString &from, const QString &to, qsizetype maxPrefix = std::numeric_limits<qsizetype>::max(),
                  qsizetype maxSuffix = std::numeric_limits<qsizetype>::max())
{
    qsizetype prefix = 0;
    maxPrefix = std::min({maxPrefix, from.size(), to.size()});
    while (prefix < maxPrefix && from[prefix] == to[prefix])
        ++prefix;
    qsizetype suffix = 0;
    while (suffix < maxSuffix && suffix < from.size() - prefix && suffix < to.size() - prefix
           && from[from.size() - 1 - suffix] == to[to.size() - 1 - suffix])
        ++suffix;
    return {prefix, from.size() - suffix, to.mid(prefix, to.size() - prefix - suffix)};
}

QString applied(const QString &text, const Splice &splice)
{
    return text.left(splice.start) + splice.text + text.mid(splice.end);
}

// The position in note of a position in its display form, where a CRLF pair
// is one character: never between the CR and the LF.
qsizetype notePosition(const QString &note, qsizetype displayPosition)
{
    qsizetype i = 0;
    for (qsizetype d = 0; d < displayPosition && i < note.size(); ++d)
        i += note[i] == u'\r' && i + 1 < note.size() && note[i + 1] == u'\n' ? 2 : 1;
    return i;
}

QString lineEndStyle(const QString &note)
{
    const qsizetype at = note.indexOf(QRegularExpression(u"[\r\n]"_s));
    if (at < 0 || note[at] == u'\n')
        return u"\n"_s;
    return at + 1 < note.size() && note[at + 1] == u'\n' ? u"\r\n"_s : u"\r"_s;
}

// Moves local (an edit of base) past remote (another edit of base), so both
// apply to remote's result. Where they overlap, remote's text stays whole and
// what the user typed follows it.
Splice rebase(Splice local, const Splice &remote)
{
    const qsizetype shift = remote.text.size() - (remote.end - remote.start);
    if (local.end <= remote.start)
        return local;
    if (local.start >= remote.end) {
        local.start += shift;
        local.end += shift;
        return local;
    }
    const qsizetype after = remote.start + remote.text.size();
    return {after, after, local.text};
}

// Qt's ibus plugin commits an open composition itself when the cursor or the
// focus moves, and the input method then commits the same text once more,
// into whichever widget has the focus by then. That repeat is dropped.
class RepeatedCommitFilter : public QObject {
public:
    static void expect(const QString &text)
    {
        static QPointer<RepeatedCommitFilter> filter;
        if (!filter) {
            filter = new RepeatedCommitFilter(QCoreApplication::instance());
            QCoreApplication::instance()->installEventFilter(filter);
        }
        filter->m_text = text;
        filter->m_expiry.start(1000);
    }

private:
    explicit RepeatedCommitFilter(QObject *parent) : QObject(parent)
    {
        m_expiry.setSingleShot(true);
        connect(&m_expiry, &QTimer::timeout, this, [this] { m_text.clear(); });
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::InputMethod || m_text.isEmpty())
            return false;
        const auto *ime = static_cast<QInputMethodEvent *>(event);
        // The plugin's own commit reaches the editor still composing the text.
        const auto *editor = qobject_cast<NoteEditor *>(watched);
        if (ime->commitString() != m_text || !ime->preeditString().isEmpty() || (editor && editor->isComposing()))
            return false;
        m_text.clear();
        m_expiry.stop();
        return true;
    }

    QString m_text;
    QTimer m_expiry;
};

// The last composition any editor committed, and when: the plugin's commit
// may come just before the focus or mouse event that caused it.
struct {
    QString text;
    QElapsedTimer when;
} lastCommit;

} // namespace

NoteEditor::NoteEditor(PreferenceStore *store, QWidget *parent)
    : QPlainTextEdit(parent), m_store(store), m_note(store->string(PreferenceKeys::stringKey, QString()))
{
    setPlainText(displayForm(m_note));
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_inInputMethodEvent && !isComposing())
            storeUserEdit();
    });
    connect(m_store, &PreferenceStore::valueChanged, this, &NoteEditor::onStoreChanged);
}

QString NoteEditor::displayForm(const QString &note)
{
    QString shown = note;
    shown.replace(u"\r\n"_s, u"\n"_s);
    for (QChar &c : shown) {
        if (c == u'\r' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            c = u'\n';
        else if (c == QChar::Nbsp)
            c = u' ';
    }
    return shown;
}

void NoteEditor::expectRepeatedCommit(QEvent::Type type) const
{
    if (type != QEvent::FocusOut && type != QEvent::MouseButtonPress)
        return;
    if (isComposing())
        RepeatedCommitFilter::expect(m_preedit);
    else if (lastCommit.when.isValid() && lastCommit.when.elapsed() < 100)
        RepeatedCommitFilter::expect(lastCommit.text);
}

bool NoteEditor::event(QEvent *event)
{
    expectRepeatedCommit(event->type());
    return QPlainTextEdit::event(event);
}

// Clicks arrive on the viewport.
bool NoteEditor::viewportEvent(QEvent *event)
{
    expectRepeatedCommit(event->type());
    if (event->type() == QEvent::MouseButtonPress && isComposing()) {
        // A click ends the composition. Qt asks the input method to commit it
        // and drops whatever is still composing after that; fcitx5 commits
        // nothing there, so what was typed is committed here instead.
        QGuiApplication::inputMethod()->commit();
        if (isComposing()) {
            QInputMethodEvent commit;
            commit.setCommitString(m_preedit);
            inputMethodEvent(&commit);
            QGuiApplication::inputMethod()->reset();
        }
    }
    return QPlainTextEdit::viewportEvent(event);
}

void NoteEditor::inputMethodEvent(QInputMethodEvent *event)
{
    // The composing state changes only here and in step with the text, so a
    // commit followed at once by a new composition is never taken for the
    // end of composing.
    {
        const QScopedValueRollback inEvent(m_inInputMethodEvent, true);
        QPlainTextEdit::inputMethodEvent(event);
    }
    const bool wasComposing = isComposing();
    m_preedit = event->preeditString();
    if (wasComposing && !event->commitString().isEmpty()) {
        lastCommit.text = event->commitString();
        lastCommit.when.start();
    }
    if (!isComposing() && (wasComposing || !event->commitString().isEmpty() || event->replacementLength() != 0))
        storeUserEdit();
}

void NoteEditor::onStoreChanged(const QString &key)
{
    // While composing, the change waits: it is merged when the composition ends.
    if (key != PreferenceKeys::stringKey || isComposing())
        return;
    showNote(m_store->string(PreferenceKeys::stringKey, QString()));
}

void NoteEditor::storeUserEdit()
{
    // An edit ends at the cursor: typing next to an equal character (a line
    // break after a line break) is not taken for typing on its other side.
    const QString shown = displayForm(m_note), edited = toPlainText();
    const qsizetype cursor = textCursor().position();
    Splice edit = difference(shown, edited, std::max<qsizetype>(0, cursor - std::max<qsizetype>(0, edited.size() - shown.size())),
                             std::max<qsizetype>(0, edited.size() - cursor));
    edit.start = notePosition(m_note, edit.start);
    edit.end = notePosition(m_note, edit.end);
    edit.text.replace(u'\n', lineEndStyle(m_note));

    // Another window or process may have changed the note since it was shown.
    const QString stored = m_store->string(PreferenceKeys::stringKey, QString());
    const QString note = stored == m_note ? applied(m_note, edit)
                                          : applied(stored, rebase(edit, difference(m_note, stored)));
    // The store tells every editor, this one too, which then shows the note;
    // an unchanged note is not stored again.
    m_store->setString(PreferenceKeys::stringKey, note);
    showNote(note);
}

void NoteEditor::showNote(const QString &note)
{
    m_note = note;
    const QString current = toPlainText();
    const Splice change = difference(current, displayForm(note));
    if (change.start == change.end && change.text.isEmpty())
        return;
    // Only the changed span is replaced, so the cursor and the scroll position
    // of someone reading or typing stay put.
    const QSignalBlocker blocker(this);
    QTextCursor cursor(document());
    cursor.setPosition(int(change.start));
    cursor.setPosition(int(change.end), QTextCursor::KeepAnchor);
    cursor.insertText(change.text);
}
