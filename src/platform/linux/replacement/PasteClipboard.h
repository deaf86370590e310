#pragma once

#include <QClipboard>
#include <QObject>
#include <functional>
#include <memory>

class LinuxDesktopConnections;

// The clipboard a paste goes through: the one the target application reads
// when its paste key is typed. It saves what the user had, stages the text,
// tells when the target took it, and puts the user's clipboard back.
class PasteClipboard
{
public:
    virtual ~PasteClipboard() = default;

    // X11's CLIPBOARD (or PRIMARY, for `mode` Selection) through Qt; where
    // the compositor hands that to no Wayland window that has the focus
    // (sway under XWayland) and the target has no X11 window, the Wayland
    // clipboard through the data-control protocol, when the compositor
    // offers it.
    static std::unique_ptr<PasteClipboard> forTarget(qint32 pid, QClipboard::Mode mode,
                                                     LinuxDesktopConnections &desktop);

    // Whether the target's windows read this clipboard while they have the
    // focus.
    virtual bool reaches(qint32 pid) const = 0;
    // How long the target needs after it took the focus before its paste
    // key finds the staged text, at least.
    virtual double settleSeconds() const = 0;
    // Saves the user's clipboard, then calls `then` (unless `context` is
    // gone) with whether it could.
    virtual void save(QObject *context, std::function<void(bool saved)> then) = 0;
    // Puts `text` there for a moment; false when the clipboard refused it.
    virtual bool stage(const QString &text) = 0;
    virtual void watchForFetch() = 0;
    // Whether a client fetched the staged text since watchForFetch().
    virtual bool wasFetched() const = 0;
    // Puts the saved clipboard back, unless something else replaced the
    // staged text meanwhile.
    virtual void restore() = 0;
    // Puts `text` there as an ordinary copy of the user's; false when the
    // clipboard refused it.
    virtual bool copy(const QString &text) = 0;
};
