// Feeds arbitrary bytes to the journal's decoder, as a damaged journal left by a host that
// died mid-write (or anything else put at its path) would present them.

#include "presentation_automation/host/service/journal.h"

#include <QByteArray>
#include <QStringList>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    QStringList problems;
    if (const auto state = pa::host::decodeJournal(bytes, &problems)) {
        // What was accepted survives being written and read again.
        (void)pa::host::decodeJournal(pa::host::encodeJournal(*state), &problems);
    }
    return 0;
}
