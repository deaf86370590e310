#pragma once

#include "core/desktop/SelectionFetch.h"

#include <QString>
#include <QUuid>
#include <optional>

class QObject;

// What a caller asks of one selection read.
struct SelectionRequest
{
    // Identity of the request; the finished signal carries it back.
    QUuid requestID = QUuid::createUuid();
    // The application to read from: the one that was frontmost when the
    // command bar opened. Absent: the service asks for the frontmost one.
    std::optional<qint32> targetPid;
    // Whether the clipboard probe (synthesized copy) may run when the
    // accessibility interface finds no selection.
    bool allowClipboardFallback = false;
    // The process to bring back to the front after a clipboard probe; absent
    // or 0: this application.
    std::optional<qint32> restorePid;
    // Short identifier used only in log lines.
    QString traceID;
};

// Reads the selection of another application. Reads never block the calling
// (main) thread: each returns a running SelectionFetch owned by `parent`.
class SelectionService
{
public:
    virtual ~SelectionService() = default;

    // Accessibility strategies first, then the exact, clipboard-neutral
    // sources of the platform, then (if allowed) the clipboard probe.
    virtual SelectionFetch *fetchSelection(const SelectionRequest &request,
                                           QObject *parent = nullptr) = 0;

    // Only the clipboard probe, for request.targetPid (0 when absent). On
    // success the context has no element, no range and pid = targetPid.
    virtual SelectionFetch *fetchSelectionViaClipboardOnly(const SelectionRequest &request,
                                                           QObject *parent = nullptr) = 0;
};
