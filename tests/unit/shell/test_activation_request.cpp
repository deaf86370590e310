// What `wrenlark toggle` hands the running application so its window may
// take the focus: the launcher's activation token and startup id, read back
// on the other side.
#include "shell/ActivationRequest.h"

#include <QTest>

class ActivationRequestTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup()
    {
        qunsetenv("XDG_ACTIVATION_TOKEN");
        qunsetenv("DESKTOP_STARTUP_ID");
    }

    void launcherTokensTravelToTheRunningApplication()
    {
        qputenv("XDG_ACTIVATION_TOKEN", "token-from-the-compositor");
        qputenv("DESKTOP_STARTUP_ID", "launcher-42-host-wrenlark-0_TIME12345");
        const QVariantMap data = ActivationRequest::platformDataFromEnvironment();
        QCOMPARE(data.value(QStringLiteral("activation-token")).toString(),
                 QStringLiteral("token-from-the-compositor"));

        const ActivationRequest request = ActivationRequest::fromPlatformData(data);
        QCOMPARE(request.activationToken, QByteArray("token-from-the-compositor"));
        QCOMPARE(request.startupId, QByteArray("launcher-42-host-wrenlark-0_TIME12345"));
        QCOMPARE(request.timestamp, 12345u);
    }

    // Nothing set sends nothing, so the receiver never sets an empty token.
    void noLauncherSendsNoEntries()
    {
        QVERIFY(ActivationRequest::platformDataFromEnvironment().isEmpty());
        qputenv("XDG_ACTIVATION_TOKEN", "");
        QVERIFY(ActivationRequest::platformDataFromEnvironment().isEmpty());
        const ActivationRequest request = ActivationRequest::fromPlatformData({});
        QVERIFY(request.activationToken.isEmpty());
        QCOMPARE(request.timestamp, 0u);
    }

    // Another program may call with anything in platform_data.
    void strangePlatformDataIsIgnored()
    {
        const ActivationRequest list = ActivationRequest::fromPlatformData(
            {{QStringLiteral("activation-token"), QVariantList{1, 2}},
             {QStringLiteral("desktop-startup-id"), QStringLiteral("id_TIME12x")}});
        QVERIFY(list.activationToken.isEmpty());
        QCOMPARE(list.timestamp, 0u);
        const ActivationRequest noTime = ActivationRequest::fromPlatformData(
            {{QStringLiteral("desktop-startup-id"), QStringLiteral("id_TIME99_more")}});
        QCOMPARE(noTime.timestamp, 0u);
    }
};

QTEST_GUILESS_MAIN(ActivationRequestTest)
#include "test_activation_request.moc"
