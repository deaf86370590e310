#pragma once

#include "core/desktop/SelectionService.h"

#include <QObject>
#include <memory>

class AccessibilityTrust;
class KeySynthesizer;
class LinuxDesktopConnections;
class RunningApplications;
class TargetAppClassifier;
struct AtspiReadOutcome;

// Reads the selection of another application on the Linux desktop, cheapest
// and most exact first: AT-SPI (on its worker thread), then the X11 PRIMARY
// selection when the target owns it, then, if the caller allows, the
// clipboard probe. Lives on the main thread.
class LinuxSelectionService : public QObject, public SelectionService
{
    Q_OBJECT

public:
    // Which strategies run (all by default); for measuring them one by one.
    struct Strategies
    {
        bool accessibility = true;
        bool primarySelection = true;
    };

    // `classifier` must be callable from any thread; `keys` types the
    // clipboard probe's copy keystroke.
    LinuxSelectionService(LinuxDesktopConnections &desktop,
                          std::shared_ptr<RunningApplications> applications,
                          std::shared_ptr<TargetAppClassifier> classifier,
                          std::shared_ptr<AccessibilityTrust> trust,
                          std::shared_ptr<KeySynthesizer> keys, QObject *parent = nullptr);

    void setStrategies(Strategies strategies) { m_strategies = strategies; }

    SelectionFetch *fetchSelection(const SelectionRequest &request, QObject *parent) override;
    SelectionFetch *fetchSelectionViaClipboardOnly(const SelectionRequest &request,
                                                   QObject *parent) override;

private:
    bool checkPermission(const SelectionRequest &request, const char *context);
    void continueWithoutAccessibility(SelectionFetch *fetch, const SelectionRequest &request,
                                      const AtspiReadOutcome &outcome);
    void probeClipboard(SelectionFetch *fetch, const SelectionRequest &request, qint32 pid,
                        const QString &reason, AccessibleElementRef element);

    LinuxDesktopConnections &m_desktop;
    std::shared_ptr<RunningApplications> m_applications;
    std::shared_ptr<TargetAppClassifier> m_classifier;
    std::shared_ptr<AccessibilityTrust> m_trust;
    std::shared_ptr<KeySynthesizer> m_keys;
    Strategies m_strategies;
};
