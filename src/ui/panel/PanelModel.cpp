#include "ui/panel/PanelModel.h"

#include "core/session/AppState.h"

#include <cmath>

PanelModel::PanelModel(AppState &state, double copiedFeedbackSeconds, QObject *parent)
    : QObject(parent)
    , m_state(state)
    , m_shownStatus(state.status())
    , m_recall(state.instructionHistory())
{
    connect(&state, &AppState::openTokenChanged, this, &PanelModel::endRecall);
    m_copiedFeedbackTimer.setSingleShot(true);
    m_copiedFeedbackTimer.setInterval(int(std::lround(copiedFeedbackSeconds * 1000)));
    connect(&m_copiedFeedbackTimer, &QTimer::timeout, this,
            [this] { setShowCopiedFeedback(false); });
    connect(&state, &AppState::statusChanged, this, &PanelModel::followStatus);
    connect(&state, &AppState::inputFocusRequested, this, [this] {
        m_focusToken = QUuid::createUuid();
        Q_EMIT focusTokenChanged();
    });
    connect(&state, &AppState::responseCopied, this, [this] {
        setShowCopiedFeedback(true);
        m_copiedFeedbackTimer.start();
    });
}

void PanelModel::setInputContentHeight(double height)
{
    if (m_inputContentHeight == height)
        return;
    m_inputContentHeight = height;
    Q_EMIT inputContentHeightChanged();
}

std::optional<QString> PanelModel::recallOlder(const QString &currentInput)
{
    return m_recall.older(currentInput);
}

std::optional<QString> PanelModel::recallNewer()
{
    return m_recall.newer();
}

QString PanelModel::statusText(const SessionStatus &status)
{
    using Kind = SessionStatus::Kind;
    switch (status.kind) {
    case Kind::none:
        return {};
    case Kind::configureProvider:
        return tr("Configure any AI provider in Settings");
    case Kind::interrupted:
        return tr("Response interrupted; content may be incomplete.");
    case Kind::replaceFailed:
        return tr("Couldn't replace the selection.");
    case Kind::permission:
        return tr("Enable Accessibility permission to read selections.");
    case Kind::writingWhenComplete:
        return tr("Writing when the reply is complete\u2026");
    case Kind::loadingModel:
        return tr("Loading the model\u2026");
    case Kind::copyFailed:
        return tr("Couldn't copy the response to the clipboard.");
    case Kind::message:
        return status.message;
    }
    return {};
}

void PanelModel::followStatus()
{
    const SessionStatus status = m_state.status();
    const bool wordsChanged = statusText(status) != statusText(m_shownStatus);
    m_shownStatus = status;
    if (wordsChanged)
        Q_EMIT statusMessageChanged();
}

void PanelModel::setShowCopiedFeedback(bool show)
{
    if (m_showCopiedFeedback == show)
        return;
    m_showCopiedFeedback = show;
    Q_EMIT showCopiedFeedbackChanged();
}
