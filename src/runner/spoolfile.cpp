#include "spoolfile.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

SpoolFile::~SpoolFile()
{
    if (descriptor >= 0)
        ::close(descriptor);
}

bool SpoolFile::open(QString &error)
{
    Q_ASSERT(descriptor < 0);
    const QByteArray folder = QFile::encodeName(QDir::tempPath());
#ifdef O_TMPFILE
    // A file that never has a name: nothing to remove, ever.
    descriptor = ::open(folder.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (descriptor >= 0)
        return true;
#endif
    // Where the file system has no unnamed files, the name goes at once.
    QByteArray name = folder + "/veltrane-output-XXXXXX";
    descriptor = ::mkostemp(name.data(), O_CLOEXEC);
    if (descriptor >= 0) {
        ::unlink(name.constData());
        return true;
    }
    error = QStringLiteral("could not make a file in %1: %2")
                .arg(QDir::tempPath(), QString::fromLocal8Bit(std::strerror(errno)));
    return false;
}

qsizetype SpoolFile::append(QByteArrayView bytes, QString &error)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(descriptor, bytes.data() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = QStringLiteral("could not write to a file in %1: %2")
                        .arg(QDir::tempPath(),
                             QString::fromLocal8Bit(std::strerror(n < 0 ? errno : ENOSPC)));
            break;
        }
        done += n;
    }
    written += done;
    return done;
}

bool SpoolFile::read(qint64 offset, qsizetype length, QByteArray &buffer) const
{
    buffer.resize(length);
    qsizetype done = 0;
    while (done < length) {
        const ssize_t n =
            ::pread(descriptor, buffer.data() + done, size_t(length - done), offset + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}
