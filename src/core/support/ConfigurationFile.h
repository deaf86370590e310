#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <functional>
#include <optional>

// Configuration data that ships in the application's resources and that the
// user may replace with a file of the same name and form in
// $XDG_CONFIG_HOME/Wrenlark/.
namespace ConfigurationFile {

// $XDG_CONFIG_HOME when it is an absolute path, else ~/.config.
QString configHome();

// configHome()/Wrenlark/<fileName>
QString userFilePath(const QString &fileName);

// The JSON object in `json` (empty when the document is not an object, so
// the caller reports the member it misses); nothing, with the reason in
// `errorMessage`, when it does not parse.
std::optional<QJsonObject> parseObject(const QByteArray &json, QString *errorMessage);

// "localhost" or a loopback address: where plain http is acceptable.
bool isLoopbackHost(const QString &host);

// Whether plain http may reach `host` because the user named it as a host of
// their own network: an address of a private, unique-local or link-local
// range, or a name that only resolves inside one (a single label, or one
// ending in .local, .lan, .home.arpa or .internal).
bool isPrivateNetworkHost(const QString &host);

// No configuration file of this program is anywhere near this size; a larger
// one is refused before it is read into memory.
inline constexpr qint64 maximumFileBytes = 4 * 1024 * 1024;

template<typename T>
using Decoder = std::function<std::optional<T>(const QByteArray &json, QString *errorMessage)>;

// What a user file that exists could not give: the reason, and the bytes
// read from it (none when it could not be opened; at most maximumFileBytes).
struct Refusal
{
    QString problem;
    QByteArray contents;
};

template<typename T> using Fallback = std::function<T(const std::optional<Refusal> &refusal)>;

// The user's file at `userPath` decoded by `decodeUser` when it exists and
// decodes; otherwise what `fallback` makes of the refusal (nothing when there
// is no file at all).
template<typename T>
T loadFrom(const QString &userPath, const Decoder<T> &decodeUser, const Fallback<T> &fallback);

// The built-in resource ":/<fileName>" decoded; its failure is a packaging
// error that stops the program.
template<typename T> T loadBuiltIn(const QString &fileName, const Decoder<T> &decode);

// The user's file when it exists and decodes; otherwise (an unreadable or
// invalid user file is logged as an ERROR naming it, described by `what`) the
// built-in resource ":/<fileName>".
template<typename T> T load(const QString &fileName, const QString &what, const Decoder<T> &decode);

namespace detail {
// Nothing when the file does not exist, or (with `problem` set) when it
// cannot be read or is larger than maximumFileBytes; `contents` then holds
// what was read.
std::optional<QByteArray> readUserFile(const QString &path, QString *problem, QByteArray *contents);
void logIgnoredUserFile(const QString &path, const QString &what, const QString &problem);
QByteArray readBuiltIn(const QString &fileName);
[[noreturn]] void failBuiltIn(const QString &fileName);
} // namespace detail

template<typename T>
T loadFrom(const QString &userPath, const Decoder<T> &decodeUser, const Fallback<T> &fallback)
{
    Refusal refusal;
    const auto userJson = detail::readUserFile(userPath, &refusal.problem, &refusal.contents);
    if (!userJson)
        return fallback(refusal.problem.isEmpty() ? std::nullopt : std::optional(refusal));
    if (auto value = decodeUser(*userJson, &refusal.problem))
        return *value;
    refusal.contents = *userJson;
    return fallback(refusal);
}

template<typename T> T loadBuiltIn(const QString &fileName, const Decoder<T> &decode)
{
    if (auto builtIn = decode(detail::readBuiltIn(fileName), nullptr))
        return *builtIn;
    detail::failBuiltIn(fileName);
}

template<typename T> T load(const QString &fileName, const QString &what, const Decoder<T> &decode)
{
    const QString userPath = userFilePath(fileName);
    return loadFrom<T>(userPath, decode, [&](const std::optional<Refusal> &refusal) {
        if (refusal)
            detail::logIgnoredUserFile(userPath, what, refusal->problem);
        return loadBuiltIn(fileName, decode);
    });
}

} // namespace ConfigurationFile
