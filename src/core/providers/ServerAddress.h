#pragma once

#include <QString>
#include <QUrl>

// The address of an OpenAI-compatible server the user chose, such as
// "http://127.0.0.1:11434/v1": the part its paths ("/chat/completions",
// "/models") follow.
namespace ServerAddress {

struct Checked
{
    QUrl address;    // empty when refused
    QString problem; // why it was refused, for the user; empty when accepted
};

// An http or https URL with a host, without user, query or fragment; plain
// http only to this computer or a host of the user's own network, since the
// key and the text travel in it. The trailing slash is dropped.
Checked check(const QString &text);
// The same for a text that may also be a whole chat endpoint
// (".../v1/chat/completions", as a catalog names it).
Checked checkEndpointOrAddress(const QString &text);

QUrl chatEndpoint(const QUrl &address);
QUrl modelsEndpoint(const QUrl &address);
// Ollama's own model list, at the server's root.
QUrl ollamaTagsEndpoint(const QUrl &address);

} // namespace ServerAddress
