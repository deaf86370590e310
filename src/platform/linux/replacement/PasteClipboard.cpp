#include "platform/linux/replacement/PasteClipboard.h"

#include "core/support/Logging.h"
#include "platform/linux/LinuxDesktopConnections.h"

#include <QPointer>

namespace {

class X11PasteClipboard : public PasteClipboard
{
public:
    X11PasteClipboard(QClipboard::Mode mode, ClipboardAccess &clipboard)
        : m_mode(mode)
        , m_clipboard(clipboard)
    {
    }

    bool reaches(qint32 pid) const override { return m_clipboard.reachesWhileFocused(pid); }
    // X11 applications ask the owner for the text when they paste.
    double settleSeconds() const override { return 0; }
    void save(QObject *, std::function<void(bool)> then) override
    {
        m_saved = m_clipboard.snapshot(m_mode);
        then(true);
    }
    bool stage(const QString &text) override
    {
        m_staged = m_clipboard.stage(text, m_mode);
        return m_staged;
    }
    void watchForFetch() override
    {
        if (m_staged)
            m_staged->watchForFetch();
    }
    bool wasFetched() const override { return !m_staged || m_staged->wasFetched(); }
    void restore() override
    {
        if (m_clipboard.holds(m_staged, m_mode))
            m_clipboard.restore(m_saved, m_mode);
    }
    bool copy(const QString &text) override
    {
        // A copy goes to CLIPBOARD: what was staged on PRIMARY goes back.
        if (m_mode != QClipboard::Clipboard)
            restore();
        return m_clipboard.copyText(text);
    }

private:
    QClipboard::Mode m_mode;
    ClipboardAccess &m_clipboard;
    PasteboardSnapshot m_saved;
    QPointer<StagedMimeData> m_staged;
};

class WaylandPasteClipboard : public PasteClipboard
{
public:
    explicit WaylandPasteClipboard(DataControlClipboard &clipboard)
        : m_clipboard(clipboard)
    {
    }

    bool reaches(qint32) const override { return true; }
    // A Wayland application learns of the selection with its focus, and a
    // paste key it handles before that pastes nothing. Measured on sway 1.7
    // with the Qt test editor on a fully loaded machine: a third of runs
    // pasting 60 ms after the focus lost a paste, none of twelve at 300 ms.
    double settleSeconds() const override { return 0.3; }
    void save(QObject *context, std::function<void(bool)> then) override
    {
        m_clipboard.read(context, [this, then](std::optional<PasteboardSnapshot> saved) {
            if (saved)
                m_saved = *saved;
            then(saved.has_value());
        });
    }
    bool stage(const QString &text) override
    {
        m_staged = m_clipboard.write(DataControlClipboard::textSnapshot(text), true);
        return m_staged != 0;
    }
    void watchForFetch() override { m_clipboard.watchForFetch(m_staged); }
    bool wasFetched() const override { return m_clipboard.wasFetched(m_staged); }
    void restore() override
    {
        if (m_clipboard.holds(m_staged))
            m_clipboard.write(m_saved, false);
    }
    bool copy(const QString &text) override
    {
        return m_clipboard.write(DataControlClipboard::textSnapshot(text), false) != 0;
    }

private:
    DataControlClipboard &m_clipboard;
    PasteboardSnapshot m_saved;
    quint64 m_staged = 0;
};

} // namespace

std::unique_ptr<PasteClipboard> PasteClipboard::forTarget(qint32 pid, QClipboard::Mode mode,
                                                          LinuxDesktopConnections &desktop)
{
    if (mode == QClipboard::Clipboard && !desktop.clipboard.reachesWhileFocused(pid)) {
        auto &wayland = desktop.waylandClipboard;
        if (wayland.isAvailable())
            return std::make_unique<WaylandPasteClipboard>(wayland);
        qCInfo(lcReplacement).noquote()
            << QStringLiteral("Replacement: no Wayland clipboard (%1).").arg(wayland.lastError());
    }
    return std::make_unique<X11PasteClipboard>(mode, desktop.clipboard);
}
