// Feeds arbitrary bytes to the host's frame reader and message decoders, as a client or a
// stranger on the socket could send them. Whatever decodes must encode back to itself.

#include "presentation_automation/host/service/protocol.h"

#include <QByteArray>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace pa::host;

namespace {

void checkPayload(const QByteArray &payload)
{
    if (auto request = decodeRequest(payload)) {
        const QByteArray once = encodeRequest(*request);
        auto again = decodeRequest(once);
        if (!again || encodeRequest(*again) != once) {
            std::fprintf(stderr, "request does not survive a round trip: %s\n", once.constData());
            std::abort();
        }
    }
    if (auto reply = decodeReply(payload)) {
        const QByteArray once = encodeReply(*reply);
        auto again = decodeReply(once);
        if (!again || encodeReply(*again) != once) {
            std::fprintf(stderr, "reply does not survive a round trip: %s\n", once.constData());
            std::abort();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    checkPayload(bytes);

    // The same bytes as a stream arriving in two pieces.
    FrameReader reader;
    reader.append(bytes.left(bytes.size() / 2));
    while (auto payload = reader.next()) {
        checkPayload(*payload);
    }
    reader.append(bytes.mid(bytes.size() / 2));
    while (auto payload = reader.next()) {
        checkPayload(*payload);
    }
    return 0;
}
