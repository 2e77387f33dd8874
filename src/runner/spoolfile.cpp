#include "spoolfile.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

static QString failure(const char *doing)
{
    return QStringLiteral("could not %1 a file in %2: %3")
        .arg(QLatin1StringView(doing), QDir::tempPath(),
             QString::fromLocal8Bit(std::strerror(errno)));
}

void SpoolWarning::tell(const QString &why)
{
    if (!told)
        qWarning("keeping %s in memory: %s", what, qUtf8Printable(why));
    told = true;
}

SpoolFile::~SpoolFile()
{
    if (descriptor >= 0)
        ::close(descriptor);
}

void SpoolFile::append(QByteArrayView bytes)
{
    while (fileUsable && descriptor >= 0 && !bytes.isEmpty()) {
        const ssize_t n = ::write(descriptor, bytes.data(), size_t(bytes.size()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            keepInMemory(failure("write to"));
            break;
        }
        inFile += n;
        bytes = bytes.sliced(n);
    }
    memory.append(bytes);
}

void SpoolFile::spill()
{
    if (!fileUsable || descriptor >= 0)
        return;
    if (!open()) {
        keepInMemory(failure("make"));
        return;
    }
    append(std::exchange(memory, QByteArray()));
}

bool SpoolFile::open()
{
    descriptor = openSpoolDescriptor();
    return descriptor >= 0;
}

int openSpoolDescriptor()
{
    const QByteArray folder = QFile::encodeName(QDir::tempPath());
#ifdef O_TMPFILE
    // A file that never has a name: nothing to remove, ever.
    const int unnamed = ::open(folder.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (unnamed >= 0)
        return unnamed;
#endif
    // Where the file system has no unnamed files, the name goes at once.
    QByteArray name = folder + "/veltrane-output-XXXXXX";
    const int named = ::mkostemp(name.data(), O_CLOEXEC);
    if (named >= 0)
        ::unlink(name.constData());
    return named;
}

QString spoolFailure(const char *doing)
{
    return failure(doing);
}

void SpoolFile::keepInMemory(const QString &why)
{
    fileUsable = false;
    warning.tell(why);
}

bool SpoolFile::read(qint64 offset, qsizetype length, QByteArray &buffer) const
{
    buffer.resize(length);
    qsizetype done = 0;
    while (offset + done < inFile && done < length) {
        const ssize_t n =
            ::pread(descriptor, buffer.data() + done,
                    size_t(qMin<qint64>(length - done, inFile - offset - done)), offset + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    std::memcpy(buffer.data() + done, memory.constData() + (offset + done - inFile),
                size_t(length - done));
    return true;
}
