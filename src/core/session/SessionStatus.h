#pragma once

#include <QMetaType>
#include <QString>

// What the bar says under the input, as the session knows it; the bar's
// panel model puts it in words. Texts that come worded from elsewhere (a
// provider's error, a selection or replacement notice) travel as `message`.
struct SessionStatus
{
    enum class Kind {
        none,
        configureProvider,
        interrupted,
        replaceFailed,
        permission,
        writingWhenComplete,
        loadingModel,
        copyFailed,
        message,
    };

    Kind kind = Kind::none;
    QString message;

    // A worded text; an empty one says nothing.
    static SessionStatus worded(const QString &text)
    {
        return text.isEmpty() ? SessionStatus{} : SessionStatus{Kind::message, text};
    }
    bool isNone() const { return kind == Kind::none; }
    bool operator==(const SessionStatus &) const = default;
};

Q_DECLARE_METATYPE(SessionStatus)
