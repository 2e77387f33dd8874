#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>

// Marks the place where trimTailData cut a log block.
inline constexpr char trimMarker[] = "<This log has been trimmed>";

// Shortens an over-long UTF-8 report for the upload. The report is split at the
// block separator; every non-empty piece gets its separator back, and every
// piece holding "tail" (the system log, or anything that shows such a command)
// loses its last (size - maxPostSize) + 27 bytes, cut back to a whole character,
// followed by the trim marker. Pieces too short for that stay whole. Empty
// pieces disappear with their separator. The result is not measured again and
// may still be over the limit. Meant for data longer than maxPostSize; runs in
// time linear in the size of the data.
QByteArray trimTailData(QByteArrayView data, std::int32_t maxPostSize);
