#include "ui/preferences/PreferencesWindow.h"

#include "ui/preferences/AIProvidersPreferencesView.h"
#include "ui/preferences/PreferencesRootView.h"

#include <QCloseEvent>
#include <QShortcut>
#include <QVBoxLayout>

PreferencesWindow::PreferencesWindow(const PreferencesDependencies &dependencies, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_root(new PreferencesRootView(dependencies, this))
{
    setWindowTitle(tr("Settings"));
    setAttribute(Qt::WA_QuitOnClose, false);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_root);
    connect(this, &PreferencesWindow::willClose, m_root->providersView(),
            &AIProvidersPreferencesView::saveSelectedProvider);
    for (const QKeySequence &keys :
         {QKeySequence(QKeySequence::Close), QKeySequence(Qt::Key_Escape)}) {
        auto *shortcut = new QShortcut(keys, this);
        connect(shortcut, &QShortcut::activated, this, &QWidget::close);
    }
}

void PreferencesWindow::closeEvent(QCloseEvent *event)
{
    // A field being edited commits its value when it loses the focus.
    if (QWidget *focused = focusWidget())
        focused->clearFocus();
    Q_EMIT willClose();
    event->accept();
}
