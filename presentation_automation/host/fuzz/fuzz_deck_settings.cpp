// Feeds arbitrary bytes to what reads a deck's own show settings, as a damaged or hostile
// .pptx/.odp would present them: as the archive (its zip reader, then the XML of the member
// found) and as the settings XML itself, so both readers are reached.

#include "presentation_automation/host/decks/show_settings.h"

#include <QBuffer>
#include <QByteArray>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    for (const auto format : {pa::host::DeckFormat::Pptx, pa::host::DeckFormat::Odp}) {
        QBuffer archive(&bytes);
        archive.open(QIODevice::ReadOnly);
        (void)pa::host::archiveLoops(archive, format);
        (void)pa::host::settingsXmlLoops(bytes, format);
    }
    return 0;
}
