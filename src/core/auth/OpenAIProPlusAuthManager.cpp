#include "core/auth/OpenAIProPlusAuthManager.h"

#include "core/support/FileLogger.h"

OpenAIProPlusAuthManager &OpenAIProPlusAuthManager::shared()
{
    static OpenAIProPlusAuthManager manager;
    return manager;
}

OpenAIProPlusAuthManager::OpenAIProPlusAuthManager(KeychainStore keychain)
    : m_keychain(std::move(keychain))
{
}

std::optional<OpenAIProPlusAuthSession> OpenAIProPlusAuthManager::storedSession() const
{
    const std::optional<QString> text = m_keychain.read(m_sessionAccount);
    if (!text)
        return std::nullopt;
    return OpenAIProPlusAuthSession::fromJson(text->toUtf8());
}

void OpenAIProPlusAuthManager::save(const OpenAIProPlusAuthSession &session) const
{
    // QJsonDocument cannot represent NaN or infinity: such a session would be
    // written as something that never reads back.
    if (!qIsFinite(session.expiresAt)) {
        FileLogger::shared().error(
            QStringLiteral("Failed to encode OpenAI Pro/Plus OAuth session."));
        return;
    }
    m_keychain.save(m_sessionAccount, QString::fromUtf8(session.toJson()));
}

std::optional<QString> OpenAIProPlusAuthManager::connectionSummary() const
{
    const auto session = storedSession();
    if (!session)
        return std::nullopt;
    if (session->email && !session->email->isEmpty())
        return *session->email;
    if (session->accountID && !session->accountID->isEmpty())
        return *session->accountID;
    return QStringLiteral("Connected");
}

void OpenAIProPlusAuthManager::disconnect() const
{
    m_keychain.deleteItem(m_sessionAccount);
    FileLogger::shared().info(QStringLiteral("Disconnected OpenAI Pro/Plus session."));
}
