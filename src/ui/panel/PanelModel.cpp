#include "ui/panel/PanelModel.h"

#include "core/session/AppState.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThreadPool>
#include <cmath>
#include <utility>

namespace {

// Texts up to this many characters together are compared at once; longer
// ones on a worker thread, so the bar never stalls.
constexpr qsizetype immediateComparisonLimit = 4000;

} // namespace

PanelModel::PanelModel(AppState &state, double copiedFeedbackSeconds, QObject *parent)
    : QObject(parent)
    , m_state(state)
    , m_shownStatus(state.status())
    , m_recall(state.instructionHistory())
{
    connect(&state, &AppState::openTokenChanged, this, &PanelModel::endRecall);
    // A new reply, or a new session, shows the reply.
    for (auto signal :
         {&AppState::responseTextChanged, &AppState::openTokenChanged, &AppState::isLoadingChanged})
        connect(&state, signal, this, &PanelModel::hideDifference);
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

bool PanelModel::toggleDifference()
{
    if (m_showsDifference) {
        hideDifference();
        return true;
    }
    const auto &selection = m_state.selectionContext();
    const QString before = selection ? selection->selectedText : QString();
    const QString after = m_state.responseText();
    if (before.isEmpty() || after.isEmpty() || m_state.isLoading())
        return false;
    m_showsDifference = true;
    compare(before, after);
    Q_EMIT differenceChanged();
    return true;
}

void PanelModel::compare(const QString &before, const QString &after)
{
    const QUuid id = QUuid::createUuid();
    m_differenceID = id;
    if (before.size() + after.size() <= immediateComparisonLimit) {
        m_difference = WordDiff::compare(before, after);
        return;
    }
    QPointer<PanelModel> self(this);
    QThreadPool::globalInstance()->start([self, id, before, after] {
        QList<WordDiff::Segment> segments = WordDiff::compare(before, after);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, id, segments = std::move(segments)] {
                if (!self || self->m_differenceID != id)
                    return;
                self->m_difference = segments;
                Q_EMIT self->differenceChanged();
            },
            Qt::QueuedConnection);
    });
}

// Also on every streamed piece of a reply: nothing to do unless shown.
void PanelModel::hideDifference()
{
    if (!std::exchange(m_showsDifference, false))
        return;
    m_differenceID = QUuid();
    m_difference.clear();
    Q_EMIT differenceChanged();
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
