// The link scan of the results view: every range lies within the text, starts
// with "https://" or "http://", holds no white space and runs up to white space
// or the end of the text; the ranges come in order and make valid URLs.

#include "linkscan.h"
#include "property.h"

#include <QString>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    qsizetype previousStart = -1;
    for (const LinkRange &link : scanLinks(text)) {
        PROPERTY(link.start > previousStart && link.length > 0);
        PROPERTY(link.start + link.length <= text.size());
        const QStringView address = QStringView(text).sliced(link.start, link.length);
        PROPERTY(address.startsWith(u"https://") || address.startsWith(u"http://"));
        for (const QChar character : address)
            PROPERTY(!character.isSpace());
        const qsizetype end = link.start + link.length;
        PROPERTY(end == text.size() || text[end].isSpace());
        PROPERTY(link.url.isValid());
        previousStart = link.start;
    }
    return 0;
}
