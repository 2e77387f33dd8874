#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <optional>

class QIODevice;

// Marks the place where the trimming cut a log block.
inline constexpr char trimMarker[] = "<This log has been trimmed>";

inline constexpr qint64 defaultTrimChunkSize = 1024 * 1024;

// Shortens an over-long UTF-8 report for the upload. The report is split at the
// block separator; every non-empty piece gets its separator back, and every
// piece holding "tail" (the system log, or anything that shows such a command)
// loses its last (size - maxPostSize) + 27 bytes, cut back to a whole character,
// followed by the trim marker. Pieces too short for that stay whole. Empty
// pieces disappear with their separator. The result is not measured again and
// may still be over the limit. Meant for reports longer than maxPostSize.
//
// Reads the report from the seekable device `report` (all of its size() bytes,
// from its start) and writes the result to `trimmed`, at its current position. Memory stays flat: two passes over the report
// through buffers of about chunkSize bytes, the first noting where the pieces
// holding "tail" are to be cut (at most maxPostSize / 28 + 1 of them, however
// big the report). Returns why it failed when the report is not seekable, could
// not be read or the result not written (which is then incomplete), nothing
// when it succeeded.
std::optional<QString> trimTailStream(QIODevice &report, QIODevice &trimmed,
                                      std::int32_t maxPostSize,
                                      qint64 chunkSize = defaultTrimChunkSize);
