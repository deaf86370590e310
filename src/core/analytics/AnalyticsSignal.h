#pragma once

#include <QMap>
#include <QString>

// Parameters of one analytics signal. All values are strings: booleans
// "true"/"false", numbers in decimal, durations in whole milliseconds.
using AnalyticsParameters = QMap<QString, QString>;

// The names of every signal the application sends, as passed to
// AppAnalytics::signal (the delivery client adds the "Wrenlark." prefix).
namespace AnalyticsSignal {
inline const QString appLaunched = QStringLiteral("App.launched");
inline const QString panelOpened = QStringLiteral("Panel.opened");
inline const QString usageSessionStarted = QStringLiteral("UsageSession.started");
inline const QString usageSessionEnded = QStringLiteral("UsageSession.ended");
inline const QString querySubmitted = QStringLiteral("Query.submitted");
inline const QString querySucceeded = QStringLiteral("Query.succeeded");
inline const QString queryFailed = QStringLiteral("Query.failed");
inline const QString selectionReplaceAttempted = QStringLiteral("Selection.replaceAttempted");
inline const QString selectionReplaceDispatched = QStringLiteral("Selection.replaceDispatched");
inline const QString selectionReplaceFailed = QStringLiteral("Selection.replaceFailed");
inline const QString responseCopied = QStringLiteral("Response.copied");
inline const QString providerConfigured = QStringLiteral("Provider.configured");
inline const QString providerSelected = QStringLiteral("Provider.selected");
inline const QString providerDisconnected = QStringLiteral("Provider.disconnected");
inline const QString settingsOpened = QStringLiteral("Settings.opened");
inline const QString settingsTabSelected = QStringLiteral("Settings.tabSelected");
inline const QString onboardingShown = QStringLiteral("Onboarding.shown");
inline const QString onboardingStepViewed = QStringLiteral("Onboarding.stepViewed");
inline const QString onboardingStepCompleted = QStringLiteral("Onboarding.stepCompleted");
inline const QString onboardingCompleted = QStringLiteral("Onboarding.completed");
inline const QString accessibilityPermissionRequested =
    QStringLiteral("Accessibility.permissionRequested");
inline const QString accessibilityPermissionGranted =
    QStringLiteral("Accessibility.permissionGranted");
} // namespace AnalyticsSignal

// Parameter keys shared by several senders.
namespace AnalyticsParameter {
// Added to every signal by the default-parameter provider.
inline const QString currentProviderID = QStringLiteral("currentProviderID");
inline const QString configuredProviderCount = QStringLiteral("configuredProviderCount");
inline const QString hasConfiguredProvider = QStringLiteral("hasConfiguredProvider");
inline const QString hasCompletedOnboarding = QStringLiteral("hasCompletedOnboarding");
inline const QString usageSessionID = QStringLiteral("usageSessionID");
inline const QString usageSessionQueryCount = QStringLiteral("usageSessionQueryCount");
inline const QString usageSessionEntryPoint = QStringLiteral("usageSessionEntryPoint");

inline const QString entryPoint = QStringLiteral("entryPoint");
inline const QString hasImageContext = QStringLiteral("hasImageContext");
inline const QString endReason = QStringLiteral("endReason");
inline const QString queryCount = QStringLiteral("queryCount");
inline const QString durationMilliseconds = QStringLiteral("durationMilliseconds");
inline const QString providerID = QStringLiteral("providerID");
inline const QString model = QStringLiteral("model");
inline const QString action = QStringLiteral("action");
inline const QString selectionState = QStringLiteral("selectionState");
inline const QString usesSavedCommand = QStringLiteral("usesSavedCommand");
inline const QString hadSelectionContext = QStringLiteral("hadSelectionContext");
inline const QString hadImageContext = QStringLiteral("hadImageContext");
inline const QString errorCategory = QStringLiteral("errorCategory");
inline const QString reusedExistingResponse = QStringLiteral("reusedExistingResponse");
inline const QString location = QStringLiteral("location");
inline const QString authenticationMode = QStringLiteral("authenticationMode");
inline const QString source = QStringLiteral("source");
inline const QString tab = QStringLiteral("tab");
} // namespace AnalyticsParameter

// Fixed parameter values.
namespace AnalyticsValue {
inline const QString keyboardShortcut = QStringLiteral("keyboard_shortcut"); // entry point, source
inline const QString screenSelection = QStringLiteral("screen_selection");   // entry point
inline const QString menuBar = QStringLiteral("menu_bar");        // Settings.opened source
inline const QString preferences = QStringLiteral("preferences"); // location
inline const QString onboarding = QStringLiteral("onboarding");   // location
inline const QString tabCommands = QStringLiteral("commands");
inline const QString tabProviders = QStringLiteral("providers");
inline const QString tabGeneral = QStringLiteral("general");

inline QString boolean(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}
} // namespace AnalyticsValue
