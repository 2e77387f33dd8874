#include "http.h"
#include "httpsserver.h"
#include "multipart.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>

using namespace std::chrono_literals;

namespace {

// Records every callback with what the upload showed at that moment.
struct Outcome
{
    bool done = false;
    bool didResponseSucceed = false;
    qint64 responseCode = 0;
    std::optional<QString> reply;
};

class RecordingDelegate : public HttpProtocol
{
public:
    void onHttpDone(Http *http) override { record(true, http); }
    void onHttpError(Http *http) override { record(false, http); }

    QList<Outcome> outcomes;

private:
    void record(bool done, Http *http)
    {
        outcomes.append({done, http->didResponseSucceed(), http->responseCode(), http->reply()});
    }
};

QByteArray testCaPem()
{
    QFile file(QStringLiteral(VELTRANE_TEST_CERTS_DIR "/ca.pem"));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read the test authority");
    return file.readAll();
}

} // namespace

class TestHttp : public QObject
{
    Q_OBJECT

private slots:
    void outcomes_data();
    void outcomes();
    void sendsTheFormAsItIs();
    void refusedConnectionFails();
    void untrustedCertificateFails();
    void emptyDataFailsBeforeTheConstructorReturns();
    void trustsTheSystemAndTheExtraAuthorities();
};

void TestHttp::outcomes_data()
{
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<bool>("done");
    QTest::addColumn<bool>("didResponseSucceed");
    QTest::addColumn<qint64>("responseCode");
    QTest::addColumn<std::optional<QString>>("reply");

    const auto link = std::optional<QString>("https://results.test/r/1");
    const auto none = std::optional<QString>();

    QTest::newRow("link") << Answer::whole(200, "https://results.test/r/1") << true << true
                          << qint64(200) << link;
    QTest::newRow("link with a line break, kept")
        << Answer::whole(201, "https://results.test/r/1\n") << true << true << qint64(201)
        << std::optional<QString>("https://results.test/r/1\n");
    // The é (C3 A9) is split between two chunks: only the whole body decodes.
    QTest::newRow("chunked, a character across chunks")
        << Answer::chunked(200, {"https://results.test/r/caf\xc3", "\xa9", "/2"}) << true << true
        << qint64(200)
        << std::optional<QString>(QString::fromUtf8("https://results.test/r/caf\xc3\xa9/2"));
    QTest::newRow("500 with body") << Answer::whole(500, "oops") << false << false << qint64(500)
                                   << std::optional<QString>("oops");
    QTest::newRow("404 with body") << Answer::whole(404, "nope") << false << false << qint64(404)
                                   << std::optional<QString>("nope");
    QTest::newRow("200 with empty body")
        << Answer::whole(200, "") << false << false << qint64(0) << none;
    // Not followed: a redirected POST would come back as a GET without the report.
    QTest::newRow("redirect") << Answer::whole(302, "moved",
                                               "Location: https://localhost:1/elsewhere\r\n")
                              << false << false << qint64(302) << std::optional<QString>("moved");
    QTest::newRow("closed after a good answer had begun")
        << Answer::closeMidAnswer(200, "https://res", 100) << false << true << qint64(200)
        << std::optional<QString>("https://res");
    QTest::newRow("reply that is not UTF-8") << Answer::whole(200, "https://results.test/\xff\xfe")
                                             << true << true << qint64(200) << none;
    QTest::newRow("server that never answers")
        << Answer::stall() << false << false << qint64(0) << none;
}

void TestHttp::outcomes()
{
    QFETCH(Answer, answer);
    QFETCH(bool, done);
    QFETCH(bool, didResponseSucceed);
    QFETCH(qint64, responseCode);
    QFETCH(std::optional<QString>, reply);

    HttpsServer server;
    QVERIFY(server.start());
    server.setAnswer(answer);
    RecordingDelegate delegate;
    // The stalled server is given up on after a short while instead of a minute.
    Http http(QUrl(server.url()), "report", &delegate, 1500ms);

    QTRY_COMPARE_WITH_TIMEOUT(delegate.outcomes.size(), 1, 10000);
    // Give a second callback the chance to show up.
    QTest::qWait(300);
    QCOMPARE(delegate.outcomes.size(), 1);
    const Outcome &outcome = delegate.outcomes.first();
    QCOMPARE(outcome.done, done);
    QCOMPARE(outcome.didResponseSucceed, didResponseSucceed);
    QCOMPARE(outcome.responseCode, responseCode);
    QCOMPARE(outcome.reply, reply);
    // Nothing retried, nothing followed.
    QCOMPARE(server.requests().size(), 1);
}

