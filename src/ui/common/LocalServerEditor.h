#pragma once

#include "core/providers/AIProviderRegistry.h"
#include "core/providers/LocalServerProbe.h"

#include <QUuid>
#include <QWidget>
#include <functional>
#include <memory>

class QComboBox;
class QLineEdit;
class QPushButton;
class QTimer;
class SettingsStore;
class StyledLabel;

// The server part of a provider the user points at a server of their own (a
// local one): its address, with one-click addresses of the common servers,
// the models the server offers, and a check that says plainly what is wrong.
//
// The address is stored only once its server answered with models, so a
// half-typed address never replaces a working one. The chosen model is
// stored as it is chosen.
class LocalServerEditor : public QWidget
{
    Q_OBJECT

public:
    using StoreFactory = std::function<std::unique_ptr<SettingsStore>()>;

    struct Preset
    {
        QString name;
        QString address;
    };
    static QList<Preset> presets();

    explicit LocalServerEditor(StoreFactory makeStore, QWidget *parent = nullptr);
    ~LocalServerEditor() override;

    // Shows the provider's stored address (or its suggestion) and model, and
    // asks the server for its models.
    void showProvider(const AIProviderPointer &provider);
    // The key the server is asked with (empty: none).
    void setApiKey(const QString &key);
    // Asks the server again, checking the chosen model too.
    void check();

    QLineEdit *addressField() const { return m_address; }
    QComboBox *modelPicker() const { return m_model; }
    QPushButton *checkButton() const { return m_check; }
    StyledLabel *message() const { return m_message; }
    bool isChecking() const { return m_probe->isRunning(); }

Q_SIGNALS:
    // An address was stored, or a model chosen: the provider may now be usable.
    void stored();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void say(const QString &text, bool isError);
    void fitMessage();
    void addressEdited();
    // While the address is being typed it may name another host than the
    // one meant: the key goes only with an address the user settled on.
    void probe(bool checkModel, bool sendKey = true);
    void probed(const QUuid &probeID, const LocalServerProbe::Result &result);
    void showModels(const QStringList &models, bool usable);
    void modelChosen();

    StoreFactory m_makeStore;
    AIProviderPointer m_provider;
    QString m_apiKey;
    QLineEdit *m_address;
    QPushButton *m_check;
    QComboBox *m_model;
    StyledLabel *m_message;
    QTimer *m_typingPause;
    LocalServerProbe *m_probe;
    QUuid m_probeID;
    QUrl m_probedAddress;
    bool m_probeSentKey = false;
};
