// The HTTP remote's pure rules: which names and origins are the remote's own, which paths
// exist, bearer tokens, the rate limit and the headers every answer carries.

#include "remote_control/http_rules.h"

#include <QtTest>

using namespace remote;
using namespace remote::http;

class TestHttpRules : public QObject
{
    Q_OBJECT

private slots:
    void hostAndOrigin_data()
    {
        QTest::addColumn<QByteArray>("host");
        QTest::addColumn<QString>("local");
        QTest::addColumn<bool>("namesUs");
        const QString loopback = QStringLiteral("127.0.0.1");
        const QString lan = QStringLiteral("192.168.1.20");
        QTest::newRow("loopback literal") << QByteArray("127.0.0.1:52513") << loopback << true;
        QTest::newRow("localhost") << QByteArray("LocalHost:52513") << loopback << true;
        QTest::newRow("IPv6 loopback") << QByteArray("[::1]:52513") << loopback << true;
        QTest::newRow("machine name") << QByteArray("showpc:52513") << lan << true;
        QTest::newRow("machine name .local") << QByteArray("showpc.local:52513") << lan << true;
        QTest::newRow("address it came in on") << QByteArray("192.168.1.20:52513") << lan << true;
        QTest::newRow("other port") << QByteArray("127.0.0.1:8080") << loopback << false;
        QTest::newRow("foreign name (rebinding)")
            << QByteArray("attacker.example:52513") << loopback << false;
        QTest::newRow("machine name as a suffix")
            << QByteArray("showpc.attacker.example:52513") << lan << false;
        QTest::newRow("localhost off the loopback")
            << QByteArray("localhost:52513") << lan << false;
        QTest::newRow("another address") << QByteArray("192.168.1.21:52513") << lan << false;
        QTest::newRow("empty") << QByteArray() << loopback << false;
        QTest::newRow("bad port") << QByteArray("127.0.0.1:99999") << loopback << false;
    }
    void hostAndOrigin()
    {
        QFETCH(QByteArray, host);
        QFETCH(QString, local);
        QFETCH(bool, namesUs);
        const QHostAddress address(local);
        const QString machine = QStringLiteral("ShowPC");
        QCOMPARE(hostNamesUs(host, address, 52513, machine), namesUs);
        // The page's WebSocket is its own page's exactly when the page's name was.
        QCOMPARE(isOwnPageOrigin(QStringLiteral("http://") + QString::fromLatin1(host), address,
                                 52513, machine),
                 namesUs);
        QCOMPARE(isOwnPageOrigin(QStringLiteral("https://") + QString::fromLatin1(host), address,
                                 52513, machine),
                 false);
        QCOMPARE(isOwnPageOrigin(QStringLiteral("http://") + QString::fromLatin1(host), address, 0,
                                 machine),
                 false); // no HTTP remote: no page of its own
    }

    void ownOriginIsTheHostExactly()
    {
        QVERIFY(isOwnOrigin("http://127.0.0.1:52513", "127.0.0.1:52513"));
        QVERIFY(!isOwnOrigin("http://127.0.0.1:52514", "127.0.0.1:52513"));
        QVERIFY(!isOwnOrigin("https://127.0.0.1:52513", "127.0.0.1:52513"));
        QVERIFY(!isOwnOrigin("null", "127.0.0.1:52513"));
        QVERIFY(!isOwnOrigin("http://", ""));
    }

