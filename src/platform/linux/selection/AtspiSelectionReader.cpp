#include "platform/linux/selection/AtspiSelectionReader.h"

#include "core/desktop/TargetAppClassifier.h"
#include "platform/linux/selection/AtspiElement.h"
#include "platform/linux/selection/AtspiWorker.h"

#include <QStringList>
#include <algorithm>
#include <deque>

namespace {

// The focused element of an application without a Collection interface is
// searched in its tree; this caps that walk.
constexpr int focusSearchBudget = 1500;

template<typename T> std::unique_ptr<T, GObjectUnref> owned(T *object)
{
    return std::unique_ptr<T, GObjectUnref>(object);
}

std::vector<AccessibleRef> childrenOf(AtspiAccessible *element)
{
    std::vector<AccessibleRef> children;
    GErrorHolder error;
    const int count = atspi_accessible_get_child_count(element, error.out());
    if (error.failed() || count <= 0)
        return children;
    for (int i = 0; i < count; ++i) {
        AtspiAccessible *child = atspi_accessible_get_child_at_index(element, i, error.out());
        if (child && !error.failed())
            children.emplace_back(child);
    }
    return children;
}

} // namespace

namespace Atspi {

bool hasState(AtspiAccessible *accessible, AtspiStateType state)
{
    auto states = owned(atspi_accessible_get_state_set(accessible));
    return states && atspi_state_set_contains(states.get(), state);
}

std::optional<QString> textBetween(AtspiText *text, int start, int end)
{
    GErrorHolder error;
    gchar *raw = atspi_text_get_text(text, start, end, error.out());
    if (error.failed() || !raw) {
        g_free(raw);
        return std::nullopt;
    }
    QString result = QString::fromUtf8(raw);
    g_free(raw);
    return result;
}

QString wholeText(AtspiText *text)
{
    GErrorHolder error;
    const int count = atspi_text_get_character_count(text, error.out());
    if (error.failed() || count < 0)
        return {};
    return textBetween(text, 0, count).value_or(QString());
}

} // namespace Atspi

AtspiSelectionReader::AtspiSelectionReader(AtspiWorker &worker,
                                           const TargetAppClassifier &classifier,
                                           CancellationFlag cancellation, qint32 ownPid)
    : m_worker(worker)
    , m_classifier(classifier)
    , m_cancellation(std::move(cancellation))
    , m_ownPid(ownPid)
{
}

AtspiReadOutcome AtspiSelectionReader::read(qint32 targetPid)
{
    AtspiReadOutcome outcome;
    AccessibleRef focused;
    qint32 contextPid = targetPid;
    if (targetPid != 0) {
        focused = focusedElementOf(targetPid);
    } else {
        focused.reset(m_worker.lastFocusedAnywhere(m_ownPid, &contextPid));
    }
    outcome.contextPid = contextPid;
    if (!focused) {
        outcome.reason = QStringLiteral("no_focused_element");
        return outcome;
    }
    outcome.focusedElement = AtspiElement::wrap(
        m_worker, focused.get(), contextPid,
        m_worker.countsUtf16(focused.get()) ? TextUnit::utf16 : TextUnit::codePoints,
        descriptor(focused.get(), contextPid));

    const bool browserLike = m_classifier.isBrowserLikeHostProcess(contextPid);
    std::optional<SelectionContext> insertionPoint;
    QStringList reasons;
    // True when `result` ends the search.
    auto consider = [&](Probe result) {
        switch (result.kind) {
        case Probe::Kind::selection:
            outcome.context = std::move(result.context);
            return true;
        case Probe::Kind::insertionPoint:
            if (!browserLike) {
                outcome.context = std::move(result.context);
                return true;
            }
            // A caret in a browser may sit beside a selection elsewhere in
            // the page: keep looking, and keep the first caret.
            if (!insertionPoint)
                insertionPoint = std::move(result.context);
            return false;
        case Probe::Kind::unavailable:
            reasons.append(result.reason);
            return false;
        }
        return false;
    };
    // The focused element is the first candidate and nearly always the
    // answer: probe it before gathering the others.
    if (m_cancellation.isCancelled()) {
        outcome.cancelled = true;
        return outcome;
    }
    if (consider(probe(focused.get(), contextPid)))
        return outcome;
    const auto list = candidates(focused.get(), contextPid, browserLike);
    for (std::size_t i = 1; i < list.size(); ++i) {
        if (m_cancellation.isCancelled()) {
            outcome.cancelled = true;
            return outcome;
        }
        if (consider(probe(list[i].get(), contextPid)))
            return outcome;
    }
    if (insertionPoint) {
        outcome.context = std::move(insertionPoint);
        return outcome;
    }
    outcome.reason = reasons.isEmpty() ? QStringLiteral("ax_selection_unavailable")
                                       : reasons.join(QLatin1Char(';'));
    return outcome;
}

