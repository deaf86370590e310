// The event-stream reader fed in pieces (the first byte chooses where the
// input is split), every line decoded by both streaming formats.
#include "core/ai/ServerSentEventLineReader.h"
#include "core/providers/OpenAIChatAdapter.h"
#include "core/providers/OpenAIProPlusResponsesAdapter.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const qsizetype step = qsizetype(data[0]) + 1;
    const QByteArrayView input(reinterpret_cast<const char *>(data) + 1, qsizetype(size) - 1);
    ServerSentEventLineReader reader;
    const ServerSentEventLineReader::LineHandler onLine = [](QByteArrayView line) {
        if (line.startsWith("data:")) {
            const QByteArray payload = line.sliced(5).trimmed().toByteArray();
            OpenAIChatAdapter::decodeStreamChunk(payload);
            OpenAIProPlusResponsesAdapter::decodeStreamChunk(payload);
        }
        return true;
    };
    for (qsizetype at = 0; at < input.size(); at += step)
        reader.feed(input.sliced(at, qMin(step, input.size() - at)), onLine);
    reader.finish(onLine);
    return 0;
}
