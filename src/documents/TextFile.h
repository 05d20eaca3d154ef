#pragma once

#include "platform/core/Expected.h"

#include <QString>
#include <QtGlobal>

// Whole-file text reading and atomic UTF-8 writing for the note.
class TextFile {
public:
    // Largest file read into the note. The note lives in one editor and is
    // rewritten whole into the preference file after each edit, so it has to
    // stay small; 16 MiB is still several thousand pages of Japanese prose,
    // far beyond any note, while a stray disk image or log cannot exhaust
    // memory or stall the window.
    static constexpr qint64 maxReadSize = qint64(16) * 1024 * 1024;

    enum ErrorCode {
        Missing = 1,    // no such file, or it cannot be looked at
        NotRegularFile, // a folder, FIFO, socket or device
        TooLarge,       // more than maxReadSize bytes
        Unreadable,     // opening or reading failed
        NotText,        // bytes that are not text in any encoding TextDecoder knows
        NotWritable,    // the new content could not be stored
    };

    static inline const QString errorDomain = QStringLiteral("yumekazu.textfile");

    // The whole text of a regular file in any encoding TextDecoder
    // recognises; a byte-order mark is not part of the text. Line ends and
    // every other character are kept as they are, so rich text comes back as
    // its source.
    static Expected<QString> read(const QString &path);

    // Replaces the file at path with exactly the UTF-8 bytes of text (no
    // byte-order mark, line ends untouched) through AtomicFile, so on failure
    // an existing file keeps its old content; it keeps its mode too, and one
    // this user may not write is refused.
    static Expected<void> writeAtomically(const QString &path, const QString &text);

private:
    static Expected<QString> decode(const QByteArray &bytes);
};
