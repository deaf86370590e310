#include "ui/onboarding/IntroStepView.h"

#include "ui/common/SymbolView.h"
#include "ui/common/WindowStyle.h"
#include "ui/onboarding/InlineWrap.h"
#include "ui/onboarding/KeyCap.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace {

constexpr int wrapSpacing = 3;
constexpr int wrapLineSpacing = 6;

bool isKey(const QString &part)
{
    return part.startsWith(QLatin1Char('[')) && part.endsWith(QLatin1Char(']'));
}

} // namespace

IntroStepView::IntroStepView(QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(72, 24, 72, 16);
    layout->addStretch(1);
    layout->setSpacing(14);
    auto *symbol = new SymbolView(SymbolView::Symbol::sparkles, 64, this);
    layout->addWidget(symbol, 0, Qt::AlignHCenter);
    auto *heading =
        new QLabel(tr("Select any text. Rewrite, translate, summarize, or reply instantly."), this);
    heading->setFont(WindowStyle::headingFont(heading->font(), 1.55));
    heading->setWordWrap(true);
    heading->setAlignment(Qt::AlignHCenter);
    layout->addWidget(heading);
    layout->addSpacing(12);

    // Words and keys are separate items so the line can wrap between them.
    const QList<QStringList> bullets = {
        {tr("Select any text.")},
        {tr("Press"), QStringLiteral("[") + tr("Alt") + QStringLiteral("]"),
         QStringLiteral("[") + tr("Space") + QStringLiteral("]"), tr("to"), tr("show"),
         tr("Wrenlark.")},
        {tr("Type what you want to do.")},
        {tr("Press"), QStringLiteral("[") + tr("Ctrl") + QStringLiteral("]"),
         QStringLiteral("[") + tr("Return") + QStringLiteral("]"), tr("to"), tr("replace"),
         tr("the"), tr("selection,"), tr("or"),
         QStringLiteral("[") + tr("Return") + QStringLiteral("]"), tr("to"), tr("see"), tr("the"),
         tr("output"), tr("inside"), tr("the"), tr("bar.")},
    };
    auto *list = new QVBoxLayout;
    list->setSpacing(10);
    for (const QStringList &parts : bullets)
        list->addWidget(bullet(parts));
    auto *centred = new QHBoxLayout;
    centred->addStretch();
    centred->addLayout(list, 4);
    centred->addStretch();
    layout->addLayout(centred);
    layout->addStretch(2);
}

QWidget *IntroStepView::bullet(const QStringList &parts)
{
    auto *row = new QWidget(this);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    auto *mark = new QLabel(QStringLiteral("•"), row);
    mark->setAlignment(Qt::AlignTop);
    layout->addWidget(mark, 0, Qt::AlignTop);

    QStringList spoken;
    auto *content = new QWidget(row);
    auto *wrap = new InlineWrap(wrapSpacing, wrapLineSpacing, content);
    for (const QString &part : parts) {
        if (isKey(part)) {
            const QString key = part.mid(1, part.size() - 2);
            wrap->addWidget(new KeyCap(key, content));
            spoken.append(key);
        } else {
            wrap->addWidget(new QLabel(part, content));
            spoken.append(part);
        }
    }
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    content->setSizePolicy(policy);
    // A screen reader reads the sentence, not its pieces one by one.
    row->setAccessibleName(spoken.join(QLatin1Char(' ')));
    layout->addWidget(content, 1);
    return row;
}
