#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QString>

// The store's file format: the INI dialect QSettings reads and writes, so files
// written by earlier versions load unchanged and theirs can read ours. Values
// are plain strings; keys with a '/' live in a section named by their first part.
class PreferenceFile {
public:
    struct Contents {
        QHash<QString, QString> values;
        // False when something had to be left out or cut: a line that is not
        // UTF-8 or has no '=', keys under a broken section header, a last line
        // cut short.
        bool whole = true;
    };

    // Every key that parses, even when others do not.
    static Contents parse(QByteArrayView bytes);
    static QByteArray serialize(const QHash<QString, QString> &values);
};
