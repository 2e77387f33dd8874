#include "boundaryscan.h"

#include "multipart.h"

#include <QRandomGenerator>

#include <algorithm>

namespace {

QByteArray randomBoundary()
{
    static constexpr char letters[] =
        "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    QByteArray text = uploadBoundary;
    for (int i = 0; i < 24; ++i)
        text += letters[QRandomGenerator::system()->bounded(int(sizeof letters) - 1)];
    return text;
}

} // namespace

BoundaryScan::BoundaryScan() : BoundaryScan(randomBoundary()) {}

BoundaryScan::BoundaryScan(const QByteArray &alternative) : watches{{uploadBoundary}, {alternative}}
{
}

void BoundaryScan::scan(QByteArrayView bytes)
{
    qsizetype keep = 0;
    for (Watch &watch : watches) {
        keep = std::max(keep, watch.text.size() - 1);
        if (watch.found)
            continue;
        // Across the seam, then within the bytes themselves.
        const QByteArray across = seam + bytes.first(std::min(bytes.size(), keep)).toByteArray();
        watch.found = across.contains(watch.text) || bytes.contains(watch.text);
    }
    if (bytes.size() >= keep)
        seam = bytes.last(keep).toByteArray();
    else
        seam = (seam + bytes.toByteArray()).right(keep);
}

std::optional<QByteArray> BoundaryScan::boundary() const
{
    for (const Watch &watch : watches) {
        if (!watch.found)
            return watch.text;
    }
    return std::nullopt;
}
