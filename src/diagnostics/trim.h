#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <optional>

class QIODevice;

// Marks the place where trimTailData cut a log block.
inline constexpr char trimMarker[] = "<This log has been trimmed>";

// Shortens an over-long UTF-8 report for the upload. The report is split at the
// block separator; every non-empty piece gets its separator back, and every
// piece holding "tail" (the system log, or anything that shows such a command)
// loses its last (size - maxPostSize) + 27 bytes, cut back to a whole character,
// followed by the trim marker. Pieces too short for that stay whole. Empty
// pieces disappear with their separator. The result is not measured again and
// may still be over the limit. Meant for data longer than maxPostSize; data
// within the limit comes back unchanged. Runs in time linear in the size of the
// data.
QByteArray trimTailData(QByteArrayView data, std::int32_t maxPostSize);

inline constexpr qint64 defaultTrimChunkSize = 1024 * 1024;

// The same trimming for a report too big to hold in memory: reads the report
// from the seekable device `report` (all of its size() bytes, from its start)
// and writes to `trimmed`, at its current position, exactly the bytes that
// trimTailData would return. Memory stays flat: two passes over the report
// through buffers of about chunkSize bytes, the first noting where the pieces
// holding "tail" are to be cut (at most maxPostSize / 28 + 1 of them, however
// big the report). Returns why it failed when the report is not seekable, could
// not be read or the result not written (which is then incomplete), nothing
// when it succeeded.
std::optional<QString> trimTailStream(QIODevice &report, QIODevice &trimmed,
                                      std::int32_t maxPostSize,
                                      qint64 chunkSize = defaultTrimChunkSize);
