#pragma once

#include <QByteArray>
#include <QByteArrayView>

class SpoolWarning;

// How much of one output stream is kept, however much a command prints.
struct CaptureLimits
{
    // Beyond head + tail bytes, only the first head and the last tail.
    qint64 head = qint64(512) << 20;
    qint64 tail = qint64(512) << 20;
    // The spool leaves its file system at least this much free space...
    qint64 diskReserve = qint64(1) << 30;
    // ...and once it would not, only this much more of the end is kept, in
    // memory.
    qint64 memoryTail = qint64(16) << 20;
};

// What a captured stream keeps of its bytes, in memory until spill() moves
// them to a file in the temporary folder that has no name. Past head + tail
// bytes, the file's end is written round and round, so that the first head and
// the last tail bytes stay, with a gap between them. The file never takes its
// file system below the reserve: then what it holds is kept, and of the rest
// only the last memoryTail bytes, in memory, and shortOfDisk tells why once. A
// file that cannot be made or written leaves the bytes in memory, kept the
// same way as in the file, and warning tells why.
class CaptureSpool
{
public:
    // The warnings are shared with the other streams and must outlive them.
    CaptureSpool(const CaptureLimits &limits, SpoolWarning &warning, SpoolWarning &shortOfDisk);
    CaptureSpool(const CaptureSpool &) = delete;
    CaptureSpool &operator=(const CaptureSpool &) = delete;
    ~CaptureSpool();

    void append(QByteArrayView bytes);
    // Moves what memory holds of the first bytes to a new file, unless a file
    // was tried before.
    void spill();

    // Bytes appended, and how many of them are kept: before the gap, then
    // after it; leftOut() is the gap.
    qint64 size() const { return total; }
    qint64 beforeGap() const;
    qint64 afterGap() const { return ringKept(); }
    qint64 leftOut() const { return total - beforeGap() - afterGap(); }

    qsizetype memorySize() const { return memory.size() + ringMemory.size(); }
    bool isSpilled() const { return descriptor >= 0; }
    void squeeze() { memory.squeeze(); }

    // Reads length bytes from offset of what is kept, the gap left out, into
    // buffer; false when the file could not be read.
    bool read(qint64 offset, qsizetype length, QByteArray &buffer) const;

private:
    enum class Ring
    {
        None, // all bytes so far are kept, in order
        InFile,
        InMemory,
    };
    void appendInOrder(QByteArrayView bytes);
    void appendToRing(QByteArrayView bytes);
    void startRing();
    bool fileMayGrow(qint64 bytes);
    void fileFailed(const char *doing);
    qint64 ringKept() const;
    bool readInOrder(qint64 offset, qsizetype length, char *to) const;
    bool readRing(qint64 offset, qsizetype length, char *to) const;

    CaptureLimits limits;
    SpoolWarning &warning;
    SpoolWarning &shortOfDisk;
    int descriptor = -1;
    bool fileUsable = true;
    qint64 total = 0;
    // The bytes kept in order: first those in the file, then memory's.
    qint64 inFile = 0;
    QByteArray memory;
    // Free space the file may still take before it asks again.
    qint64 allowance = 0;

    // Once the ring has started, the bytes kept in order end at ringStart;
    // what follows goes round the ring of ringCapacity bytes, which in the
    // file lies right after them.
    Ring ring = Ring::None;
    qint64 ringStart = 0;
    qint64 ringCapacity = 0;
    qint64 ringTotal = 0;
    QByteArray ringMemory;
};
