#pragma once

#include <QWidget>

class PreferencesRootView;
struct PreferencesDependencies;

// The Settings window. Closing it commits the field being edited, announces
// willClose() (what is being edited is stored then) and hides it; it never
// ends the application.
class PreferencesWindow : public QWidget
{
    Q_OBJECT

public:
    explicit PreferencesWindow(const PreferencesDependencies &dependencies,
                               QWidget *parent = nullptr);

    PreferencesRootView *rootView() const { return m_root; }

Q_SIGNALS:
    void willClose();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    PreferencesRootView *m_root;
};
