// Feeds arbitrary bytes to the zip reader that looks for a deck's own show settings, as a
// damaged or hostile .pptx/.odp would present them.

#include "presentation_automation/host/decks/show_settings.h"

#include <QBuffer>
#include <QByteArray>
#include <QString>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    QBuffer archive(&bytes);
    archive.open(QIODevice::ReadOnly);
    for (const char *name : {"ppt/presProps.xml", "content.xml"}) {
        (void)pa::host::readZipMember(archive, QString::fromLatin1(name), 1024 * 1024);
    }
    return 0;
}
