#include "reportfile.h"

#include "utf8escape.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

ReportFile ReportFile::atPath(const QString &path)
{
    if (const QByteArray bytes = fileNameToBytes(path); bytes != QFile::encodeName(path))
        return atBytes(path, bytes);
    ReportFile report;
    report.filePath = path;
    const QFileInfo info(path);
    // Replacing a device or a FIFO by a regular file would break it for the
    // whole system (as root, /dev/null) and lose the report for its reader.
    if (info.exists() && !info.isFile() && !info.isDir()) {
        auto file = std::make_unique<QFile>(path);
        file->open(QIODevice::WriteOnly | QIODevice::ExistingOnly | QIODevice::Unbuffered);
        report.file = std::move(file);
    } else {
        report.file = std::make_unique<QSaveFile>(path);
        report.file->open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }
    return report;
}

ReportFile ReportFile::atBytes(const QString &path, const QByteArray &bytes)
{
    ReportFile report;
    report.filePath = path;
    auto file = std::make_unique<QFile>();
    struct stat info = {};
    const bool exists = ::stat(bytes.constData(), &info) == 0;
    int descriptor = -1;
    if (exists && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode)) {
        descriptor = ::open(bytes.constData(), O_WRONLY | O_CLOEXEC);
    } else {
        // As QSaveFile does: the file that a link leads to is replaced.
        char resolved[PATH_MAX];
        report.targetBytes = exists && ::realpath(bytes.constData(), resolved) ? resolved : bytes;
        QByteArray temporary = report.targetBytes + ".XXXXXX";
        descriptor = ::mkostemp(temporary.data(), O_CLOEXEC);
        const mode_t mask = ::umask(0);
        ::umask(mask);
        if (descriptor >= 0) {
            report.temporaryBytes = temporary;
            ::fchmod(descriptor, exists ? info.st_mode & 07777 : 0666 & ~mask);
        }
    }
    report.adopt(std::move(file), descriptor);
    return report;
}

ReportFile::~ReportFile()
{
    if (!temporaryBytes.isEmpty())
        ::unlink(temporaryBytes.constData());
}

ReportFile ReportFile::freshIn(const QString &folder)
{
    ReportFile report;
    QByteArray name = QFile::encodeName(QDir(folder).filePath("diagnostic_results-XXXXXX.txt"));
    // O_EXCL: a name that exists, a planted link included, is never opened.
    const int descriptor = ::mkostemps(name.data(), 4, O_CLOEXEC);
    report.filePath = QFile::decodeName(name);
    auto file = std::make_unique<QFile>(report.filePath);
    report.adopt(std::move(file), descriptor);
    return report;
}

bool ReportFile::finish()
{
    if (auto *saveFile = qobject_cast<QSaveFile *>(file.get()))
        return saveFile->commit();
    if (!temporaryBytes.isEmpty()) {
        file->close();
        if (file->error() != QFileDevice::NoError ||
            ::rename(temporaryBytes.constData(), targetBytes.constData()) != 0)
            return false;
        temporaryBytes.clear();
        return true;
    }
    file->close();
    return file->error() == QFileDevice::NoError;
}

void ReportFile::adopt(std::unique_ptr<QFile> file, int descriptor)
{
    if (descriptor < 0)
        error = QString::fromLocal8Bit(std::strerror(errno));
    else
        file->open(descriptor, QIODevice::WriteOnly | QIODevice::Unbuffered,
                   QFileDevice::AutoCloseHandle);
    this->file = std::move(file);
}
