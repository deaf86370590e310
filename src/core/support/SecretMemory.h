#pragma once

#include <QByteArray>
#include <QString>

// Wiping the copies of a secret (a key, a token) that this program made, once
// they are no longer needed. Qt's containers share their data between
// copies: a copy that still shares it is only let go, so that the other
// holders keep a whole secret, and the last one wipes it. Copies that Qt
// keeps inside its own objects (a request's headers or URL, a line edit's
// text) are out of reach; so is memory a container left behind when it grew.
namespace SecretMemory {

// Overwrites the contents with zeros when no other copy shares them, then
// empties the container.
void wipe(QByteArray &bytes);
void wipe(QString &text);

} // namespace SecretMemory
