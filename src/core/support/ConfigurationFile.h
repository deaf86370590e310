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

template<typename T>
using Decoder = std::function<std::optional<T>(const QByteArray &json, QString *errorMessage)>;

// The user's file when it exists and decodes; otherwise (an unreadable or
// invalid user file is logged as an ERROR naming it, described by `what`) the
// built-in resource ":/<fileName>", whose failure is a packaging error that
// stops the program.
template<typename T> T load(const QString &fileName, const QString &what, const Decoder<T> &decode);

namespace detail {
std::optional<QByteArray> readUserFile(const QString &fileName, QString *problem);
void logIgnoredUserFile(const QString &fileName, const QString &what, const QString &problem);
QByteArray readBuiltIn(const QString &fileName);
[[noreturn]] void failBuiltIn(const QString &fileName);
} // namespace detail

template<typename T> T load(const QString &fileName, const QString &what, const Decoder<T> &decode)
{
    QString problem;
    if (const auto userJson = detail::readUserFile(fileName, &problem)) {
        if (auto value = decode(*userJson, &problem))
            return *value;
    }
    if (!problem.isEmpty())
        detail::logIgnoredUserFile(fileName, what, problem);
    if (auto builtIn = decode(detail::readBuiltIn(fileName), nullptr))
        return *builtIn;
    detail::failBuiltIn(fileName);
}

} // namespace ConfigurationFile
