// Reading a saved report back: no input crashes it or makes it read outside
// its data; every block found lies within the input, the blocks follow one
// another to its end, each stream keeps to its limit, a block's own limit
// keeps the beginning of the same stream, and where the input is split into
// pieces changes nothing. The findings read from it never fail.

#include "findings.h"
#include "property.h"
#include "reportfindings.h"
#include "savedreport.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

constexpr qsizetype limit = 16;

struct Read
{
    std::vector<SavedBlock> blocks;
    SavedHead head;
};

// Each block's own limit for its standard output, some above the reader's.
qsizetype chosenLimit(const QString &displayName)
{
    return displayName.size() % (limit + 2);
}

Read readIn(QByteArrayView input, qsizetype split, bool choose = false)
{
    Read read;
    SavedReportReader reader(limit, [&read](SavedBlock &&block) { read.blocks.push_back(block); });
    if (choose)
        reader.setLimitChooser([](const QString &name) -> SavedReportReader::StreamLimits {
            return {chosenLimit(name), limit};
        });
    reader.feed(input.first(split));
    reader.feed(input.sliced(split));
    reader.finish();
    read.head = reader.head();
    return read;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    // The first byte chooses where the input is split in two.
    const QByteArrayView input(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    const qsizetype split = data[0] % (input.size() + 1);
    const Read whole = readIn(input, input.size());
    const Read pieces = readIn(input, split);
    const Read chosen = readIn(input, split, true);

    PROPERTY(whole.blocks.size() == pieces.blocks.size() &&
             whole.blocks.size() == chosen.blocks.size());
    PROPERTY(whole.head.account == pieces.head.account && whole.head.ticket == pieces.head.ticket);
    qint64 end = whole.blocks.empty() ? input.size() : whole.blocks.front().offset;
    for (std::size_t i = 0; i < whole.blocks.size(); ++i) {
        const SavedBlock &block = whole.blocks[i];
        const SavedBlock &other = pieces.blocks[i];
        PROPERTY(block.offset == end && block.size > 0 &&
                 block.offset + block.size <= input.size());
        PROPERTY(input.sliced(block.offset).startsWith(QByteArray(45, '-') + "Results for: "));
        end += block.size;
        PROPERTY(block.stdOut.size() <= limit);
        // A block's own limit keeps the beginning of the same stream.
        PROPERTY(chosen.blocks[i].stdOut ==
                 block.stdOut.left(std::min(chosenLimit(block.displayName), limit)));
        PROPERTY(block.displayName == other.displayName && block.stdOut == other.stdOut &&
                 block.stdErr == other.stdErr && block.couldNotStart == other.couldNotStart &&
                 block.offset == other.offset && block.size == other.size);
    }
    PROPERTY(end == input.size());

    static const BatteryNames names(builtInEndpoints());
    ReportFindingsReader findings(names);
    findings.feed(input);
    const ReportReading reading = findings.finish();
    PROPERTY(reading.blocks == qint64(whole.blocks.size()));
    PROPERTY(reading.notFromBattery <= reading.blocks);
    return 0;
}
