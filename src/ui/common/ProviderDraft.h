#pragma once

#include <QString>

// The unsaved edit state of one provider in a window.
struct ProviderDraft
{
    // The model picker's choice that stands for "a model of my own".
    static inline const QString customModelSentinel = QStringLiteral("<Custom model>");

    QString apiKeyDraft;
    QString modelSelection; // a model of the provider's options, or the sentinel
    QString customModel;    // used when the selection is the sentinel
};
