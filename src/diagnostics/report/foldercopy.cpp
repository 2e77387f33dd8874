#include "foldercopy.h"

#include <QDir>
#include <QFileInfo>
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

std::optional<QString> FolderCopy::finish(qint64 runStart)
{
    if (!isOpen() || !putInPlace(runStart))
        return std::nullopt;
    return folderPath + u'/' + finalName;
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

bool FolderCopy::putInPlace(qint64 runStart)
{
    // Other runs of this program wait while one looks at the name and takes it.
    lockBriefly(folder);
    const QString path = folderPath + u'/' + name;
    struct stat existing = {};
    const bool exists =
        ::fstatat(folder, QFile::encodeName(name).constData(), &existing, AT_SYMLINK_NOFOLLOW) == 0;
    if (exists && !S_ISREG(existing.st_mode))
        return leaveAlone(path, existing.st_mode);
    // Whole seconds: a file system may keep no finer times.
    const bool anotherRuns = exists && existing.st_mtim.tv_sec >= runStart;
    // The replacement keeps what the user allowed for the old file.
    if (exists && !anotherRuns && ::fchmod(file.handle(), existing.st_mode & 07777) != 0)
        return failed(systemError());
    file.close();
    if (file.error() != QFileDevice::NoError)
        return failed(file.errorString());
    int why = anotherRuns ? EEXIST : takeName(name, exists);
    const QFileInfo named(name);
    for (int number = 2; why == EEXIST && number < 1000; ++number)
        why = takeName(QStringLiteral("%1-%2.%3")
                           .arg(named.completeBaseName())
                           .arg(number)
                           .arg(named.suffix()),
                       false);
    if (why != 0)
        return failed(QString::fromLocal8Bit(std::strerror(why)));
    return true;
}

// rename() replaces the entry itself, never what a link there points to;
// unless replacing, nothing that came in the meantime is replaced. 0 or why
// not, as an errno.
int FolderCopy::takeName(const QString &taken, bool replacing)
{
    const QByteArray target = QFile::encodeName(taken);
    const char *from = temporaryName.constData();
    int done = replacing ? ::renameat(folder, from, folder, target.constData())
                         : ::renameat2(folder, from, folder, target.constData(), RENAME_NOREPLACE);
    // A file system without the flag: a new hard link is as exclusive.
    if (done != 0 && !replacing && errno == EINVAL) {
        done = ::linkat(folder, from, folder, target.constData(), 0);
        if (done == 0)
            ::unlinkat(folder, from, 0);
    }
    if (done != 0)
        return errno;
    temporaryName.clear();
    finalName = taken;
    return 0;
}
