#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QUuid>

class QNetworkAccessManager;
class QNetworkReply;

// Asks a server the user chose which models it serves (OpenAI's GET /models,
// else Ollama's /api/tags) and says plainly what is wrong when it cannot:
// nothing listening, not an OpenAI-compatible server, a refused key, no
// models yet, or not the model the user named. One probe runs at a time; a
// new one replaces the earlier, whose answer never comes.
class LocalServerProbe : public QObject
{
    Q_OBJECT

public:
    struct Result
    {
        QStringList models; // as the server lists them
        QString problem;    // for the user; empty when the server is usable
        bool keyRefused = false;
    };

    explicit LocalServerProbe(QObject *parent = nullptr);
    ~LocalServerProbe() override;

    // `address` is a checked server address ("http://127.0.0.1:11434/v1");
    // `apiKey` is sent when not empty; with a `model`, the probe also fails
    // when the server does not serve it.
    QUuid probe(const QUrl &address, const QString &apiKey, const QString &model = {});
    void cancel();
    bool isRunning() const { return !m_reply.isNull(); }

    // What the answers say, without the network (tests feed them directly).
    static std::optional<QStringList> openAIModels(const QByteArray &body);
    static std::optional<QStringList> ollamaModels(const QByteArray &body);

Q_SIGNALS:
    void finished(const QUuid &probeID, const LocalServerProbe::Result &result);

private:
    void get(const QUrl &url);
    void modelsAnswered();
    void tagsAnswered();
    void finish(Result result);
    // "Nothing is listening…" and the like for a request that got no answer.
    QString unreachable(const QNetworkReply &reply) const;

    QNetworkAccessManager *m_network;
    QPointer<QNetworkReply> m_reply;
    QUuid m_probeID;
    QUrl m_address;
    QString m_apiKey;
    QString m_model;
};

Q_DECLARE_METATYPE(LocalServerProbe::Result)