AccessibleRef AtspiSelectionReader::applicationOf(qint32 pid)
{
    auto desktop = owned(atspi_get_desktop(0));
    if (!desktop)
        return {};
    for (auto &app : childrenOf(desktop.get())) {
        if (m_worker.pidOf(app.get()) == pid)
            return std::move(app);
    }
    return {};
}

AccessibleRef AtspiSelectionReader::focusedElementOf(qint32 pid)
{
    AccessibleRef tracked(m_worker.lastFocused(pid));
    if (tracked && Atspi::hasState(tracked.get(), ATSPI_STATE_FOCUSED))
        return tracked;
    if (AccessibleRef application = applicationOf(pid)) {
        if (AccessibleRef found = searchFocused(application.get()))
            return found;
    }
    // The window lost the keyboard focus (to the command bar, say): its
    // focus widget is the one that last took the focus.
    if (tracked && !Atspi::hasState(tracked.get(), ATSPI_STATE_DEFUNCT))
        return tracked;
    return {};
}

AccessibleRef AtspiSelectionReader::searchFocused(AtspiAccessible *application)
{
    if (auto collection = owned(atspi_accessible_get_collection_iface(application))) {
        auto states = owned(atspi_state_set_new(nullptr));
        atspi_state_set_add(states.get(), ATSPI_STATE_FOCUSED);
        auto rule = owned(atspi_match_rule_new(
            states.get(), ATSPI_Collection_MATCH_ALL, nullptr, ATSPI_Collection_MATCH_ALL, nullptr,
            ATSPI_Collection_MATCH_ALL, nullptr, ATSPI_Collection_MATCH_ALL, FALSE));
        GErrorHolder error;
        GArray *matches = atspi_collection_get_matches(collection.get(), rule.get(),
                                                       ATSPI_Collection_SORT_ORDER_CANONICAL, 1,
                                                       TRUE, error.out());
        if (matches) {
            AccessibleRef found;
            for (guint i = 0; i < matches->len; ++i) {
                auto *match = g_array_index(matches, AtspiAccessible *, i);
                if (!found)
                    found.reset(match);
                else
                    g_object_unref(match);
            }
            g_array_free(matches, TRUE);
            if (!error.failed())
                return found;
        }
    }
    // No Collection (Qt): a breadth-first walk through what is showing.
    std::deque<AccessibleRef> queue;
    queue.emplace_back(static_cast<AtspiAccessible *>(g_object_ref(application)));
    for (int visited = 0; !queue.empty() && visited < focusSearchBudget; ++visited) {
        if (m_cancellation.isCancelled())
            return {};
        AccessibleRef element = std::move(queue.front());
        queue.pop_front();
        if (visited > 0 && Atspi::hasState(element.get(), ATSPI_STATE_FOCUSED))
            return element;
        if (visited > 0 && !Atspi::hasState(element.get(), ATSPI_STATE_SHOWING))
            continue;
        for (auto &child : childrenOf(element.get()))
            queue.push_back(std::move(child));
    }
    return {};
}

std::vector<AccessibleRef> AtspiSelectionReader::candidates(AtspiAccessible *focused,
                                                            qint32 expectedPid, bool browserLike)
{
    std::vector<AccessibleRef> list;
    if (m_cancellation.isCancelled())
        return list;
    auto contains = [&list](AtspiAccessible *element) {
        return std::any_of(list.cbegin(), list.cend(), [element](const AccessibleRef &known) {
            return known.get() == element;
        });
    };
    auto append = [&](AtspiAccessible *element) {
        if (contains(element))
            return false;
        list.emplace_back(static_cast<AtspiAccessible *>(g_object_ref(element)));
        return true;
    };
    auto appendDescendants = [&](AtspiAccessible *start) {
        std::deque<AccessibleRef> queue;
        queue.emplace_back(static_cast<AtspiAccessible *>(g_object_ref(start)));
        for (int budget = descendantBudget; !queue.empty() && budget > 0; --budget) {
            if (m_cancellation.isCancelled())
                return;
            AccessibleRef element = std::move(queue.front());
            queue.pop_front();
            for (auto &child : childrenOf(element.get())) {
                if (append(child.get()))
                    queue.push_back(std::move(child));
            }
        }
    };
    auto appendParents = [&](AtspiAccessible *start) {
        AccessibleRef current(static_cast<AtspiAccessible *>(g_object_ref(start)));
        for (int depth = 0; depth < parentChainDepth; ++depth) {
            if (m_cancellation.isCancelled())
                return;
            GErrorHolder error;
            AccessibleRef parent(atspi_accessible_get_parent(current.get(), error.out()));
            if (!parent || error.failed())
                return;
            append(parent.get());
            current = std::move(parent);
        }
    };

    append(focused);
    if (browserLike)
        appendDescendants(focused);
    qint32 systemWidePid = 0;
    AccessibleRef systemWide(m_worker.lastFocusedAnywhere(m_ownPid, &systemWidePid));
    if (systemWide && (expectedPid == 0 || systemWidePid == expectedPid)) {
        append(systemWide.get());
        if (browserLike)
            appendDescendants(systemWide.get());
    }
    appendParents(focused);
    systemWide.reset(m_worker.lastFocusedAnywhere(m_ownPid, &systemWidePid));
    if (systemWide)
        appendParents(systemWide.get());
    return list;
}

