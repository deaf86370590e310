// The sign-in callback's answer to a request head, whatever a local page or
// program sends to the port.
#include "core/auth/OpenAIProPlusCallbackServer.h"

#include <QCoreApplication>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_callbackrequest";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    static const OpenAIProPlusCallbackServer server(1455, QStringLiteral("expected-state"));
    server.answer(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    return 0;
}
