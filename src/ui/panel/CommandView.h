#pragma once

#include "ui/panel/IncrementalResponseRenderer.h"

#include <QString>
#include <QStringList>
#include <QWidget>
#include <optional>
#include <utility>

class AppState;
class CommandChip;
class CommandInputField;
class CopyHintButton;
class LoadingStreakOverlay;
class PanelModel;
class QLabel;
class QTextDocument;
class ResponseTextView;

// The command bar's content: what was captured (a thumbnail or the
// selection's first line), the instruction input with its shorthand chip,
// the status line, and the streamed reply with its copy hint.
class CommandView : public QWidget
{
    Q_OBJECT

public:
    static QStringList placeholders();

    explicit CommandView(PanelModel &model, QWidget *parent = nullptr);

    // The height the bar wants at its fixed width.
    int fittingHeight() const;

    // The rules, public for the tests.
    static QStringList placeholderCandidates(bool hasSelection);
    QString currentPlaceholder() const;
    std::optional<std::pair<QString, QString>> activeCommandIndicator() const;
    static double inputMaxHeight(const std::optional<QRect> &visibleFrame);
    double visibleResponseLimit() const;
    double renderedResponseHeight() const { return m_renderedResponseHeight; }
    bool streamedResponseReachedVisibleLimit() const
    {
        return m_streamedResponseReachedVisibleLimit;
    }
    int renderCount() const { return m_renderCount; }
    int measureCount() const { return m_measureCount; }
    // 0 for a non-positive width or an empty document.
    static int measuredResponseHeight(QTextDocument *document, int width);
    static QSize thumbnailSize(const QSize &imageSize);

    CommandInputField *inputField() const { return m_input; }
    ResponseTextView *responseView() const { return m_response; }
    CopyHintButton *copyHint() const { return m_copyHint; }
    QLabel *statusLabel() const { return m_status; }
    // "Refining · 2" while the next instruction refines the reply.
    QLabel *turnLabel() const { return m_turn; }
    LoadingStreakOverlay *streak() const { return m_overlay; }

Q_SIGNALS:
    // The fitting height may have changed.
    void contentSizeChanged();

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void buildChrome();
    void buildResponseSection();
    void connectState();
    void pickRandomPlaceholderForCurrentOpen();
    void refreshRenderedResponseIfNeeded();
    void renderResponse(const QString &text);
    void updateResponseHeight();
    void updateHeader();
    void updateStatus();
    void announceEndOfReply();
    void updateChip();
    void updateInputHeight();
    // The reply, or its changes to the selection (Tab).
    void showDifference();
    void placeOverlays();
    QScreen *barScreen() const;
    int chromeHeight() const;

    PanelModel &m_model;
    AppState &m_appState;
    QString m_sessionPlaceholder;
    QString m_renderedResponseSource;
    IncrementalResponseRenderer m_responseRenderer;
    double m_renderedResponseHeight = 0;
    bool m_streamedResponseReachedVisibleLimit = false;
    // The response view shows the reply's changes instead of the reply.
    bool m_differenceShown = false;
    int m_renderCount = 0;
    int m_measureCount = 0;

    QWidget *m_chrome = nullptr;
    QWidget *m_header = nullptr;
    QLabel *m_turn = nullptr;
    QLabel *m_thumbnail = nullptr;
    QWidget *m_marker = nullptr;
    QLabel *m_preview = nullptr;
    QWidget *m_inputArea = nullptr;
    QWidget *m_inputRow = nullptr;
    CommandChip *m_chip = nullptr;
    CommandInputField *m_input = nullptr;
    QLabel *m_status = nullptr;
    QWidget *m_responseSection = nullptr;
    ResponseTextView *m_response = nullptr;
    CopyHintButton *m_copyHint = nullptr;
    LoadingStreakOverlay *m_overlay = nullptr;
};
