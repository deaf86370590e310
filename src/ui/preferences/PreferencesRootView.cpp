#include "ui/preferences/PreferencesRootView.h"

#include "core/analytics/AppAnalytics.h"
#include "ui/preferences/AIProvidersPreferencesView.h"
#include "ui/preferences/CommandsPreferencesView.h"
#include "ui/preferences/GeneralPreferencesView.h"

#include <QScrollArea>

PreferencesRootView::PreferencesRootView(const PreferencesDependencies &dependencies,
                                         QWidget *parent)
    : QTabWidget(parent)
    , m_commands(new CommandsPreferencesView(dependencies, this))
    , m_providers(new AIProvidersPreferencesView(dependencies, this))
    , m_general(new GeneralPreferencesView(dependencies, this))
{
    setDocumentMode(true);
    // The General tab grows with the desktop's rows and large text: it
    // scrolls rather than squeezing its rows.
    auto *general = new QScrollArea(this);
    general->setFrameShape(QFrame::NoFrame);
    general->setWidgetResizable(true);
    general->setWidget(m_general);
    m_general->setAccessibleName(tr("General"));
    const struct
    {
        QWidget *page;
        QString title;
    } pages[] = {
        {m_commands, tr("Commands")}, {m_providers, tr("AI Providers")}, {general, tr("General")}};
    for (const auto &[page, title] : pages) {
        page->setAccessibleName(title);
        addTab(page, title);
    }
    AppAnalytics *analytics = dependencies.analytics;
    connect(this, &QTabWidget::currentChanged, this, [analytics](int index) {
        if (index >= 0)
            analytics->signal(QStringLiteral("Settings.tabSelected"),
                              {{QStringLiteral("tab"), analyticsName(PreferencesTab(index))}});
    });
}
