#pragma once

#include <QString>

// What a typed or pasted API key must look like before it is stored. Keys
// travel in HTTP headers and URLs: blanks or control characters inside one
// mean something else was pasted along with it.
namespace ApiKeyCheck {

// Whether `key` (already trimmed by the caller) has no blanks and no control
// characters. The empty key passes: storing it removes the key.
bool isPlausible(const QString &key);

} // namespace ApiKeyCheck
