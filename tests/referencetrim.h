#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>

// The upload's trimming done the plain way, in memory, as trimTailStream()
// describes it: what the streamed trimming is checked against.
QByteArray trimTailData(QByteArrayView data, std::int32_t maxPostSize);
