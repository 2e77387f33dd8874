#include "reportfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

ReportFile ReportFile::atPath(const QString &path)
{
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

ReportFile ReportFile::freshIn(const QString &folder)
{
    ReportFile report;
    QByteArray name = QFile::encodeName(QDir(folder).filePath("diagnostic_results-XXXXXX.txt"));
    // O_EXCL: a name that exists, a planted link included, is never opened.
    const int descriptor = ::mkostemps(name.data(), 4, O_CLOEXEC);
    report.filePath = QFile::decodeName(name);
    auto file = std::make_unique<QFile>(report.filePath);
    if (descriptor < 0)
        report.error = QString::fromLocal8Bit(std::strerror(errno));
    else
        file->open(descriptor, QIODevice::WriteOnly | QIODevice::Unbuffered,
                   QFileDevice::AutoCloseHandle);
    report.file = std::move(file);
    return report;
}

bool ReportFile::finish()
{
    if (auto *saveFile = qobject_cast<QSaveFile *>(file.get()))
        return saveFile->commit();
    file->close();
    return file->error() == QFileDevice::NoError;
}
