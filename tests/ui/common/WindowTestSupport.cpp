#include "WindowTestSupport.h"

#include "core/auth/OpenAIProPlusAuthManager.h"
#include "core/providers/AIProviderRegistry.h"
#include "core/settings/SettingsStore.h"

#include <QApplication>
#include <QDir>
#include <QPalette>
#include <QPixmap>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>
#include <QUuid>
#include <QWidget>

namespace WindowTestSupport {

RecordedAnalytics::RecordedAnalytics()
    : m_analytics(std::make_unique<AppAnalytics>(std::make_unique<SettingsStore>(),
                                                 AIProviderRegistry::shared(),
                                                 AnalyticsDeliveryOptions{}))
{
    m_analytics->initialize();
    connect(m_analytics->client(), &AnalyticsClient::signalRecorded, this,
            [this](const AnalyticsSignalRecord &record) { m_records.append(record); });
}

RecordedAnalytics::~RecordedAnalytics()
{
    m_analytics->shutdown();
}

void RecordedAnalytics::flush()
{
    const QString marker = QStringLiteral("Test.marker");
    const QString id = QUuid::createUuid().toString();
    m_analytics->signal(marker, {{QStringLiteral("id"), id}});
    QTRY_VERIFY_WITH_TIMEOUT(std::any_of(m_records.cbegin(), m_records.cend(),
                                         [&](const AnalyticsSignalRecord &record) {
                                             return record.type.endsWith(marker) &&
                                                    parameter(record, "id") == id;
                                         }),
                             10000);
}

QList<AnalyticsSignalRecord> RecordedAnalytics::named(const QString &name)
{
    flush();
    QList<AnalyticsSignalRecord> found;
    for (const AnalyticsSignalRecord &record : std::as_const(m_records)) {
        if (record.type == AppAnalytics::signalNamePrefix + name)
            found.append(record);
    }
    return found;
}

QString RecordedAnalytics::parameter(const AnalyticsSignalRecord &record, const QString &key)
{
    return record.payload.value(AppAnalytics::parameterKeyPrefix + key, QStringLiteral("<absent>"));
}

void usePalette(bool dark)
{
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    if (!dark) {
        QApplication::setPalette(QApplication::style()->standardPalette());
        return;
    }
    QPalette palette;
    const QColor window(0x2b, 0x2b, 0x2e);
    const QColor base(0x1f, 0x1f, 0x22);
    const QColor text(0xe8, 0xe8, 0xea);
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::AlternateBase, window);
    palette.setColor(QPalette::ToolTipBase, base);
    palette.setColor(QPalette::ToolTipText, text);
    palette.setColor(QPalette::PlaceholderText, QColor(0x8a, 0x8a, 0x90));
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, QColor(0x38, 0x38, 0x3c));
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::BrightText, Qt::white);
    palette.setColor(QPalette::Highlight, QColor(0x3d, 0x8b, 0xe8));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Link, QColor(0x6c, 0xb4, 0xff));
    palette.setColor(QPalette::Light, QColor(0x48, 0x48, 0x4d));
    palette.setColor(QPalette::Midlight, QColor(0x3c, 0x3c, 0x40));
    palette.setColor(QPalette::Mid, QColor(0x30, 0x30, 0x33));
    palette.setColor(QPalette::Dark, QColor(0x18, 0x18, 0x1a));
    palette.setColor(QPalette::Shadow, Qt::black);
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, QColor(0x78, 0x78, 0x7e));
    QApplication::setPalette(palette);
}

QString saveScreenshot(QWidget *window, const QString &name)
{
    const QString folder =
        QStringLiteral(WRENLARK_TEST_OUTPUT_DIR) + QStringLiteral("/screenshots");
    QDir().mkpath(folder);
    const QString path = folder + QLatin1Char('/') + name + QStringLiteral(".png");
    QCoreApplication::processEvents();
    window->grab().save(path);
    return path;
}

void clearStoredCredentials()
{
    const KeychainStore keychain;
    for (const AIProviderPointer &provider : AIProviderRegistry::shared().providers()) {
        keychain.deleteItem(provider->apiKeyAccount());
        for (const QString &legacy : provider->legacyApiKeyAccounts())
            keychain.deleteItem(legacy);
    }
    keychain.deleteItem(OpenAIProPlusAuthManager::shared().sessionAccount());
}

} // namespace WindowTestSupport
