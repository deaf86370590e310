#pragma once

#include "core/providers/LocalServerProbe.h"

#include <QDialog>
#include <QUuid>

class QLineEdit;
class QPushButton;
class QTimer;
class StyledLabel;

// Adds a provider of the user's own: a name, the address of an
// OpenAI-compatible server or gateway, and its models (read from the server
// when it lists them without a key, else typed). Accepted once the entry is
// in the user's model catalog, which Wrenlark reads when it starts.
class AddProviderDialog : public QDialog
{
    Q_OBJECT

public:
    explicit AddProviderDialog(QWidget *parent = nullptr);

    QLineEdit *nameField() const { return m_name; }
    QLineEdit *addressField() const { return m_address; }
    QLineEdit *modelsField() const { return m_models; }
    QPushButton *addButton() const { return m_add; }
    StyledLabel *message() const { return m_message; }
    // The identifier the provider was added as; empty until then.
    QString addedID() const { return m_addedID; }

private:
    void probe();
    void probed(const QUuid &probeID, const LocalServerProbe::Result &result);
    QStringList models() const;
    void updateAddButton();
    void add();

    QLineEdit *m_name;
    QLineEdit *m_address;
    QLineEdit *m_models;
    StyledLabel *m_message;
    QPushButton *m_add;
    QTimer *m_typingPause;
    LocalServerProbe *m_probe;
    QUuid m_probeID;
    QString m_listedModels; // the models field as the server filled it
    QString m_addedID;
};
