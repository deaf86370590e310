#pragma once

#include "core/desktop/PanelWindowSupport.h"

#include <QList>

// Records what the panel asked of the desktop; the answers are set by the test.
class FakePanelWindowSupport : public PanelWindowSupport
{
public:
    void preparePanelWindow(WindowId window) override { prepared.append(window); }
    void activatePanelWindow(WindowId window, quint32 timestamp) override
    {
        activations.append({window, timestamp});
    }
    std::optional<QPoint> focusedWindowCenter() override { return focusedCenter; }
    bool hasCompositor() override { return compositor; }
    bool isClipboardOperationRunning() override { return clipboardOperationRunning; }

    struct Activation
    {
        WindowId window = 0;
        quint32 timestamp = 0;
    };
    QList<WindowId> prepared;
    QList<Activation> activations;
    std::optional<QPoint> focusedCenter;
    bool compositor = false;
    bool clipboardOperationRunning = false;
};
