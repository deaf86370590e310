#include "platform/linux/clipboard/ClipboardAccess.h"

#include "platform/linux/x11/X11Desktop.h"

#include <QGuiApplication>
#include <QTextDocumentFragment>

namespace {

const QString passwordManagerHint = QStringLiteral("x-kde-passwordManagerHint");

int modeIndex(QClipboard::Mode mode)
{
    return mode == QClipboard::Selection ? 1 : 0;
}

bool isTextFormat(const QString &mimeType)
{
    return mimeType.startsWith(QLatin1String("text/"));
}

} // namespace

StagedMimeData::StagedMimeData(const QString &text)
{
    setText(text);
    setData(passwordManagerHint, QByteArrayLiteral("secret"));
}

QVariant StagedMimeData::retrieveData(const QString &mimeType, QMetaType type) const
{
    if (isTextFormat(mimeType) && !m_fetched) {
        m_fetched = true;
        Q_EMIT const_cast<StagedMimeData *>(this)->fetched();
    }
    return QMimeData::retrieveData(mimeType, type);
}

ClipboardAccess::ClipboardAccess(X11Desktop &x11)
    : m_x11(x11)
    , m_clipboard(QGuiApplication::clipboard())
{
    connect(m_clipboard, &QClipboard::changed, this, [this](QClipboard::Mode mode) {
        if (mode == QClipboard::FindBuffer)
            return;
        const bool ours = mode == QClipboard::Selection ? m_clipboard->ownsSelection()
                                                        : m_clipboard->ownsClipboard();
        if (!ours)
            ++m_changes[modeIndex(mode)];
    });
}

void ClipboardAccess::setHandedToWaylandOnlyWhileFocused(bool onlyWhileFocused)
{
    m_handedOverOnlyWhileFocused = onlyWhileFocused;
}

bool ClipboardAccess::reachesWhileFocused(qint32 pid) const
{
    return !m_handedOverOnlyWhileFocused || (pid != 0 && m_x11.topWindowOfProcess(pid) != 0);
}

quint64 ClipboardAccess::changeCount(QClipboard::Mode mode) const
{
    return m_changes[modeIndex(mode)];
}

PasteboardSnapshot ClipboardAccess::snapshot(QClipboard::Mode mode) const
{
    PasteboardSnapshot snapshot;
    const QMimeData *data = m_clipboard->mimeData(mode);
    if (!data)
        return snapshot;
    QList<PasteboardSnapshot::Format> formats;
    for (const QString &format : data->formats()) {
        if (format == qtImageFormat())
            continue;
        formats.append({format, data->data(format)});
    }
    if (!formats.isEmpty())
        snapshot.items.append(formats);
    return snapshot;
}

void ClipboardAccess::restore(const PasteboardSnapshot &snapshot, QClipboard::Mode mode)
{
    if (snapshot.isEmpty()) {
        m_clipboard->clear(mode);
        return;
    }
    auto *data = new QMimeData;
    for (const auto &[format, bytes] : snapshot.items.first())
        data->setData(format, bytes);
    m_clipboard->setMimeData(data, mode);
}

QPointer<StagedMimeData> ClipboardAccess::stage(const QString &text, QClipboard::Mode mode)
{
    auto *data = new StagedMimeData(text);
    QPointer<StagedMimeData> guard(data);
    m_clipboard->setMimeData(data, mode);
    if (!holds(guard, mode))
        return nullptr;
    return guard;
}

bool ClipboardAccess::copyText(const QString &text)
{
    m_clipboard->setText(text, QClipboard::Clipboard);
    return m_clipboard->ownsClipboard();
}

bool ClipboardAccess::holds(const StagedMimeData *staged, QClipboard::Mode mode) const
{
    if (!staged)
        return false;
    const bool owns =
        mode == QClipboard::Selection ? m_clipboard->ownsSelection() : m_clipboard->ownsClipboard();
    return owns && m_clipboard->mimeData(mode) == staged;
}

std::optional<QString> ClipboardAccess::plainText(QClipboard::Mode mode,
                                                  const QString &excluded) const
{
    const QMimeData *data = m_clipboard->mimeData(mode);
    if (!data)
        return std::nullopt;
    QString text = data->hasText() ? data->text() : QString();
    if (text.isEmpty())
        text = QString::fromUtf8(data->data(QStringLiteral("text/plain;charset=utf-8")));
    if (text.isEmpty() || text == excluded)
        return std::nullopt;
    return text;
}

std::optional<QString> ClipboardAccess::richText(QClipboard::Mode mode,
                                                 const QString &excluded) const
{
    const QMimeData *data = m_clipboard->mimeData(mode);
    if (!data || !data->hasHtml())
        return std::nullopt;
    const QString text = QTextDocumentFragment::fromHtml(data->html()).toPlainText();
    if (text.isEmpty() || text == excluded)
        return std::nullopt;
    return text;
}
