#include "capturespool.h"

#include "spoolfile.h"

#include <QDir>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/statvfs.h>
#include <unistd.h>
#include <utility>

namespace {

// How often the free space is looked at, at most: no stream can then take
// more than this below the reserve.
constexpr qint64 allowanceStep = 1024 * 1024;

// Writes all of bytes at offset, or at the end when offset is negative.
bool writeAllTo(int descriptor, QByteArrayView bytes, qint64 offset)
{
    while (!bytes.isEmpty()) {
        const auto size = size_t(bytes.size());
        const ssize_t n = offset < 0 ? ::write(descriptor, bytes.data(), size)
                                     : ::pwrite(descriptor, bytes.data(), size, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        bytes = bytes.sliced(n);
        if (offset >= 0)
            offset += n;
    }
    return true;
}

bool readAllFrom(int descriptor, char *to, qsizetype length, qint64 offset)
{
    while (length > 0) {
        const ssize_t n = ::pread(descriptor, to, size_t(length), offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        to += n;
        length -= n;
        offset += n;
    }
    return true;
}

} // namespace

CaptureSpool::CaptureSpool(const CaptureLimits &limits, SpoolWarning &warning,
                           SpoolWarning &shortOfDisk)
    : limits(limits), warning(warning), shortOfDisk(shortOfDisk)
{
}

CaptureSpool::~CaptureSpool()
{
    if (descriptor >= 0)
        ::close(descriptor);
}

qint64 CaptureSpool::beforeGap() const
{
    return ring == Ring::None ? total : ringStart;
}

qint64 CaptureSpool::ringKept() const
{
    return ring == Ring::None ? 0 : std::min(ringTotal, ringCapacity);
}

void CaptureSpool::append(QByteArrayView bytes)
{
    total += bytes.size();
    if (ring == Ring::None) {
        const qint64 room = limits.head + limits.tail - (inFile + memory.size());
        const QByteArrayView inOrder = bytes.first(std::min(bytes.size(), qsizetype(room)));
        appendInOrder(inOrder);
        bytes = bytes.sliced(inOrder.size());
        if (bytes.isEmpty())
            return;
        if (ring == Ring::None)
            startRing();
    }
    appendToRing(bytes);
}

void CaptureSpool::spill()
{
    if (!fileUsable || descriptor >= 0 || ring != Ring::None)
        return;
    descriptor = openSpoolDescriptor();
    if (descriptor < 0) {
        fileFailed("make");
        return;
    }
    appendInOrder(std::exchange(memory, QByteArray()));
}

// The bytes kept in order go to the file while it takes them, else to memory.
void CaptureSpool::appendInOrder(QByteArrayView bytes)
{
    if (descriptor >= 0 && fileUsable && !bytes.isEmpty()) {
        if (!fileMayGrow(bytes.size())) {
            // What the file holds stays; from here on only the end is kept.
            memory.append(bytes);
            ring = Ring::InMemory;
            ringStart = inFile + memory.size();
            ringCapacity = limits.memoryTail;
            shortOfDisk.tell(QStringLiteral("%1 has less than %2 MiB free")
                                 .arg(QDir::tempPath())
                                 .arg(limits.diskReserve >> 20));
            return;
        }
        if (writeAllTo(descriptor, bytes, -1)) {
            inFile += bytes.size();
            return;
        }
        // How much of it went in is not known: the file is read only up to
        // what it surely holds, and all of bytes goes to memory.
        fileFailed("write to");
        ::lseek(descriptor, inFile, SEEK_SET);
    }
    memory.append(bytes);
}

// The bytes kept in order have reached head + tail: those after head become
// the ring's, full already.
void CaptureSpool::startRing()
{
    ringStart = limits.head;
    ringCapacity = limits.tail;
    ringTotal = limits.tail;
    if (descriptor >= 0 && fileUsable && memory.isEmpty()) {
        ring = Ring::InFile;
        return;
    }
    ring = Ring::InMemory;
    ringMemory.resize(limits.tail);
    if (!readInOrder(limits.head, limits.tail, ringMemory.data())) {
        ringMemory.clear();
        ringTotal = 0;
    }
    if (inFile >= limits.head) {
        inFile = limits.head;
        memory.clear();
    } else {
        memory.truncate(limits.head - inFile);
    }
}

void CaptureSpool::appendToRing(QByteArrayView bytes)
{
    // Only the last ringCapacity bytes can stay.
    if (bytes.size() > ringCapacity) {
        ringTotal += bytes.size() - ringCapacity;
        bytes = bytes.last(ringCapacity);
    }
    while (!bytes.isEmpty()) {
        if (ring == Ring::InMemory && ringMemory.size() < ringCapacity) {
            const QByteArrayView piece =
                bytes.first(std::min(bytes.size(), qsizetype(ringCapacity - ringMemory.size())));
            ringMemory.append(piece);
            ringTotal += piece.size();
            bytes = bytes.sliced(piece.size());
            continue;
        }
        const qint64 at = ringTotal % ringCapacity;
        const QByteArrayView piece =
            bytes.first(std::min(bytes.size(), qsizetype(ringCapacity - at)));
        if (ring == Ring::InMemory) {
            std::memcpy(ringMemory.data() + at, piece.data(), size_t(piece.size()));
        } else if (!writeAllTo(descriptor, piece, ringStart + at)) {
            // The file's ring is lost; memory keeps the end from here on.
            fileFailed("write to");
            ring = Ring::InMemory;
            ringCapacity = limits.memoryTail;
            ringTotal = 0;
            appendToRing(bytes);
            return;
        }
        ringTotal += piece.size();
        bytes = bytes.sliced(piece.size());
    }
}

bool CaptureSpool::fileMayGrow(qint64 bytes)
{
    if (bytes > allowance) {
        struct statvfs system = {};
        if (::fstatvfs(descriptor, &system) != 0)
            return true; // nothing known, nothing held back
        const qint64 free = qint64(system.f_bavail) * qint64(system.f_frsize);
        allowance = std::min(free - limits.diskReserve, allowanceStep);
        if (bytes > allowance)
            return false;
    }
    allowance -= bytes;
    return true;
}

void CaptureSpool::fileFailed(const char *doing)
{
    fileUsable = false;
    warning.tell(spoolFailure(doing));
}

bool CaptureSpool::read(qint64 offset, qsizetype length, QByteArray &buffer) const
{
    buffer.resize(length);
    const qint64 split = beforeGap();
    const qsizetype first = qsizetype(std::clamp(split - offset, qint64(0), qint64(length)));
    return readInOrder(offset, first, buffer.data()) &&
           readRing(offset + first - split, length - first, buffer.data() + first);
}

bool CaptureSpool::readInOrder(qint64 offset, qsizetype length, char *to) const
{
    const qsizetype fromFile = qsizetype(std::clamp(inFile - offset, qint64(0), qint64(length)));
    if (fromFile > 0 && !readAllFrom(descriptor, to, fromFile, offset))
        return false;
    std::memcpy(to + fromFile, memory.constData() + (offset + fromFile - inFile),
                size_t(length - fromFile));
    return true;
}

// Offsets count from the oldest byte the ring keeps.
bool CaptureSpool::readRing(qint64 offset, qsizetype length, char *to) const
{
    const qint64 oldest = ringTotal > ringCapacity ? ringTotal % ringCapacity : 0;
    while (length > 0) {
        const qint64 at = (oldest + offset) % ringCapacity;
        const qsizetype piece = qsizetype(std::min(qint64(length), ringCapacity - at));
        if (ring == Ring::InMemory)
            std::memcpy(to, ringMemory.constData() + at, size_t(piece));
        else if (!readAllFrom(descriptor, to, piece, ringStart + at))
            return false;
        to += piece;
        offset += piece;
        length -= piece;
    }
    return true;
}
