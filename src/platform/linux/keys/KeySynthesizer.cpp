#include "platform/linux/keys/KeySynthesizer.h"

#include "platform/linux/keys/XTestKeySynthesizer.h"

namespace {

std::shared_ptr<KeySynthesizer> &installed()
{
    static std::shared_ptr<KeySynthesizer> synthesizer;
    return synthesizer;
}

} // namespace

KeySynthesizer &KeySynthesizer::current()
{
    auto &synthesizer = installed();
    if (!synthesizer)
        synthesizer = std::make_shared<XTestKeySynthesizer>();
    return *synthesizer;
}

void KeySynthesizer::install(std::shared_ptr<KeySynthesizer> synthesizer)
{
    installed() = std::move(synthesizer);
}
