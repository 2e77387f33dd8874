#include "foldercopy.h"

#include <QDir>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Another run holds the lock only for a moment; whoever holds it longer is
// not waited for.
void lockBriefly(int folder)
{
    for (int tries = 0; tries < 200 && ::flock(folder, LOCK_EX | LOCK_NB) != 0; ++tries) {
        if (errno != EWOULDBLOCK)
            return;
        ::usleep(10000);
    }
}

} // namespace

FolderCopy::FolderCopy(const QString &folderPath, const QString &name)
    : folderPath(QDir::cleanPath(folderPath)), name(name)
{
    const QByteArray encodedFolder = QFile::encodeName(this->folderPath);
    folder = ::open(encodedFolder.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder < 0) {
        struct stat info = {};
        if (errno != ENOENT && ::lstat(encodedFolder.constData(), &info) == 0 &&
            !S_ISDIR(info.st_mode))
            leaveAlone(this->folderPath, info.st_mode);
        else
            failed(systemError());
        return;
    }
    // A name nobody can know in advance, created exclusively: nothing planted
    // there is ever opened.
    int descriptor = -1;
    for (int tries = 0; descriptor < 0 && tries < 16; ++tries) {
        temporaryName = QFile::encodeName(name) + '.' +
                        QByteArray::number(QRandomGenerator::system()->generate64(), 36);
        descriptor = ::openat(folder, temporaryName.constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (descriptor < 0 && errno != EEXIST)
            break;
    }
    if (descriptor < 0) {
        temporaryName.clear();
        failed(systemError());
        return;
    }
    file.open(descriptor, QIODevice::WriteOnly | QIODevice::Unbuffered,
              QFileDevice::AutoCloseHandle);
}

FolderCopy::~FolderCopy()
{
    file.close();
    if (folder >= 0 && !temporaryName.isEmpty())
        ::unlinkat(folder, temporaryName.constData(), 0);
    if (folder >= 0)
        ::close(folder);
}

std::optional<QString> FolderCopy::finish()
{
    if (!isOpen() || !putInPlace())
        return std::nullopt;
    return folderPath + u'/' + name;
}

bool FolderCopy::failed(const QString &why)
{
    error = why;
    return false;
}

bool FolderCopy::leaveAlone(const QString &path, unsigned mode)
{
    inTheWay = true;
    return failed(S_ISLNK(mode) ? QStringLiteral("%1 is a link, left alone").arg(path)
                                : QStringLiteral("%1 is not a regular file, left alone").arg(path));
}

bool FolderCopy::putInPlace()
{
    // Other runs of this program wait while one looks at the name and takes it.
    lockBriefly(folder);
    const QByteArray target = QFile::encodeName(name);
    const QString path = folderPath + u'/' + name;
    struct stat existing = {};
    const bool exists = ::fstatat(folder, target.constData(), &existing, AT_SYMLINK_NOFOLLOW) == 0;
    if (exists && !S_ISREG(existing.st_mode))
        return leaveAlone(path, existing.st_mode);
    // The replacement keeps what the user allowed for the old file.
    if (exists && ::fchmod(file.handle(), existing.st_mode & 07777) != 0)
        return failed(systemError());
    file.close();
    if (file.error() != QFileDevice::NoError)
        return failed(file.errorString());
    // rename() replaces the entry itself, never what a link there points to;
    // where there was nothing, nothing that came since is replaced.
    const int noReplace = exists ? 0 : RENAME_NOREPLACE;
    int renamed = ::renameat2(folder, temporaryName.constData(), folder, target.constData(),
                              static_cast<unsigned>(noReplace));
    if (renamed != 0 && errno == EINVAL && !exists) // a file system without the flag
        renamed = ::renameat(folder, temporaryName.constData(), folder, target.constData());
    if (renamed != 0)
        return failed(systemError());
    temporaryName.clear();
    return true;
}
