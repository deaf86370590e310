#include "WaylandClipboard.h"

#include "support/DesktopTestSession.h"

namespace WaylandClipboard {

QString text()
{
    const auto result =
        DesktopTestSession::run(QStringLiteral("wl-paste"), {QStringLiteral("--no-newline")});
    return result.exitCode == 0 ? QString::fromUtf8(result.output) : QString();
}

void setText(const QString &text)
{
    DesktopTestSession::run(QStringLiteral("wl-copy"), {text});
}

} // namespace WaylandClipboard
