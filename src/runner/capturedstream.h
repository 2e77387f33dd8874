#pragma once

#include "secretmask.h"
#include "capturespool.h"
#include "spoolfile.h"
#include "utf8escape.h"

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

class QIODevice;

// What the captured streams of a set of commands share: the bytes they hold in
// memory together, how much of each stream is kept, and the log lines that say
// once why output stays in memory.
struct CaptureMemory
{
    qint64 used = 0;
    CaptureLimits limits;
    SpoolWarning spoolWarning{"command output"};
    SpoolWarning shortOfDisk{"only the end of long command output"};
};

// What one output stream of a command printed, as raw bytes, with its UTF-8
// check kept up to date as the bytes arrive: all of it, or beyond the limits
// its first and its last bytes (see CaptureSpool). Memory stays flat whatever
// a command prints: a stream keeps up to memoryLimit bytes in memory, all
// streams of its CaptureMemory together up to sharedMemoryLimit, and the rest
// goes to a spool file.
// A spool that cannot be made or written keeps the bytes in memory instead,
// within the same limits.
class CapturedStream
{
public:
    static constexpr qsizetype memoryLimit = 1024 * 1024;
    static constexpr qint64 sharedMemoryLimit = 16 * 1024 * 1024;

    // shared must outlive the stream.
    explicit CapturedStream(CaptureMemory &shared) : shared(shared) {}
    CapturedStream(const CapturedStream &) = delete;
    CapturedStream &operator=(const CapturedStream &) = delete;
    ~CapturedStream();

    // From now on the values that look like passwords or tokens are masked
    // as the bytes arrive (SecretMasker), before anything keeps or reads them.
    // Call before the first append().
    void maskSecrets() { masker.emplace(); }

    void append(QByteArrayView bytes);
    // The stream has ended: a character still open counts as invalid.
    void finish();

    qint64 size() const { return total; }
    // Bytes that are not part of a valid UTF-8 sequence among those kept;
    // final after finish().
    qint64 invalidBytes() const { return keptInvalid.value_or(checker.invalidBytes()); }
    bool endsWithLineBreak() const { return lastByte == '\n'; }
    bool isSpooled() const { return spool.isSpilled(); }
    // Values masked; final after finish().
    qint64 maskedValues() const { return masker ? masker->maskedValues() : 0; }

    // Writes the stream to device: as it is when it is valid UTF-8, else with
    // every invalid byte escaped; where bytes were left out, a line
    // "(N bytes left out here)" stands for them. False when the device took
    // less or the spool could not be read.
    bool writeTo(QIODevice &device) const;
    // The first limit bytes as they arrived, unescaped; empty when the spool
    // could not be read.
    QByteArray head(qsizetype limit) const;

private:
    void keep(QByteArrayView bytes);
    bool writeKept(QIODevice &device, qint64 from, qint64 to, bool escaping) const;
    qint64 countInvalid(qint64 from, qint64 to) const;

    CaptureMemory &shared;
    CaptureSpool spool{shared.limits, shared.spoolWarning, shared.shortOfDisk};
    Utf8Escaper checker;
    // Where bytes were left out, the invalid ones among those kept.
    std::optional<qint64> keptInvalid;
    qint64 total = 0;
    char lastByte = 0;
    std::optional<SecretMasker> masker;
    // What the masker made of the latest bytes.
    QByteArray maskedBytes;
};

// Writes all of bytes to device; false when it took less.
bool writeAll(QIODevice &device, QByteArrayView bytes);
