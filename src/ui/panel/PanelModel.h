#pragma once

#include "core/session/InstructionRecall.h"
#include "core/session/SessionStatus.h"
#include "core/session/WordDiff.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <QUuid>

class AppState;

// What only the command bar needs on top of the session: the status in
// words, the height of the typed instruction, when the input takes the
// focus, and the "copied" confirmation after Ctrl+C. Main thread only.
class PanelModel : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString statusMessage READ statusMessage NOTIFY statusMessageChanged)
    Q_PROPERTY(QUuid focusToken READ focusToken NOTIFY focusTokenChanged)
    Q_PROPERTY(bool showCopiedFeedback READ showCopiedFeedback NOTIFY showCopiedFeedbackChanged)
    Q_PROPERTY(double inputContentHeight READ inputContentHeight WRITE setInputContentHeight NOTIFY
                   inputContentHeightChanged)
    Q_PROPERTY(bool showsDifference READ showsDifference NOTIFY differenceChanged)

public:
    static constexpr double initialInputContentHeight = 22.0;

    // `copiedFeedbackSeconds`: how long the confirmation shows after the
    // last copy.
    explicit PanelModel(AppState &state, double copiedFeedbackSeconds = 1.5,
                        QObject *parent = nullptr);

    AppState &state() const { return m_state; }

    QString statusMessage() const { return statusText(m_shownStatus); }
    QUuid focusToken() const { return m_focusToken; }
    bool showCopiedFeedback() const { return m_showCopiedFeedback; }
    double inputContentHeight() const { return m_inputContentHeight; }
    void setInputContentHeight(double height);

    // Up in an empty input (or while walking): the next older instruction
    // sent before; Down: the next newer one, an empty text past the newest.
    // Nothing when there is nothing to walk to.
    std::optional<QString> recallOlder(const QString &currentInput);
    std::optional<QString> recallNewer();
    // Typing, or opening the bar again, ends the walk.
    void endRecall() { m_recall.reset(); }

    // Tab: the complete reply shown as its word changes to the selected
    // text, or the reply itself again. False when there is nothing to
    // compare (no selected text, or no complete reply).
    bool toggleDifference();
    bool showsDifference() const { return m_showsDifference; }
    // The changes, once computed (long texts are compared off the main
    // thread); empty meanwhile and while the reply is shown.
    const QList<WordDiff::Segment> &difference() const { return m_difference; }

    // The words the bar shows for `status`.
    static QString statusText(const SessionStatus &status);

Q_SIGNALS:
    void statusMessageChanged();
    void focusTokenChanged();
    void showCopiedFeedbackChanged();
    void inputContentHeightChanged();
    void differenceChanged();

private:
    void followStatus();
    void setShowCopiedFeedback(bool show);
    void compare(const QString &before, const QString &after);
    void hideDifference();

    AppState &m_state;
    SessionStatus m_shownStatus;
    QUuid m_focusToken = QUuid::createUuid();
    bool m_showCopiedFeedback = false;
    double m_inputContentHeight = initialInputContentHeight;
    QTimer m_copiedFeedbackTimer;
    InstructionRecall m_recall;
    bool m_showsDifference = false;
    QList<WordDiff::Segment> m_difference;
    // The comparison whose result still counts.
    QUuid m_differenceID;
};
