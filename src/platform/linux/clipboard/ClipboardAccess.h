#pragma once

#include "core/desktop/PasteboardSnapshot.h"

#include <QClipboard>
#include <QMimeData>
#include <QObject>
#include <QPointer>
#include <optional>

class X11Desktop;

// Text this process puts on a clipboard for a moment (a probe's sentinel, a
// reply to paste). It carries the hint that tells clipboard managers not to
// record it, and it notices when another client fetches its text.
class StagedMimeData : public QMimeData
{
    Q_OBJECT

public:
    explicit StagedMimeData(const QString &text);

    // Whether a client fetched one of the text formats since markFetchWatch().
    bool wasFetched() const { return m_fetched; }
    void watchForFetch() { m_fetched = false; }

Q_SIGNALS:
    void fetched();

protected:
    QVariant retrieveData(const QString &mimeType, QMetaType type) const override;

private:
    mutable bool m_fetched = false;
};

// The X11 clipboards (CLIPBOARD and PRIMARY) through QClipboard. Main thread
// only; needs a QGuiApplication.
class ClipboardAccess : public QObject
{
    Q_OBJECT

public:
    explicit ClipboardAccess(X11Desktop &x11);
    // Qt's own format for decoded images; never a format the owner offered.
    static QString qtImageFormat() { return QStringLiteral("application/x-qt-image"); }

    // Bumped whenever another client takes the clipboard over (this process's
    // own writes do not count).
    quint64 changeCount(QClipboard::Mode mode) const;

    // Every format the clipboard offers, with its bytes.
    PasteboardSnapshot snapshot(QClipboard::Mode mode) const;
    // Puts the snapshot back (this process then serves it); an empty
    // snapshot leaves the clipboard empty.
    void restore(const PasteboardSnapshot &snapshot, QClipboard::Mode mode);

    // Puts `text` on the clipboard. Null when the clipboard refused it.
    QPointer<StagedMimeData> stage(const QString &text, QClipboard::Mode mode);
    // Puts `text` on CLIPBOARD as an ordinary copy of the user's. False when
    // the clipboard refused it.
    bool copyText(const QString &text);
    // Whether `staged` is still what the clipboard holds.
    bool holds(const StagedMimeData *staged, QClipboard::Mode mode) const;

    // The plain text on the clipboard, unless it is empty or `excluded`.
    std::optional<QString> plainText(QClipboard::Mode mode, const QString &excluded = {}) const;
    // The text of its rich formats (HTML), unless empty or `excluded`.
    std::optional<QString> richText(QClipboard::Mode mode, const QString &excluded = {}) const;

    // Under XWayland on wlroots compositors (measured on sway 1.7) the
    // compositor hands an X11 client's CLIPBOARD to Wayland windows only
    // when it is written while an X11 window has the focus. Set there.
    void setHandedToWaylandOnlyWhileFocused(bool onlyWhileFocused);
    // Whether the windows of `pid` see what this process writes to
    // CLIPBOARD while they have the focus: a paste is staged and put back
    // then. Not Wayland windows where the compositor hands it over only
    // while an X11 window has the focus.
    bool reachesWhileFocused(qint32 pid) const;

private:
    X11Desktop &m_x11;
    QClipboard *m_clipboard = nullptr;
    quint64 m_changes[2] = {0, 0};
    bool m_handedOverOnlyWhileFocused = false;
};
