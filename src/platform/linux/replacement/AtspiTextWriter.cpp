#include "platform/linux/replacement/AtspiTextWriter.h"

#include "platform/linux/selection/AtspiElement.h"
#include "platform/linux/selection/AtspiSelectionReader.h"
#include "platform/linux/selection/AtspiWorker.h"

#include <algorithm>
#include <climits>

namespace {

using Outcome = AtspiTextWriter::Outcome;

Outcome notWritten(const QString &note)
{
    return {false, note};
}

int characterCount(AtspiText *text)
{
    GErrorHolder error;
    const int count = atspi_text_get_character_count(text, error.out());
    return error.failed() ? -1 : count;
}

Outcome write(const AtspiElement &element, int start, int end, const QString &expected,
              const QString &replacement)
{
    AtspiAccessible *accessible = element.accessible();
    std::unique_ptr<AtspiText, GObjectUnref> text(atspi_accessible_get_text_iface(accessible));
    std::unique_ptr<AtspiEditableText, GObjectUnref> editable(
        atspi_accessible_get_editable_text_iface(accessible));
    if (!text || !editable)
        return notWritten(QStringLiteral("the element has no editable text"));
    if (!Atspi::hasState(accessible, ATSPI_STATE_EDITABLE))
        return notWritten(QStringLiteral("the element is read-only"));

    const int before = characterCount(text.get());
    if (before < 0 || end > before)
        return notWritten(QStringLiteral("the range lies beyond the element's text"));
    if (!expected.isEmpty() && Atspi::textBetween(text.get(), start, end) != expected)
        return notWritten(QStringLiteral("the text at the range changed since it was read"));

    GErrorHolder error;
    if (end > start) {
        atspi_editable_text_delete_text(editable.get(), start, end, error.out());
        if (error.failed() || characterCount(text.get()) != before - (end - start))
            return notWritten(QStringLiteral("the element ignored the deletion"));
    }
    const int afterDelete = before - (end - start);
    if (replacement.isEmpty())
        return {true, {}};
    const QByteArray utf8 = replacement.toUtf8();
    const int length = TextUnits::insertionLength(replacement, element.unit());
    atspi_editable_text_insert_text(editable.get(), start, utf8.constData(), length, error.out());
    const int after = characterCount(text.get());
    if (!error.failed() && after != afterDelete)
        return {true, {}};
    // The insertion did not land: put the removed text back so nothing is lost.
    if (end > start && !expected.isEmpty()) {
        const QByteArray original = expected.toUtf8();
        atspi_editable_text_insert_text(editable.get(), start, original.constData(),
                                        TextUnits::insertionLength(expected, element.unit()),
                                        error.out());
    }
    return notWritten(QStringLiteral("the element ignored the insertion"));
}

} // namespace

namespace AtspiTextWriter {

Outcome replaceRange(const AtspiElement &element, SelectionRange range, const QString &expected,
                     const QString &text)
{
    if (range.location < 0 || range.length < 0 || range.location + range.length > INT_MAX)
        return notWritten(QStringLiteral("the range is invalid"));
    return write(element, int(range.location), int(range.location + range.length), expected, text);
}

Outcome replaceSelection(const AtspiElement &element, const QString &text)
{
    std::unique_ptr<AtspiText, GObjectUnref> textIface(
        atspi_accessible_get_text_iface(element.accessible()));
    if (!textIface)
        return notWritten(QStringLiteral("the element has no text"));
    GErrorHolder error;
    if (atspi_text_get_n_selections(textIface.get(), error.out()) <= 0 || error.failed())
        return notWritten(QStringLiteral("the element has no selection"));
    AtspiRange *range = atspi_text_get_selection(textIface.get(), 0, error.out());
    if (!range || error.failed()) {
        g_free(range);
        return notWritten(QStringLiteral("the element has no selection"));
    }
    const int start = std::min(range->start_offset, range->end_offset);
    const int end = std::max(range->start_offset, range->end_offset);
    g_free(range);
    if (end <= start)
        return notWritten(QStringLiteral("the element has no selection"));
    const QString current = Atspi::textBetween(textIface.get(), start, end).value_or(QString());
    return write(element, start, end, current, text);
}

} // namespace AtspiTextWriter