AtspiSelectionReader::Probe AtspiSelectionReader::probe(AtspiAccessible *element, qint32 contextPid)
{
    Probe result;
    auto unavailable = [&](const QString &why) {
        result.kind = Probe::Kind::unavailable;
        result.reason = descriptor(element, contextPid) + QLatin1Char(':') + why;
        return result;
    };
    auto text = owned(atspi_accessible_get_text_iface(element));
    if (!text)
        return unavailable(QStringLiteral("missing_selected_text_range"));

    GErrorHolder error;
    int start = -1;
    int end = -1;
    const int selections = atspi_text_get_n_selections(text.get(), error.out());
    if (error.failed())
        return unavailable(QStringLiteral("missing_selected_text_range"));
    if (selections > 0) {
        AtspiRange *range = atspi_text_get_selection(text.get(), 0, error.out());
        if (range && !error.failed()) {
            start = std::min(range->start_offset, range->end_offset);
            end = std::max(range->start_offset, range->end_offset);
        }
        g_free(range);
    }
    if (start == end) {
        const int caret = atspi_text_get_caret_offset(text.get(), error.out());
        if (error.failed())
            return unavailable(QStringLiteral("missing_selected_text_range"));
        start = end = caret;
    }
    if (start < 0)
        return unavailable(QStringLiteral("invalid_selected_text_range_value"));

    const SelectionRange range{start, end - start};
    if (range.length == 0) {
        if (!isLikelyInsertionTarget(element))
            return unavailable(QStringLiteral("zero_length_range_not_insertion_target"));
        result.kind = Probe::Kind::insertionPoint;
        result.context = contextFor(element, contextPid, QString(), range);
        return result;
    }

    QString source = QStringLiteral("none");
    QString value;
    if (auto between = Atspi::textBetween(text.get(), start, end)) {
        source = QStringLiteral("ax_string_for_range");
        value = *between;
    } else if (const QString whole = Atspi::wholeText(text.get()); !whole.isNull()) {
        const TextUnit unit =
            m_worker.countsUtf16(element) ? TextUnit::utf16 : TextUnit::codePoints;
        if (TextUnits::length(whole, unit) >= end) {
            source = QStringLiteral("ax_value_slice");
            value = TextUnits::slice(whole, start, range.length, unit);
        }
    }
    if (value.isEmpty()) {
        return unavailable(QStringLiteral("range_text_unavailable source=%1 range=%2:%3")
                               .arg(source)
                               .arg(range.location)
                               .arg(range.length));
    }
    result.kind = Probe::Kind::selection;
    result.context = contextFor(element, contextPid, value, range);
    return result;
}

bool AtspiSelectionReader::isLikelyInsertionTarget(AtspiAccessible *element)
{
    if (Atspi::hasState(element, ATSPI_STATE_EDITABLE))
        return true;
    GErrorHolder error;
    switch (atspi_accessible_get_role(element, error.out())) {
    case ATSPI_ROLE_ENTRY:
    case ATSPI_ROLE_TEXT:
    case ATSPI_ROLE_PASSWORD_TEXT:
    case ATSPI_ROLE_COMBO_BOX:
    case ATSPI_ROLE_EDITBAR:
        return true;
    default:
        break;
    }
    return static_cast<bool>(owned(atspi_accessible_get_editable_text_iface(element)));
}

QString AtspiSelectionReader::descriptor(AtspiAccessible *element, qint32 pid)
{
    GErrorHolder error;
    gchar *role = atspi_accessible_get_role_name(element, error.out());
    const QString roleName = role && *role ? QString::fromUtf8(role) : QStringLiteral("unknown");
    g_free(role);
    return QStringLiteral("pid=%1 role=%2 subrole=none").arg(pid).arg(roleName);
}

SelectionContext AtspiSelectionReader::contextFor(AtspiAccessible *element, qint32 pid,
                                                  QString text, SelectionRange range)
{
    SelectionContext context;
    const TextUnit unit = m_worker.countsUtf16(element) ? TextUnit::utf16 : TextUnit::codePoints;
    context.element = AtspiElement::wrap(m_worker, element, pid, unit, descriptor(element, pid));
    context.selectedText = std::move(text);
    context.selectedRange = range;
    context.pid = pid;
    GErrorHolder error;
    context.isSecret = atspi_accessible_get_role(element, error.out()) == ATSPI_ROLE_PASSWORD_TEXT;
    return context;
}
