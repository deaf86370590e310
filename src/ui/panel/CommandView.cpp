#include "ui/panel/CommandView.h"

#include "core/analytics/UsageSessionEndReason.h"
#include "core/session/AppState.h"
#include "core/session/WordDiff.h"
#include "ui/common/LiveRegion.h"
#include "ui/panel/BarStyle.h"
#include "ui/panel/CommandChip.h"
#include "ui/panel/CommandInputField.h"
#include "ui/panel/CopyHintButton.h"
#include "ui/panel/LoadingStreakOverlay.h"
#include "ui/panel/PanelModel.h"
#include "ui/panel/ResponseTextView.h"

#include <QAbstractTextDocumentLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QRandomGenerator>
#include <QScreen>
#include <QScrollBar>
#include <QTextDocument>
#include <QVBoxLayout>
#include <cmath>
#include <utility>

namespace {

constexpr int thumbnailHeight = 20;
constexpr int thumbnailRadius = 3;

// The changes on the bar's dark background: deletions struck through in
// red, insertions underlined in green, both legible without the colour.
QString differenceHtml(const QList<WordDiff::Segment> &segments)
{
    QString html = QStringLiteral("<p style=\"white-space: pre-wrap\">");
    for (const WordDiff::Segment &segment : segments) {
        const QString text = segment.text.toHtmlEscaped();
        switch (segment.kind) {
        case WordDiff::Segment::Kind::Equal:
            html += text;
            break;
        case WordDiff::Segment::Kind::Deleted:
            html += QStringLiteral("<span style=\"color: #ff9b93; background-color: #4a1d1b; "
                                   "text-decoration: line-through\">%1</span>")
                        .arg(text);
            break;
        case WordDiff::Segment::Kind::Inserted:
            html += QStringLiteral("<span style=\"color: #9be3a6; background-color: #1b3f24; "
                                   "text-decoration: underline\">%1</span>")
                        .arg(text);
            break;
        }
    }
    return html + QStringLiteral("</p>");
}
constexpr int statusSpacing = 8;
constexpr int copyHintMargin = 0;
constexpr int noScreenInputMaxHeight = 320;
constexpr int noScreenResponseLimit = 400;

QMargins sectionMargins()
{
    return {BarStyle::barPadding, BarStyle::sectionContentVerticalPadding, BarStyle::barPadding,
            BarStyle::sectionContentVerticalPadding};
}

QPixmap roundedThumbnail(const QImage &image, const QSize &size, qreal devicePixelRatio)
{
    QPixmap pixmap(size * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    QPainterPath clip;
    clip.addRoundedRect(QRectF(QPointF(0, 0), QSizeF(size)), thumbnailRadius, thumbnailRadius);
    painter.setClipPath(clip);
    painter.drawImage(QRectF(QPointF(0, 0), QSizeF(size)), image);
    return pixmap;
}

} // namespace

QStringList CommandView::placeholders()
{
    return {tr("Ask anything..."),
            tr("What does this word mean?..."),
            tr("Translate to English..."),
            tr("Improve my reply..."),
            tr("Summarize..."),
            tr("Write reply..."),
            tr("Fix grammar...")};
}

CommandView::CommandView(PanelModel &model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
    , m_appState(model.state())
{
    setObjectName(QStringLiteral("CommandView"));
    setFixedWidth(BarStyle::barWidth);
    setAttribute(Qt::WA_TranslucentBackground);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setSizeConstraint(QLayout::SetNoConstraint);
    buildChrome();
    buildResponseSection();
    layout->addWidget(m_chrome);
    layout->addWidget(m_responseSection);
    layout->addStretch(1);
    m_overlay = new LoadingStreakOverlay(this);
    m_overlay->raise();
    connectState();
    updateHeader();
    updateStatus();
    updateChip();
    updateInputHeight();
    pickRandomPlaceholderForCurrentOpen();
}

void CommandView::buildChrome()
{
    m_chrome = new QWidget(this);
    auto *chromeLayout = new QVBoxLayout(m_chrome);
    chromeLayout->setContentsMargins(0, 0, 0, 0);
    chromeLayout->setSpacing(0);

    m_header = new QWidget(m_chrome);
    m_header->setObjectName(QStringLiteral("header"));
    auto *headerLayout = new QHBoxLayout(m_header);
    headerLayout->setContentsMargins(sectionMargins());
    headerLayout->setSpacing(8);
    m_thumbnail = new QLabel(m_header);
    m_thumbnail->setAccessibleName(tr("Captured image"));
    m_marker = new QWidget(m_header);
    m_marker->setFixedSize(3, 14);
    m_marker->setAutoFillBackground(true);
    QPalette markerPalette = m_marker->palette();
    markerPalette.setColor(QPalette::Window, BarStyle::loadingColors().first());
    m_marker->setPalette(markerPalette);
    m_preview = new QLabel(m_header);
    m_preview->setFont(BarStyle::bodyFont());
    m_preview->setTextFormat(Qt::PlainText);
    m_preview->setStyleSheet(QStringLiteral("color: rgba(255, 255, 255, 166);"));
    m_preview->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_preview->setAccessibleName(tr("Selected text"));
    headerLayout->addWidget(m_thumbnail);
    headerLayout->addWidget(m_marker);
    m_turn = new QLabel(m_header);
    m_turn->setFont(BarStyle::bodyFont());
    m_turn->setStyleSheet(QStringLiteral("color: rgba(255, 255, 255, 166);"));
    m_turn->setToolTip(tr("Ctrl+Shift+Backspace starts over with the selection alone"));
    m_turn->setAccessibleDescription(m_turn->toolTip());
    m_turn->hide();
    headerLayout->addWidget(m_preview, 1);
    headerLayout->addStretch(0);
    headerLayout->addWidget(m_turn);

    m_inputArea = new QWidget(m_chrome);
    auto *inputLayout = new QVBoxLayout(m_inputArea);
    inputLayout->setContentsMargins(sectionMargins());
    inputLayout->setSpacing(statusSpacing);
    m_inputRow = new QWidget(m_inputArea);
    auto *rowLayout = new QHBoxLayout(m_inputRow);
    rowLayout->setContentsMargins(0, 0, 0, 0);
    m_chip = new CommandChip(m_inputArea);
    m_input = new CommandInputField(m_inputRow);
    m_input->setHorizontalTextInset(BarStyle::commandInputTextInset);
    rowLayout->addWidget(m_input);
    m_chip->stackUnder(m_inputRow);
    m_status = new QLabel(m_inputArea);
    m_status->setFont(BarStyle::systemFont(BarStyle::captionPixelSize));
    m_status->setTextFormat(Qt::PlainText);
    m_status->setWordWrap(true);
    m_status->setStyleSheet(QStringLiteral("color: %1;").arg(BarStyle::statusColor().name()));
    m_status->setAccessibleDescription(tr("Status"));
    LiveRegion::mark(m_status);
    m_status->setContentsMargins(BarStyle::commandInputTextInset, 0, 0, 0);
    inputLayout->addWidget(m_inputRow);
    inputLayout->addWidget(m_status);

    chromeLayout->addWidget(m_header);
    chromeLayout->addWidget(m_inputArea);

    m_input->onSubmit = [this](SubmitAction action) { m_appState.submit(action); };
    m_input->onEscape = [this] { m_appState.handleEscape(UsageSessionEndReason::escapeKey); };
    m_input->onChange = [this](const QString &text) {
        m_model.endRecall();
        m_appState.inputChanged(text);
        updateChip();
    };
    m_input->onCompare = [this] { return m_model.toggleDifference(); };
    m_input->onStartOver = [this] {
        if (m_appState.turns().isEmpty())
            return false;
        m_appState.startOver();
        return true;
    };
    m_input->onRecall = [this](bool older) {
        const auto recalled = older ? m_model.recallOlder(m_input->text()) : m_model.recallNewer();
        if (recalled)
            m_appState.inputChanged(*recalled);
        return recalled.has_value();
    };
    m_input->onHeightChange = [this](double height) { m_model.setInputContentHeight(height); };
}

void CommandView::buildResponseSection()
{
    m_responseSection = new QWidget(this);
    m_responseSection->setObjectName(QStringLiteral("responseSection"));
    auto *layout = new QVBoxLayout(m_responseSection);
    layout->setContentsMargins(sectionMargins());
    layout->setSpacing(0);
    m_response = new ResponseTextView(m_responseSection);
    layout->addWidget(m_response);
    m_copyHint = new CopyHintButton(m_responseSection);
    m_copyHint->raise();
    connect(m_copyHint, &QAbstractButton::clicked, this,
            [this] { m_appState.copyResponseToClipboard(); });
    m_responseSection->hide();
}

void CommandView::connectState()
{
    AppState *state = &m_appState;
    connect(&m_model, &PanelModel::focusTokenChanged, this, [this] { m_input->focusSoon(); });
    connect(state, &AppState::openTokenChanged, this,
            &CommandView::pickRandomPlaceholderForCurrentOpen);
    connect(state, &AppState::isLoadingChanged, this, [this] {
        m_overlay->resetPhase();
        m_overlay->setLoading(m_appState.isLoading());
        refreshRenderedResponseIfNeeded();
        // A reply that stopped at the visible limit while it streamed gets
        // its real height once it is complete, changed text or not.
        if (!m_appState.isLoading() && m_streamedResponseReachedVisibleLimit)
            updateResponseHeight();
        announceEndOfReply();
    });
    connect(state, &AppState::responseTextChanged, this,
            &CommandView::refreshRenderedResponseIfNeeded);
    connect(state, &AppState::inputTextChanged, this, [this] {
        m_input->setBoundText(m_appState.inputText());
        updateChip();
    });
    connect(state, &AppState::executingCommandTextChanged, this, &CommandView::updateChip);
    connect(state, &AppState::executingCommandInstructionChanged, this, &CommandView::updateChip);
    connect(state, &AppState::hasSelectionChanged, this, &CommandView::updateHeader);
    connect(state, &AppState::selectedTextPreviewChanged, this, &CommandView::updateHeader);
    connect(state, &AppState::capturedImageChanged, this, &CommandView::updateHeader);
    connect(state, &AppState::turnsChanged, this, &CommandView::updateHeader);
    connect(&m_model, &PanelModel::statusMessageChanged, this, &CommandView::updateStatus);
    connect(&m_model, &PanelModel::showCopiedFeedbackChanged, this,
            [this] { m_copyHint->setShowsCopied(m_model.showCopiedFeedback()); });
    connect(&m_model, &PanelModel::inputContentHeightChanged, this,
            &CommandView::updateInputHeight);
    connect(&m_model, &PanelModel::differenceChanged, this, &CommandView::showDifference);
}

QStringList CommandView::placeholderCandidates(bool hasSelection)
{
    QStringList candidates = placeholders();
    if (hasSelection)
        candidates.removeFirst();
    return candidates;
}

void CommandView::pickRandomPlaceholderForCurrentOpen()
{
    const QStringList candidates = placeholderCandidates(m_appState.hasSelection());
    m_sessionPlaceholder =
        candidates.at(int(QRandomGenerator::global()->bounded(quint32(candidates.size()))));
    m_input->setPlaceholder(currentPlaceholder());
}

QString CommandView::currentPlaceholder() const
{
    if (!m_sessionPlaceholder.isEmpty())
        return m_sessionPlaceholder;
    return placeholderCandidates(m_appState.hasSelection()).first();
}

std::optional<std::pair<QString, QString>> CommandView::activeCommandIndicator() const
{
    const auto command = m_appState.executingCommandText();
    const auto instruction = m_appState.executingCommandInstruction();
    if (!command || !instruction)
        return std::nullopt;
    if (m_appState.inputText().trimmed() != *command)
        return std::nullopt;
    return std::make_pair(*command, *instruction);
}

double CommandView::inputMaxHeight(const std::optional<QRect> &visibleFrame)
{
    const double height =
        visibleFrame ? visibleFrame->height() / 2.0 - 80.0 : double(noScreenInputMaxHeight);
    return std::max(22.0, height);
}

QScreen *CommandView::barScreen() const
{
    if (window() && window()->screen() && window()->isVisible())
        return window()->screen();
    return QGuiApplication::primaryScreen();
}

int CommandView::chromeHeight() const
{
    QLayout *layout = m_chrome->layout();
    layout->activate();
    return layout->hasHeightForWidth() ? layout->heightForWidth(BarStyle::barWidth)
                                       : layout->sizeHint().height();
}

double CommandView::visibleResponseLimit() const
{
    const QScreen *screen = barScreen();
    const double half =
        screen ? screen->availableGeometry().height() / 2.0 : double(noScreenResponseLimit);
    // The response section's own padding counts too: without it a reply at
    // the limit ran past the bar's bottom edge, copy hint and all.
    return std::max(0.0, half - chromeHeight() - 2.0 * BarStyle::sectionContentVerticalPadding);
}

int CommandView::measuredResponseHeight(QTextDocument *document, int width)
{
    if (width <= 0 || document->isEmpty())
        return 0;
    // Setting even the same width lays the whole document out again.
    if (document->documentMargin() != 0)
        document->setDocumentMargin(0);
    if (document->textWidth() != width)
        document->setTextWidth(width);
    return int(std::ceil(document->documentLayout()->documentSize().height()));
}

QSize CommandView::thumbnailSize(const QSize &imageSize)
{
    if (imageSize.isEmpty())
        return {};
    if (imageSize.height() <= 1)
        return {imageSize.width(), imageSize.height()};
    const double scale = std::min(double(thumbnailHeight) / imageSize.height(), 1.0);
    return {std::max(1, int(std::round(imageSize.width() * scale))),
            std::max(1, int(std::round(imageSize.height() * scale)))};
}

void CommandView::refreshRenderedResponseIfNeeded()
{
    const QString text = m_appState.responseText();
    if (text != m_renderedResponseSource)
        renderResponse(text);
}

void CommandView::renderResponse(const QString &text)
{
    m_renderedResponseSource = text;
    ++m_renderCount;
    m_responseRenderer.render(text, m_response->document());
    if (text.isEmpty()) {
        m_renderedResponseHeight = 0;
        m_streamedResponseReachedVisibleLimit = false;
        m_responseSection->hide();
        Q_EMIT contentSizeChanged();
        return;
    }
    updateResponseHeight();
}

void CommandView::showDifference()
{
    if (!m_model.showsDifference()) {
        if (!std::exchange(m_differenceShown, false))
            return;
        m_response->setAccessibleDescription(QString());
        // The document holds the changes: the reply is rendered from scratch.
        m_responseRenderer = IncrementalResponseRenderer();
        renderResponse(m_appState.responseText());
        return;
    }
    const QList<WordDiff::Segment> &segments = m_model.difference();
    if (segments.isEmpty())
        return; // still being compared
    m_differenceShown = true;
    m_response->document()->setHtml(differenceHtml(segments));
    const QString spoken = WordDiff::spokenSummary(segments);
    m_response->setAccessibleDescription(spoken);
    LiveRegion::announce(m_status, tr("Changes: %1").arg(spoken));
    updateResponseHeight();
}

void CommandView::updateResponseHeight()
{
    const bool loading = m_appState.isLoading();
    if (!loading)
        m_streamedResponseReachedVisibleLimit = false;
    const double limit = visibleResponseLimit();
    if (loading && m_streamedResponseReachedVisibleLimit) {
        // A streaming reply that fills the space is not measured again.
        m_renderedResponseHeight = limit;
    } else {
        ++m_measureCount;
        const int width = BarStyle::barWidth - 2 * BarStyle::barPadding;
        const double measured = measuredResponseHeight(m_response->document(), width);
        if (loading && measured >= limit) {
            m_renderedResponseHeight = limit;
            m_streamedResponseReachedVisibleLimit = true;
        } else {
            m_renderedResponseHeight = measured;
        }
    }
    m_response->setFixedHeight(int(std::ceil(std::min(m_renderedResponseHeight, limit))));
    if (m_streamedResponseReachedVisibleLimit)
        m_response->verticalScrollBar()->setValue(m_response->verticalScrollBar()->maximum());
    m_responseSection->show();
    placeOverlays();
    Q_EMIT contentSizeChanged();
}

void CommandView::updateHeader()
{
    const auto imageData = m_appState.capturedImageData();
    const auto preview = m_appState.selectedTextPreview();
    QImage image;
    if (imageData)
        image = QImage::fromData(*imageData);
    const bool hasImage = !image.isNull();
    const qsizetype turn = m_appState.refiningTurn();
    m_turn->setText(turn ? tr("Refining · %1").arg(turn) : QString());
    m_turn->setAccessibleName(m_turn->text());
    m_turn->setVisible(turn > 0);
    m_header->setVisible(hasImage || preview.has_value() || turn > 0);
    m_thumbnail->setVisible(hasImage);
    m_marker->setVisible(!hasImage && preview.has_value());
    m_preview->setVisible(!hasImage && preview.has_value());
    if (hasImage) {
        const QSize size = thumbnailSize(image.size());
        m_thumbnail->setFixedSize(size);
        m_thumbnail->setPixmap(roundedThumbnail(image, size, devicePixelRatioF()));
    } else if (preview) {
        const QString text =
            *preview == AppState::nothingSelectedPreview ? tr("<nothing selected>") : *preview;
        m_preview->setText(text);
        m_preview->setToolTip(text);
    }
    // The selection is often known only after the opening chose a
    // placeholder; a question for no selection must not stay up then.
    if (m_appState.hasSelection() && m_sessionPlaceholder == placeholders().first())
        pickRandomPlaceholderForCurrentOpen();
    Q_EMIT contentSizeChanged();
}

void CommandView::updateStatus()
{
    const QString message = m_model.statusMessage();
    if (message == m_status->text() && m_status->isHidden() == message.isEmpty())
        return;
    LiveRegion::show(m_status, message);
    Q_EMIT contentSizeChanged();
}

// A sighted user sees the streak stop; a screen reader is told. A reply that
// ended otherwise (interrupted, failed) is announced by its status.
void CommandView::announceEndOfReply()
{
    if (!m_appState.isLoading() && m_model.statusMessage().isEmpty() &&
        !m_appState.responseText().isEmpty())
        LiveRegion::announce(m_status, tr("Reply complete"));
}

void CommandView::updateChip()
{
    const auto indicator = activeCommandIndicator();
    m_chip->setVisible(indicator.has_value());
    if (indicator)
        m_chip->setCommand(indicator->first, indicator->second, BarStyle::commandInputTextInset);
    placeOverlays();
}

void CommandView::updateInputHeight()
{
    const QScreen *screen = barScreen();
    const double maxHeight =
        inputMaxHeight(screen ? std::optional<QRect>(screen->availableGeometry()) : std::nullopt);
    m_input->setMaxHeight(maxHeight);
    const double height = std::min(m_model.inputContentHeight(), maxHeight);
    m_input->setFixedHeight(int(std::ceil(std::max(height, m_input->minimumContentHeight()))));
    Q_EMIT contentSizeChanged();
}

int CommandView::fittingHeight() const
{
    QLayout *layout = this->layout();
    layout->activate();
    int height = chromeHeight();
    if (!m_responseSection->isHidden())
        height += m_responseSection->layout()->sizeHint().height();
    return height;
}

void CommandView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_overlay->setLoading(m_appState.isLoading());
    pickRandomPlaceholderForCurrentOpen();
    updateInputHeight();
    refreshRenderedResponseIfNeeded();
}

void CommandView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    placeOverlays();
}

void CommandView::placeOverlays()
{
    m_overlay->setGeometry(rect());
    m_overlay->raise();
    const QRect row = m_inputRow->geometry();
    m_chip->setGeometry(row.x(), row.y() + 11 - BarStyle::commandBadgeHeight / 2, row.width(),
                        BarStyle::commandBadgeHeight);
    if (!m_responseSection->isHidden()) {
        const QSize hint = m_copyHint->sizeHint();
        const QRect area = m_response->geometry();
        m_copyHint->setGeometry(area.right() + 1 - hint.width() - copyHintMargin,
                                area.bottom() + 1 - hint.height() - copyHintMargin, hint.width(),
                                hint.height());
        m_copyHint->raise();
    }
}

void CommandView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), BarStyle::borderCornerRadius,
                         BarStyle::borderCornerRadius);
    painter.setClipPath(shape);
    painter.fillRect(rect(), BarStyle::sectionColor());
    const QRect inputArea(m_inputArea->mapTo(this, QPoint(0, 0)), m_inputArea->size());
    painter.fillRect(inputArea, BarStyle::inputAreaColor());
}
