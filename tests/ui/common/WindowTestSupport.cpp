#include "WindowTestSupport.h"

#include "core/auth/OpenAIProPlusAuthManager.h"
#include "core/providers/AIProviderRegistry.h"
#include "core/settings/SettingsStore.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QPalette>
#include <QPixmap>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>
#include <QUuid>
#include <QWidget>

namespace WindowTestSupport {

RecordedAnalytics::RecordedAnalytics(std::shared_ptr<SecretStore> secrets)
    : m_analytics(
          std::make_unique<AppAnalytics>(std::make_unique<SettingsStore>(std::move(secrets)),
                                         AIProviderRegistry::shared(), AnalyticsDeliveryOptions{}))
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

namespace {

QFont &defaultFont()
{
    static QFont font = QApplication::font();
    return font;
}

bool insideScrollArea(const QWidget *widget, const QWidget *window)
{
    for (const QWidget *parent = widget->parentWidget(); parent && parent != window;
         parent = parent->parentWidget())
        if (qobject_cast<const QAbstractScrollArea *>(parent))
            return true;
    return false;
}

// The room a label's or button's text needs; empty for other widgets.
QSize neededSize(const QWidget *widget, QString *text)
{
    if (const auto *list = qobject_cast<const QListWidget *>(widget)) {
        // Its widest item, beside the icon and the item's margins.
        int widest = 0;
        for (int row = 0; row < list->count(); ++row)
            widest =
                std::max(widest, list->fontMetrics().horizontalAdvance(list->item(row)->text()));
        *text = list->accessibleName();
        return {widest + list->iconSize().width() + 2 * list->frameWidth() + 4 * list->spacing() +
                    12,
                0};
    }
    if (const auto *label = qobject_cast<const QLabel *>(widget)) {
        *text = label->text();
        if (!label->wordWrap())
            return label->minimumSizeHint();
        return {label->minimumSizeHint().width(), label->heightForWidth(label->width())};
    }
    if (const auto *button = qobject_cast<const QAbstractButton *>(widget)) {
        *text = button->text();
        if (button->hasHeightForWidth())
            return {button->minimumSizeHint().width(), button->heightForWidth(button->width())};
        const QFontMetrics metrics(button->font());
        return {metrics.horizontalAdvance(button->text()), metrics.height()};
    }
    return {};
}

} // namespace

void useLargeTextAndHighContrast(qreal fontScale)
{
    defaultFont();
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QFont font = defaultFont();
    font.setPointSizeF(font.pointSizeF() * fontScale);
    QApplication::setFont(font);
    // As GNOME's high contrast: black on white, strong accents.
    QPalette palette(Qt::black, Qt::white);
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::Text, Qt::black);
    palette.setColor(QPalette::Button, Qt::white);
    palette.setColor(QPalette::ButtonText, Qt::black);
    palette.setColor(QPalette::Highlight, QColor(0x00, 0x3c, 0xa0));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Link, QColor(0x00, 0x30, 0x90));
    palette.setColor(QPalette::PlaceholderText, QColor(0x40, 0x40, 0x40));
    QApplication::setPalette(palette);
}

QStringList cutTexts(QWidget *window)
{
    // Layouts settle in posted events.
    QCoreApplication::processEvents();
    QStringList cut;
    const QList<QWidget *> widgets = window->findChildren<QWidget *>();
    for (const QWidget *widget : widgets) {
        QString text;
        const QSize needed = neededSize(widget, &text);
        if (text.isEmpty() || !widget->isVisibleTo(window))
            continue;
        const QRect place(widget->mapTo(window, QPoint()), widget->size());
        const bool outside = !insideScrollArea(widget, window) && !window->rect().contains(place);
        if (needed.width() > widget->width() || needed.height() > widget->height() || outside)
            cut << QStringLiteral("%1 \"%2\": needs %3x%4, has %5x%6 at %7,%8")
                       .arg(QString::fromLatin1(widget->metaObject()->className()), text)
                       .arg(needed.width())
                       .arg(needed.height())
                       .arg(widget->width())
                       .arg(widget->height())
                       .arg(place.x())
                       .arg(place.y());
    }
    return cut;
}

void usePalette(bool dark)
{
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setFont(defaultFont());
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

void clearStoredCredentials(const std::shared_ptr<SecretStore> &secrets)
{
    const KeychainStore keychain(secrets);
    for (const AIProviderPointer &provider : AIProviderRegistry::shared().providers()) {
        keychain.deleteItem(provider->apiKeyAccount());
        for (const QString &legacy : provider->legacyApiKeyAccounts())
            keychain.deleteItem(legacy);
    }
    keychain.deleteItem(OpenAIProPlusAuthManager::shared().sessionAccount());
}

} // namespace WindowTestSupport
