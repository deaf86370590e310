#pragma once

#include "ResidentApp.h"

#include <QCoreApplication>
#include <QList>
#include <QStringList>
#include <algorithm>
#include <cstdio>

// What the shortcut benchmarks share: the running `wrenlark`, how many
// presses to time (`--presses N`, 30 by default) and the line they print.
namespace ShortcutPresses {

// The `wrenlark` that ResidentApp starts, unless the caller names another.
inline void useBinary(const char *path)
{
    if (!qEnvironmentVariableIsSet("WRENLARK_BINARY"))
        qputenv("WRENLARK_BINARY", path);
}

// Starts it with setup complete; says so when it did not start.
inline bool start(ResidentApp &wrenlark, const char *bench)
{
    wrenlark.setSetting(QStringLiteral("did_complete_onboarding"), true);
    if (wrenlark.start())
        return true;
    std::fprintf(stderr, "%s: wrenlark did not start\n", bench);
    return false;
}

inline int count(const QStringList &arguments)
{
    const qsizetype at = arguments.indexOf(QStringLiteral("--presses"));
    return at > 0 && at + 1 < arguments.size() ? arguments.at(at + 1).toInt() : 30;
}

inline double percentile(QList<double> values, double p)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    return values.at(qMin(values.size() - 1, qsizetype(p * double(values.size()))));
}

// `opens`: milliseconds from each press to the focused bar.
inline void print(const char *desktop, const QList<double> &opens, int failures)
{
    std::printf("%s: shortcut press to focused bar over %lld presses: p50 %.1f ms, p95 %.1f ms, "
                "max %.1f ms, %d without a focused bar\n",
                desktop, static_cast<long long>(opens.size()), percentile(opens, 0.5),
                percentile(opens, 0.95),
                opens.isEmpty() ? 0.0 : *std::max_element(opens.begin(), opens.end()), failures);
}

} // namespace ShortcutPresses
