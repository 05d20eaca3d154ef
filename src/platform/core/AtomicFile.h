#pragma once

#include "platform/core/Expected.h"

#include <QByteArrayView>
#include <QString>

#include <optional>

#include <sys/types.h>

// Replaces the whole content of a file so that a reader, or a crash, sees
// either the old bytes or the new ones: the new bytes go to a temporary file
// beside the target, reach the disk, and then take its name in one step. A
// symbolic link is written through: its target is replaced and the link stays.
class AtomicFile {
public:
    enum class Method {
        Replaced, // the usual way: a new file took the old one's place
        InPlace,  // the disk had no room for two copies: rewritten over the old one
    };

    struct Options {
        // The new file's permission bits. None: those of the file replaced,
        // else what any new file gets here (0666 less the umask, or the
        // folder's default ACL); a file this user may not write is then left
        // alone (EACCES), as its mode asks.
        std::optional<mode_t> mode;
        // When the disk has no room for the old and the new copy side by side,
        // write the new bytes over the old file instead, once the room they
        // need has been reserved, so a failure still leaves the old bytes
        // whole. Only a crash during that one write can then mix the two.
        bool inPlaceWhenFull = false;
    };

    // The method used, or the errno of the step that failed; on failure the
    // target keeps its earlier content and no temporary file is left.
    static Expected<Method, int> write(const QString &path, QByteArrayView bytes, Options options);
    static Expected<Method, int> write(const QString &path, QByteArrayView bytes) { return write(path, bytes, Options{}); }

    // The file a write to path replaces: the end of a chain of links, else
    // path itself.
    static QString target(const QString &path);
    static bool isSpaceError(int error);
};