void TestHttp::sendsTheFormAsItIs()
{
    HttpsServer server;
    QVERIFY(server.start());
    RecordingDelegate delegate;
    const QByteArray data("a\0b", 3);
    Http http(QUrl(server.url()), data, &delegate);
    QTRY_COMPARE(delegate.outcomes.size(), 1);

    QCOMPARE(server.requests().size(), 1);
    const ReceivedRequest &request = server.requests().first();
    QCOMPARE(request.method, QByteArray("POST"));
    QCOMPARE(request.path, QByteArray("/diagnosticsubmit"));
    QCOMPARE(request.headers.value("content-type"),
             QByteArray("multipart/form-data; boundary=0xKhTmLbOuNdArY"));
    QCOMPARE(request.body, multipartBody(uploadBoundary, data));
    QCOMPARE(request.body.size(), 113);
}

void TestHttp::refusedConnectionFails()
{
    // A port that was free a moment ago and has nobody listening.
    HttpsServer server;
    QVERIFY(server.start());
    const QString url = server.url();
    server.close();

    RecordingDelegate delegate;
    Http http(QUrl(url), "report", &delegate);
    QTRY_COMPARE(delegate.outcomes.size(), 1);
    QTest::qWait(200);
    QCOMPARE(delegate.outcomes.size(), 1);
    QCOMPARE(delegate.outcomes.first().done, false);
    QCOMPARE(delegate.outcomes.first().didResponseSucceed, false);
    QCOMPARE(delegate.outcomes.first().responseCode, qint64(0));
}

void TestHttp::untrustedCertificateFails()
{
    HttpsServer server(HttpsServer::Certificate::Untrusted);
    QVERIFY(server.start());
    RecordingDelegate delegate;
    Http http(QUrl(server.url()), "report", &delegate);
    QTRY_COMPARE(delegate.outcomes.size(), 1);
    QTest::qWait(200);
    QCOMPARE(delegate.outcomes.size(), 1);
    QCOMPARE(delegate.outcomes.first().done, false);
    QCOMPARE(delegate.outcomes.first().responseCode, qint64(0));
    // The handshake was refused, so the report never went over.
    QCOMPARE(server.connectionCount(), 1);
    QCOMPARE(server.requests().size(), 0);
}

void TestHttp::emptyDataFailsBeforeTheConstructorReturns()
{
    HttpsServer server;
    QVERIFY(server.start());
    RecordingDelegate delegate;
    Http http(QUrl(server.url()), QByteArray(), &delegate);
    QCOMPARE(delegate.outcomes.size(), 1);
    QCOMPARE(delegate.outcomes.first().done, false);
    QCOMPARE(delegate.outcomes.first().didResponseSucceed, false);
    QCOMPARE(delegate.outcomes.first().responseCode, qint64(0));
    QTest::qWait(200);
    QCOMPARE(delegate.outcomes.size(), 1);
    QCOMPARE(server.connectionCount(), 0);
}

void TestHttp::trustsTheSystemAndTheExtraAuthorities()
{
    const QList<QSslCertificate> system = QSslConfiguration::systemCaCertificates();
    const QSslCertificate testAuthority(testCaPem(), QSsl::Pem);

    const QList<QSslCertificate> trusted = uploadTlsConfiguration(testCaPem()).caCertificates();
    QVERIFY(trusted.contains(testAuthority));
    QCOMPARE(trusted.size(), system.size() + 1);

    // Without extra certificates the platform's default stands untouched.
    QCOMPARE(uploadTlsConfiguration({}).caCertificates(),
             QSslConfiguration::defaultConfiguration().caCertificates());
    QCOMPARE(uploadTlsConfiguration({}).peerVerifyMode(), QSslSocket::AutoVerifyPeer);
}

QTEST_GUILESS_MAIN(TestHttp)
#include "tst_http.moc"
