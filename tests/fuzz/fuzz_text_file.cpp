// The open action's reader on arbitrary file contents, through its public
// entry point: the bytes go to an in-memory file, read back by path.
#include "documents/TextFile.h"

#include <cstdlib>

#include <sys/mman.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const int fd = memfd_create("fuzz-input", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != ssize_t(size))
        std::abort();
    (void)TextFile::read(QStringLiteral("/proc/self/fd/") + QString::number(fd));
    return 0;
}
