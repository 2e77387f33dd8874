#pragma once

#include <QFile>
#include <QString>

#include <memory>
#include <optional>

// A copy of the report under a fixed name in a folder that someone else may
// have prepared (the desktop or home folder of a user, for a run as root): it
// is never written through a link. The folder is opened without following a
// link, the report goes to a new file created there exclusively, and that file
// takes the name only where nothing or a regular file has it; a link or
// anything else in the way is left alone.
class FolderCopy
{
public:
    // Opens the folder and a new file in it; see isOpen().
    FolderCopy(const QString &folder, const QString &name);
    FolderCopy(const FolderCopy &) = delete;
    FolderCopy &operator=(const FolderCopy &) = delete;
    // Removes the new file unless it took its name.
    ~FolderCopy();

    bool isOpen() const { return file.isOpen(); }
    QIODevice *device() { return &file; }

    // The complete copy takes its name, replacing a regular file of that name
    // with the same permissions, unless that file was written at runStart
    // (seconds since the epoch) or later: another run's copy is kept, and this
    // one goes under a fresh name beside it ("name-2.txt", ...). The path it
    // now has; nothing when it could not (errorString() says why).
    std::optional<QString> finish(qint64 runStart);
    const QString &errorString() const { return error; }
    // What failed was a link or another kind of file at the folder's or the
    // copy's path.
    bool wasInTheWay() const { return inTheWay; }

private:
    bool failed(const QString &why);
    bool leaveAlone(const QString &path, unsigned mode);
    bool putInPlace(qint64 runStart);
    int takeName(const QString &taken, bool replacing);

    QString folderPath;
    QString name;
    // The name it took.
    QString finalName;
    int folder = -1;
    QFile file;
    QByteArray temporaryName;
    QString error;
    bool inTheWay = false;
};
