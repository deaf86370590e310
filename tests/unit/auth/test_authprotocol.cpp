#include "core/auth/DeviceUserCodeResponse.h"
#include "core/auth/OpenAIProPlusAuthConfiguration.h"
#include "core/auth/OpenAIProPlusAuthManager.h"
#include "core/auth/PKCECodes.h"
#include "core/auth/TokenClaims.h"
#include "core/auth/TokenResponse.h"
#include "support/FakeSecretStore.h"
#include "support/TestSandbox.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTest>
#include <QUrlQuery>

namespace {

const QString claimKey = QStringLiteral("https://api.example.test/auth");

QString jwt(const QJsonObject &payload)
{
    const auto base64url = QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals;
    return QStringLiteral("eyJhbGciOiJub25lIn0.") +
           QString::fromLatin1(QJsonDocument(payload).toJson().toBase64(base64url)) +
           QStringLiteral(".c2ln");
}

QByteArray configJson(const QString &issuer)
{
    return QJsonDocument(QJsonObject{{"issuer", issuer}, {"authClaimKey", "k"}}).toJson();
}

OpenAIProPlusAuthConfiguration configuration()
{
    return {QUrl(QStringLiteral("https://auth.example.test")), claimKey};
}

} // namespace

class TestAuthProtocol : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void pkceVerifierAndChallenge()
    {
        // The example of RFC 7636, appendix B.
        QCOMPARE(
            PKCECodes::challenge(QStringLiteral("dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk")),
            QStringLiteral("E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM"));

        const QString alphabet =
            QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~");
        QSet<QChar> seen;
        QSet<QString> verifiers;
        for (int i = 0; i < 200; ++i) {
            const PKCECodes codes = PKCECodes::generate();
            QCOMPARE(codes.codeVerifier.size(), 43);
            QCOMPARE(codes.codeChallenge.size(), 43);
            QCOMPARE(codes.codeChallenge, PKCECodes::challenge(codes.codeVerifier));
            for (const QChar c : codes.codeVerifier) {
                QVERIFY2(alphabet.contains(c), qPrintable(codes.codeVerifier));
                seen.insert(c);
            }
            verifiers.insert(codes.codeVerifier);
        }
        QCOMPARE(verifiers.size(), 200);
        // 8600 draws reach every one of the 66 characters, the last ones too.
        QCOMPARE(seen.size(), 66);
    }

    void stateIsUrlSafeAndFresh()
    {
        const QString first = generateState();
        QCOMPARE(first.size(), 43);
        QVERIFY(!first.contains(QLatin1Char('+')) && !first.contains(QLatin1Char('/')) &&
                !first.contains(QLatin1Char('=')));
        QVERIFY(generateState() != first);
    }

    void authorizeURLHasTheTenItemsInOrder()
    {
        OpenAIProPlusAuthManager manager(
            KeychainStore(QStringLiteral("s"), std::make_shared<FakeSecretStore>()), {},
            configuration());
        const PKCECodes pkce{QStringLiteral("v"), QStringLiteral("ch-al_lenge")};
        const QUrl url = manager.buildAuthorizeURL(pkce, QStringLiteral("st ate"));
        QCOMPARE(url.toString(QUrl::RemoveQuery),
                 QStringLiteral("https://auth.example.test/oauth/authorize"));
        const auto items = QUrlQuery(url).queryItems(QUrl::FullyDecoded);
        QStringList names;
        for (const auto &item : items)
            names.append(item.first);
        QCOMPARE(names, (QStringList{"response_type", "client_id", "redirect_uri", "scope",
                                     "code_challenge", "code_challenge_method",
                                     "id_token_add_organizations", "codex_cli_simplified_flow",
                                     "state", "originator"}));
        const QUrlQuery query(url);
        QCOMPARE(query.queryItemValue("client_id"), QStringLiteral("app_Q7rTm2LxV9pKd4WsN8bHc3Fz"));
        QCOMPARE(query.queryItemValue("redirect_uri", QUrl::FullyDecoded),
                 QStringLiteral("http://localhost:1455/auth/callback"));
        QCOMPARE(query.queryItemValue("scope", QUrl::FullyDecoded),
                 QStringLiteral("openid profile email offline_access"));
        QCOMPARE(query.queryItemValue("state", QUrl::FullyDecoded), QStringLiteral("st ate"));
        QCOMPARE(query.queryItemValue("originator"), QStringLiteral("wrenlark"));
        QVERIFY(url.toString(QUrl::FullyEncoded).contains("scope=openid%20profile%20email"));
    }

    void claimsGiveTheAccount_data()
    {
        QTest::addColumn<QString>("token");
        QTest::addColumn<std::optional<QString>>("account");
        QTest::addColumn<std::optional<QString>>("email");
        using S = std::optional<QString>;
        QTest::newRow("top level wins")
            << jwt({{"chatgpt_account_id", "acct-top"},
                    {claimKey, QJsonObject{{"chatgpt_account_id", "acct-ns"}}}})
            << S("acct-top") << S();
        QTest::newRow("namespaced claim")
            << jwt({{claimKey, QJsonObject{{"chatgpt_account_id", "acct-ns"}}}, {"email", "a@b.c"}})
            << S("acct-ns") << S("a@b.c");
        QTest::newRow("another namespace is not ours")
            << jwt({{"https://api.other.test/auth", QJsonObject{{"chatgpt_account_id", "x"}}}})
            << S() << S();
        QTest::newRow("first organization")
            << jwt({{"organizations",
                     QJsonArray{QJsonObject{{"id", "org-1"}}, QJsonObject{{"id", "org-2"}}}}})
            << S("org-1") << S();
        QTest::newRow("empty organizations")
            << jwt({{"organizations", QJsonArray{}}}) << S() << S();
        QTest::newRow("empty account is a value")
            << jwt({{"chatgpt_account_id", ""}}) << S("") << S();
    }

    void claimsGiveTheAccount()
    {
        QFETCH(QString, token);
        QFETCH(std::optional<QString>, account);
        QFETCH(std::optional<QString>, email);
        const auto claims = TokenClaims::parse(token, claimKey);
        QVERIFY(claims);
        QCOMPARE(claims->accountID(), account);
        QCOMPARE(claims->email, email);
    }

    void malformedTokensGiveNoClaims_data()
    {
        QTest::addColumn<QString>("token");
        QTest::newRow("two pieces") << QStringLiteral("eyJhIjoxfQ.sig");
        QTest::newRow("four pieces") << QStringLiteral("a.eyJhIjoxfQ.b.c");
        QTest::newRow("not base64") << QStringLiteral("a.%%%.c");
        QTest::newRow("not json") << QStringLiteral("a.bm90IGpzb24.c");
        QTest::newRow("email of wrong type") << jwt({{"email", 5}});
        QTest::newRow("organization without id")
            << jwt({{"organizations", QJsonArray{QJsonObject{{"name", "x"}}}}});
        QTest::newRow("namespaced claim not an object") << jwt({{claimKey, "acct"}});
    }

    void malformedTokensGiveNoClaims()
    {
        QFETCH(QString, token);
        QCOMPARE(TokenClaims::parse(token, claimKey).has_value(), false);
    }

    void accountAndEmailPreferTheIdToken()
    {
        OpenAIProPlusAuthManager manager(
            KeychainStore(QStringLiteral("s"), std::make_shared<FakeSecretStore>()), {},
            configuration());
        TokenResponse tokens;
        tokens.idToken = jwt({{"email", ""}});
        tokens.accessToken = jwt({{claimKey, QJsonObject{{"chatgpt_account_id", "acct-access"}}},
                                  {"email", "access@b.c"}});
        QCOMPARE(manager.accountID(tokens), QStringLiteral("acct-access"));
        QCOMPARE(manager.extractEmail(tokens), QStringLiteral("access@b.c"));
        tokens.idToken = jwt({{"chatgpt_account_id", "acct-id"}, {"email", "id@b.c"}});
        QCOMPARE(manager.accountID(tokens), QStringLiteral("acct-id"));
        QCOMPARE(manager.extractEmail(tokens), QStringLiteral("id@b.c"));
        tokens.idToken = QStringLiteral("garbage");
        tokens.accessToken = QStringLiteral("opaque");
        QCOMPARE(manager.accountID(tokens), std::nullopt);
        QCOMPARE(manager.extractEmail(tokens), std::nullopt);
    }

    void devicePollInterval_data()
    {
        QTest::addColumn<QString>("interval");
        QTest::addColumn<quint64>("seconds");
        QTest::newRow("empty") << "" << quint64(5);
        QTest::newRow("5") << "5" << quint64(5);
        QTest::newRow("10") << "10" << quint64(10);
        QTest::newRow("plus") << "+7" << quint64(7);
        QTest::newRow("zero") << "0" << quint64(0);
        QTest::newRow("not a number") << "abc" << quint64(5);
        QTest::newRow("space") << " 7" << quint64(5);
        QTest::newRow("fraction") << "1.5" << quint64(5);
        QTest::newRow("negative") << "-3" << quint64(5);
        QTest::newRow("overflow") << "99999999999999999999999" << quint64(5);
    }

    void devicePollInterval()
    {
        QFETCH(QString, interval);
        QFETCH(quint64, seconds);
        DeviceUserCodeResponse response{QStringLiteral("d"), QStringLiteral("u"), interval};
        QCOMPARE(response.intervalSeconds(), seconds);
    }

    void deviceIntervalMustBeText()
    {
        QString problem;
        QVERIFY(DeviceUserCodeResponse::decode(
            R"({"device_auth_id":"d","user_code":"U-1","interval":"5"})", &problem));
        QVERIFY(!DeviceUserCodeResponse::decode(
            R"({"device_auth_id":"d","user_code":"U-1","interval":5})", &problem));
    }

    void configurationValidation_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("valid");
        QTest::newRow("https origin") << configJson("https://a.test") << true;
        QTest::newRow("trailing slash") << configJson("https://a.test/") << true;
        QTest::newRow("http loopback") << configJson("http://127.0.0.1:8080") << true;
        QTest::newRow("http localhost") << configJson("http://localhost:8080") << true;
        QTest::newRow("http elsewhere") << configJson("http://a.test") << false;
        QTest::newRow("with path") << configJson("https://a.test/x") << false;
        QTest::newRow("with query") << configJson("https://a.test?x=1") << false;
        QTest::newRow("credentials") << configJson("https://u:p@a.test") << false;
        QTest::newRow("no claim key") << QByteArray("{\"issuer\":\"https:"
                                                    "//a.test\"}")
                                      << false;
        QTest::newRow("not json") << QByteArray("issuer=https://a.test") << false;
    }

    void configurationValidation()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, valid);
        QString problem;
        const auto parsed = OpenAIProPlusAuthConfiguration::fromJson(json, &problem);
        QCOMPARE(parsed.has_value(), valid);
        QCOMPARE(problem.isEmpty(), valid);
        if (parsed)
            QCOMPARE(parsed->endpoint(QStringLiteral("/oauth/token")).path(),
                     QStringLiteral("/oauth/token"));
    }

    // Runs last in this process: the shared configuration is built once.
    void invalidUserFileIsLoggedAndTheBuiltInOneUsed()
    {
        const QString path = OpenAIProPlusAuthConfiguration::userConfigurationPath();
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(configJson("http:"
                              "//auth.example.test"));
        file.close();
        const auto &shared = OpenAIProPlusAuthConfiguration::shared();
        QFile::remove(path);
        QCOMPARE(shared.issuer, QUrl(QStringLiteral("https://auth.openai.com")));
        QCOMPARE(shared.authClaimKey, QStringLiteral("https://api.openai.com/auth"));
        QVERIFY(TestSandbox::flushedLog().contains(
            QStringLiteral("[ERROR] Ignoring the sign-in configuration ")));
    }
};

QTEST_GUILESS_MAIN(TestAuthProtocol)
#include "test_authprotocol.moc"
