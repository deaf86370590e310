#include "ui/common/DesktopNoticeList.h"

#include "ui/common/StyledLabel.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

DesktopNoticeList::DesktopNoticeList(const QStringList &notices, QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    for (const QString &notice : notices) {
        auto *row = new QHBoxLayout;
        row->setSpacing(8);
        auto *mark = StyledLabel::caption(QStringLiteral("•"), this);
        mark->setWordWrap(false);
        mark->setAccessibleName(QString());
        row->addWidget(mark, 0, Qt::AlignTop);
        auto *text = StyledLabel::caption(notice, this);
        text->setAccessibleName(notice);
        text->setTextInteractionFlags(Qt::TextSelectableByMouse);
        row->addWidget(text, 1);
        layout->addLayout(row);
    }
}
