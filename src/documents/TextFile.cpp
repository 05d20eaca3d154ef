#include "documents/TextFile.h"

#include "documents/TextDecoder.h"
#include "platform/core/AtomicFile.h"
#include "platform/core/SystemError.h"

#include <QCoreApplication>
#include <QFile>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

Unexpected<PlatformError> failure(TextFile::ErrorCode code, const char *text, const QString &detail = {})
{
    QString description = QCoreApplication::translate("TextFile", text);
    if (!detail.isEmpty())
        description += u" ("_s + detail + u')';
    return unexpected(PlatformError{TextFile::errorDomain, code, description});
}

} // namespace

Expected<QString> TextFile::read(const QString &path)
{
    const QByteArray nativePath = QFile::encodeName(path);

    // Decided before opening: opening a FIFO for reading would wait for a
    // writer, and a device may never end.
    struct stat before {};
    if (path.isEmpty() || ::stat(nativePath.constData(), &before) != 0)
        return failure(Missing, QT_TRANSLATE_NOOP("TextFile", "ファイルが見つかりません。"),
                       path.isEmpty() ? QString() : systemErrorText(errno));
    if (!S_ISREG(before.st_mode))
        return failure(NotRegularFile, QT_TRANSLATE_NOOP("TextFile", "通常のファイルではありません。"));
    if (before.st_size > maxReadSize)
        return failure(TooLarge, QT_TRANSLATE_NOOP("TextFile", "ファイルが大きすぎます。"));

    // O_NONBLOCK in case the path was swapped for a FIFO since the check.
    const int fd = ::open(nativePath.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return failure(Unreadable, QT_TRANSLATE_NOOP("TextFile", "ファイルを開けません。"), systemErrorText(errno));
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return failure(Unreadable, QT_TRANSLATE_NOOP("TextFile", "ファイルを開けません。"), file.errorString());
    }
    struct stat opened {};
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode))
        return failure(NotRegularFile, QT_TRANSLATE_NOOP("TextFile", "通常のファイルではありません。"));
    if (opened.st_size > maxReadSize)
        return failure(TooLarge, QT_TRANSLATE_NOOP("TextFile", "ファイルが大きすぎます。"));

    // The file may still grow while it is read: stop one byte past the limit.
    QByteArray bytes;
    bytes.reserve(qsizetype(opened.st_size));
    char chunk[64 * 1024];
    for (;;) {
        const qint64 count = file.read(chunk, sizeof chunk);
        if (count < 0)
            return failure(Unreadable, QT_TRANSLATE_NOOP("TextFile", "ファイルを読み込めません。"), file.errorString());
        if (count == 0)
            break;
        bytes.append(chunk, qsizetype(count));
        if (bytes.size() > maxReadSize)
            return failure(TooLarge, QT_TRANSLATE_NOOP("TextFile", "ファイルが大きすぎます。"));
    }
    return decode(bytes);
}

Expected<QString> TextFile::decode(const QByteArray &bytes)
{
    std::optional<TextDecoder::Decoded> decoded = TextDecoder::decode(bytes);
    if (!decoded)
        return failure(NotText, QT_TRANSLATE_NOOP("TextFile", "テキストとして読めない内容です。"));
    return std::move(decoded->text);
}

Expected<void> TextFile::writeAtomically(const QString &path, const QString &text)
{
    // A note saved over a file keeps that file's mode, and a new one gets what
    // any new file gets: it never turns private, nor readable, unasked.
    const Expected<AtomicFile::Method, int> written = AtomicFile::write(path, text.toUtf8());
    if (!written)
        return failure(NotWritable, QT_TRANSLATE_NOOP("TextFile", "ファイルを保存できません。"), systemErrorText(written.error()));
    return {};
}
