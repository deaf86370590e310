#pragma once

#include "core/desktop/ReplacementService.h"
#include "platform/linux/replacement/PasteOperation.h"

#include <QObject>
#include <memory>

class KeySynthesizer;
class LinuxDesktopConnections;
class RunningApplications;
class TargetAppClassifier;

// Writes a reply over the selection on the Linux desktop: through AT-SPI
// EditableText when the selection came from an accessible element of an
// ordinary application, else by pasting. Lives on the main thread.
class LinuxReplacementService : public QObject, public ReplacementService
{
    Q_OBJECT

public:
    // `keys` types the paste keystroke.
    LinuxReplacementService(LinuxDesktopConnections &desktop,
                            std::shared_ptr<RunningApplications> applications,
                            std::shared_ptr<TargetAppClassifier> classifier,
                            std::shared_ptr<KeySynthesizer> keys, QObject *parent = nullptr);

    // Shorter waits for tests.
    void setPasteTiming(const PasteOperation::Timing &timing) { m_pasteTiming = timing; }

    ReplacementOperation *replaceSelection(const SelectionContext &context, const QString &text,
                                           QObject *parent) override;

private:
    void paste(ReplacementOperation *operation, const QString &text, qint32 pid,
               const CancellationFlag &cancellation);

    LinuxDesktopConnections &m_desktop;
    std::shared_ptr<RunningApplications> m_applications;
    std::shared_ptr<TargetAppClassifier> m_classifier;
    std::shared_ptr<KeySynthesizer> m_keys;
    PasteOperation::Timing m_pasteTiming;
};
