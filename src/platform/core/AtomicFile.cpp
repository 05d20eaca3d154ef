#include "platform/core/AtomicFile.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// An open descriptor, closed with its owner.
class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    [[nodiscard]] int get() const { return m_fd; }
    // Closing can report a failed write-back (NFS): it is part of the write.
    int close() { return ::close(std::exchange(m_fd, -1)) == 0 ? 0 : errno; }

private:
    int m_fd;
};

int writeAll(int fd, QByteArrayView bytes, off_t offset)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t count = ::pwrite(fd, bytes.data() + done, size_t(bytes.size() - done), offset + done);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return count < 0 ? errno : ENOSPC;
        done += count;
    }
    return 0;
}

Expected<AtomicFile::Method, int> failed(int error)
{
    return unexpected(error);
}

// A new file beside target, named as mkostemp would but created with mode,
// so that the umask and a default ACL apply to it as to any new file.
int createBeside(const QByteArray &target, mode_t mode, QByteArray &name)
{
    static constexpr char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = target + '.';
        for (int i = 0; i < 6; ++i)
            name += letters[QRandomGenerator::global()->bounded(int(sizeof letters) - 1)];
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

Expected<AtomicFile::Method, int> writeInPlace(const QByteArray &target, QByteArrayView bytes, std::optional<mode_t> mode)
{
    Descriptor file(::open(target.constData(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    struct stat info {};
    if (file.get() < 0 || ::fstat(file.get(), &info) != 0)
        return failed(errno);
    if (!S_ISREG(info.st_mode))
        return failed(EINVAL);
    // Every block the new bytes need is taken before the first old byte goes.
    if (bytes.size() > info.st_size)
        if (const int error = ::posix_fallocate(file.get(), 0, off_t(bytes.size())); error != 0)
            return failed(error);
    if (const int error = writeAll(file.get(), bytes, 0); error != 0)
        return failed(error);
    if (::ftruncate(file.get(), off_t(bytes.size())) != 0 || (mode && ::fchmod(file.get(), *mode) != 0)
        || ::fdatasync(file.get()) != 0)
        return failed(errno);
    if (const int error = file.close(); error != 0)
        return failed(error);
    return AtomicFile::Method::InPlace;
}

} // namespace

QString AtomicFile::target(const QString &path)
{
    // A chain of links is followed to its end; one that loops is replaced.
    QFileInfo info(path);
    for (int depth = 0; info.isSymLink() && depth < 40; ++depth)
        info.setFile(info.symLinkTarget());
    return info.isSymLink() ? path : info.filePath();
}

bool AtomicFile::isSpaceError(int error)
{
    return error == ENOSPC || error == EDQUOT;
}

Expected<AtomicFile::Method, int> AtomicFile::write(const QString &path, QByteArrayView bytes, Options options)
{
    const QByteArray finalName = QFile::encodeName(target(path));
    std::optional<mode_t> mode = options.mode;
    struct stat old {};
    if (!mode && ::stat(finalName.constData(), &old) == 0) {
        if (::faccessat(AT_FDCWD, finalName.constData(), W_OK, AT_EACCESS) != 0)
            return failed(errno);
        mode = old.st_mode & 0777;
    }
    QByteArray temporary;
    // Private until the mode asked for is set; 0666 when the new file's own.
    Descriptor file(createBeside(finalName, mode ? 0600 : 0666, temporary));
    int error = file.get() < 0 ? errno : 0;
    if (!error) {
        // Exactly as asked, whatever the umask says.
        if (mode && ::fchmod(file.get(), *mode) != 0)
            error = errno;
        if (!error)
            error = writeAll(file.get(), bytes, 0);
        if (!error && ::fdatasync(file.get()) != 0)
            error = errno;
        if (const int closed = file.close(); !error)
            error = closed;
        if (!error && ::rename(temporary.constData(), finalName.constData()) != 0)
            error = errno;
        if (error)
            ::unlink(temporary.constData());
    }
    if (!error)
        return Method::Replaced;
    if (options.inPlaceWhenFull && isSpaceError(error) && ::access(finalName.constData(), F_OK) == 0)
        return writeInPlace(finalName, bytes, mode);
    return failed(error);
}
