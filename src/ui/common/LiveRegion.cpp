#include "ui/common/LiveRegion.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QLabel>
#include <QTextDocumentFragment>

namespace {

constexpr char liveProperty[] = "wrenlarkLiveRegion";
// A text spoken without being drawn; empty when the label's own text counts.
constexpr char spokenProperty[] = "wrenlarkSpokenText";

class LiveLabelAccessible : public QAccessibleWidget
{
public:
    explicit LiveLabelAccessible(QLabel *label)
        : QAccessibleWidget(label, QAccessible::Notification)
    {
    }

    QString text(QAccessible::Text kind) const override
    {
        if (kind != QAccessible::Name)
            return QAccessibleWidget::text(kind);
        const auto *label = static_cast<const QLabel *>(widget());
        const QString spoken = label->property(spokenProperty).toString();
        if (!spoken.isEmpty())
            return spoken;
        if (!label->accessibleName().isEmpty())
            return label->accessibleName();
        if (label->textFormat() == Qt::PlainText || !Qt::mightBeRichText(label->text()))
            return label->text();
        return QTextDocumentFragment::fromHtml(label->text()).toPlainText();
    }
};

QAccessibleInterface *liveLabelFactory(const QString &, QObject *object)
{
    auto *label = qobject_cast<QLabel *>(object);
    if (label && label->property(liveProperty).toBool())
        return new LiveLabelAccessible(label);
    return nullptr;
}

// Lowered first: a client passes on only a state that changed.
void raiseShowing(QLabel *label)
{
    QAccessibleEvent named(label, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&named);
    QAccessibleEvent hidden(label, QAccessible::ObjectHide);
    QAccessible::updateAccessibility(&hidden);
    QAccessibleEvent shown(label, QAccessible::ObjectShow);
    QAccessible::updateAccessibility(&shown);
}

} // namespace

namespace LiveRegion {

void mark(QLabel *label)
{
    static const bool installed = [] {
        QAccessible::installFactory(liveLabelFactory);
        return true;
    }();
    Q_UNUSED(installed);
    label->setProperty(liveProperty, true);
    // One made before the mark (setting a description makes one) is replaced.
    QAccessibleInterface *made = QAccessible::queryAccessibleInterface(label);
    if (made && made->role() != QAccessible::Notification)
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
}

void show(QLabel *label, const QString &text)
{
    label->setProperty(spokenProperty, QString());
    const bool wasHidden = label->isHidden();
    const bool changed = label->text() != text;
    label->setText(text);
    label->setVisible(!text.isEmpty());
    // Showing a hidden label raises the state by itself.
    if (!text.isEmpty() && !wasHidden && changed && QAccessible::isActive() && label->isVisible())
        raiseShowing(label);
}

void announce(QLabel *label, const QString &text)
{
    if (!QAccessible::isActive() || label->window()->isHidden())
        return;
    label->setProperty(spokenProperty, text);
    raiseShowing(label);
}

} // namespace LiveRegion