    void onlyFixedPaths_data()
    {
        QTest::addColumn<int>("program"); // 0 Corvane, 1 Kestro
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("route");
        QTest::addColumn<QString>("name");
        const int none = int(Route::None);
        QTest::newRow("page") << 0 << "/" << int(Route::Page) << "";
        QTest::newRow("script file") << 1 << "/remote.js" << int(Route::Resource) << "";
        QTest::newRow("state") << 1 << "/api/state" << int(Route::State) << "";
        QTest::newRow("command") << 0 << "/api/command" << int(Route::Command) << "";
        QTest::newRow("screen picture")
            << 0 << "/api/screen/3/next.jpg" << int(Route::Picture) << "screen3/next";
        QTest::newRow("slide picture")
            << 1 << "/api/slide/current.jpg" << int(Route::Picture) << "slide/current";
        QTest::newRow("script lines") << 0 << "/api/script" << int(Route::Script) << "script";
        QTest::newRow("no screen 4") << 0 << "/api/screen/4/next.jpg" << none << "";
        QTest::newRow("Kestro has no screens") << 1 << "/api/screen/1/next.jpg" << none << "";
        QTest::newRow("Corvane has no slide") << 0 << "/api/slide/next.jpg" << none << "";
        QTest::newRow("Kestro has no script") << 1 << "/api/script" << none << "";
        QTest::newRow("up and out") << 0 << "/../remote.js" << none << "";
        QTest::newRow("a resource by its name") << 0 << "/web/remote.js" << none << "";
        QTest::newRow("resource path") << 0 << ":/web/remote.js" << none << "";
        QTest::newRow("a file") << 1 << "/etc/passwd" << none << "";
        QTest::newRow("trailing part") << 0 << "/api/state/x" << none << "";
    }
    void onlyFixedPaths()
    {
        QFETCH(int, program);
        QFETCH(QString, path);
        QFETCH(int, route);
        QFETCH(QString, name);
        const Target target = routeOf(program == 0 ? Program::Corvane : Program::Kestro, path);
        QCOMPARE(int(target.route), route);
        QCOMPARE(target.name, name);
        if (target.route == Route::Page || target.route == Route::Resource) {
            QVERIFY(target.resource.startsWith(QLatin1String(":/web/")));
        }
    }

    void bearerTokens()
    {
        QCOMPARE(bearerToken("Bearer s3cret"), std::optional<QString>(QStringLiteral("s3cret")));
        QCOMPARE(bearerToken("  bearer   s3cret "),
                 std::optional<QString>(QStringLiteral("s3cret")));
        QCOMPARE(bearerToken("Basic czNjcmV0"), std::nullopt);
        QCOMPARE(bearerToken(""), std::nullopt);
    }

    void rateLimitBurstsThenRefills()
    {
        RateLimit limit(10, 5);
        for (int i = 0; i < 5; ++i) {
            QVERIFY(limit.allow(QStringLiteral("a"), 0));
        }
        QVERIFY(!limit.allow(QStringLiteral("a"), 0));
        QVERIFY(limit.allow(QStringLiteral("b"), 0)); // each sender its own
        QVERIFY(!limit.allow(QStringLiteral("a"), 50));
        QVERIFY(limit.allow(QStringLiteral("a"), 100)); // one more after a tenth of a second
        QVERIFY(!limit.allow(QStringLiteral("a"), 100));
        // Many senders: bounded, and the quiet ones make room again.
        for (int i = 0; i < 2000; ++i) {
            limit.allow(QString::number(i), 200);
        }
        QVERIFY(limit.allow(QStringLiteral("late"), 10000));
    }

    void answersForbidLoadingFromElsewhere()
    {
        const auto find = [](const Headers &headers, const QByteArray &key) {
            for (const auto &[k, v] : headers) {
                if (k == key) {
                    return v;
                }
            }
            return QByteArray();
        };
        const Headers headers = safetyHeaders("127.0.0.1", 52512);
        const QByteArray policy = find(headers, "Content-Security-Policy");
        QVERIFY(policy.startsWith("default-src 'none';"));
        QVERIFY(policy.contains("connect-src 'self' ws://127.0.0.1:52512;"));
        QVERIFY(!policy.contains('*'));
        QCOMPARE(find(headers, "X-Content-Type-Options"), QByteArray("nosniff"));
        QCOMPARE(find(headers, "Access-Control-Allow-Origin"), QByteArray());
        // A name that could break out of the header gives no WebSocket source at all.
        const QByteArray injected =
            find(safetyHeaders("a; script-src *", 52512), "Content-Security-Policy");
        QVERIFY(!injected.contains("ws://"));
        QVERIFY(!injected.contains("script-src *"));
        QCOMPARE(hostName("[::1]:52513"), QByteArray("[::1]"));
        QCOMPARE(hostName("ShowPC:52513"), QByteArray("showpc"));
    }
};

QTEST_GUILESS_MAIN(TestHttpRules)
#include "tst_http_rules.moc"
