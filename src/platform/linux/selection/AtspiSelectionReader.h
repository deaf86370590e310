#pragma once

#include "core/desktop/CancellationFlag.h"
#include "core/desktop/SelectionContext.h"

#include <QString>
#include <atspi/atspi.h>
#include <memory>
#include <optional>
#include <vector>

class AtspiWorker;
class TargetAppClassifier;

struct GObjectUnref
{
    void operator()(void *object) const
    {
        if (object)
            g_object_unref(object);
    }
};
using AccessibleRef = std::unique_ptr<AtspiAccessible, GObjectUnref>;

// What the accessibility strategies found in one application.
struct AtspiReadOutcome
{
    // A selection, or an insertion point (empty text with a zero-length range).
    std::optional<SelectionContext> context;
    // The focused element the strategies started from; absent when none
    // was found (then `reason` is "no_focused_element").
    AccessibleElementRef focusedElement;
    // The process the text belongs to.
    qint32 contextPid = 0;
    // Why there is no context: the reasons of every candidate, or a summary.
    QString reason;
    bool cancelled = false;
};

// The accessibility strategies of a selection read, over AT-SPI: find the
// focused element of the target, gather candidate elements around it and
// probe each for a selection, a caret, or the reason it has neither.
// Runs on the AT-SPI worker thread.
class AtspiSelectionReader
{
public:
    // Descendant walks in browser-like hosts stop after this many elements;
    // parent chains after this many ancestors.
    static constexpr int descendantBudget = 240;
    static constexpr int parentChainDepth = 8;

    AtspiSelectionReader(AtspiWorker &worker, const TargetAppClassifier &classifier,
                         CancellationFlag cancellation, qint32 ownPid);

    // targetPid 0: the element that last took the focus anywhere (except in
    // this process), and its process.
    AtspiReadOutcome read(qint32 targetPid);

    // The element that has (or, in an inactive window, last had) the focus
    // in the application; null when none is found.
    AccessibleRef focusedElementOf(qint32 pid);
    AccessibleRef applicationOf(qint32 pid);

private:
    struct Probe
    {
        enum class Kind { selection, insertionPoint, unavailable } kind = Kind::unavailable;
        SelectionContext context;
        QString reason;
    };

    std::vector<AccessibleRef> candidates(AtspiAccessible *focused, qint32 expectedPid,
                                          bool browserLike);
    Probe probe(AtspiAccessible *element, qint32 contextPid);
    AccessibleRef searchFocused(AtspiAccessible *application);
    bool isLikelyInsertionTarget(AtspiAccessible *element);
    QString descriptor(AtspiAccessible *element, qint32 pid);
    SelectionContext contextFor(AtspiAccessible *element, qint32 pid, QString text,
                                SelectionRange range);

    AtspiWorker &m_worker;
    const TargetAppClassifier &m_classifier;
    CancellationFlag m_cancellation;
    qint32 m_ownPid;
};

// Small helpers over libatspi shared by the reader and the writer.
namespace Atspi {
bool hasState(AtspiAccessible *accessible, AtspiStateType state);
// The whole text of a Text object; null on failure.
QString wholeText(AtspiText *text);
// The text between two offsets; absent on failure.
std::optional<QString> textBetween(AtspiText *text, int start, int end);
} // namespace Atspi
