#include "http.h"
#include "httpsserver.h"
#include "multipart.h"

#include <QBuffer>
#include <QFile>
#include <QTest>

using namespace std::chrono_literals;

namespace {

// Records every callback: done or error, responseCode, didResponseSucceed and
// the reply.
class RecordingDelegate : public HttpProtocol
{
public:
    void onHttpDone(Http *http) override { record("done", http); }
    void onHttpError(Http *http) override { record("error", http); }
    QStringList outcomes;

private:
    void record(const char *kind, Http *http)
    {
        outcomes.append(QStringList{kind, QString::number(http->responseCode()),
                                    http->didResponseSucceed() ? "succeeded" : "failed",
                                    http->reply().value_or("(none)")}
                            .join(' '));
    }
};

QByteArray chunk(const QByteArray &data)
{
    return QByteArray::number(data.size(), 16) + "\r\n" + data + "\r\n";
}

} // namespace

class TestHttp : public QObject
{
    Q_OBJECT

private slots:
    void outcomes_data();
    void outcomes();
    void emptyDataFailsBeforeTheConstructorReturns();
    void trustsTheSystemAndTheTestAuthority();
};

void TestHttp::outcomes_data()
{
    QTest::addColumn<QString>("server"); // trusted, untrusted or none listening
    QTest::addColumn<QByteArrayList>("answer");
    QTest::addColumn<QString>("outcome");

    const auto row = [](const char *name, const QString &server, const QByteArrayList &answer,
                        const QString &outcome) {
        QTest::newRow(name) << server << answer << outcome;
    };
    const auto reply = &HttpsServer::reply;
    const QByteArray link = "https://results.test/r/1";
    row("link", "trusted", {reply(200, link)}, "done 200 succeeded " + link);
    row("link and line break", "trusted", {reply(201, link + "\n")},
        "done 201 succeeded " + link + "\n");
    // The é (C3 A9) is split between two chunks: only the whole body decodes.
    row("chunked", "trusted",
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n", chunk("https://r.test/caf\xc3"),
         chunk("\xa9"), chunk("/2") + "0\r\n\r\n"},
        "done 200 succeeded https://r.test/café/2");
    row("500 with body", "trusted", {reply(500, "oops")}, "error 500 failed oops");
    row("404 with body", "trusted", {reply(404, "nope")}, "error 404 failed nope");
    row("200 with empty body", "trusted", {reply(200, "")}, "error 0 failed (none)");
    // Not followed: a redirected POST would come back as a GET without the report.
    row("redirect", "trusted",
        {"HTTP/1.1 302 Found\r\nLocation: /elsewhere\r\nContent-Length: 5\r\n\r\nmoved"},
        "error 302 failed moved");
    row("closed mid-answer", "trusted",
        {"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nhttps://res"},
        "error 200 succeeded https://res");
    row("reply not UTF-8", "trusted", {reply(200, "https://r.test/\xff")},
        "done 200 succeeded (none)");
    row("stalled server", "trusted", {}, "error 0 failed (none)");
    row("untrusted certificate", "untrusted", {reply(200, "x")}, "error 0 failed (none)");
    row("refused connection", "none", {}, "error 0 failed (none)");
}

void TestHttp::outcomes()
{
    QFETCH(QString, server);
    QFETCH(QByteArrayList, answer);
    QFETCH(QString, outcome);

    HttpsServer httpsServer(server == "untrusted" ? "untrusted" : "server");
    QVERIFY(httpsServer.start());
    const QUrl url(QString("https://localhost:%1/diagnosticsubmit").arg(httpsServer.serverPort()));
    if (server == "none")
        httpsServer.close(); // a port that was free a moment ago
    httpsServer.answer = answer;
    RecordingDelegate delegate;
    QByteArray data("a\0b", 3);
    QBuffer body(&data);
    body.open(QIODevice::ReadOnly);
    // The stalled server is given up on after a short while instead of a minute.
    Http http(url, &body, &delegate, 1500ms);

    QTRY_VERIFY_WITH_TIMEOUT(!delegate.outcomes.isEmpty(), 10000);
    QTest::qWait(300); // time for a second callback to show up
    QCOMPARE(delegate.outcomes, QStringList{outcome});
    // Sent whole and once: nothing retried, nothing followed, nothing past a
    // refused certificate.
    QCOMPARE(httpsServer.requests.size(), server == "trusted" ? 1 : 0);
    for (const QByteArray &request : httpsServer.requests) {
        QVERIFY(request.startsWith("POST /diagnosticsubmit HTTP/1.1\r\n"));
        QVERIFY(request.contains(
            "\r\nContent-Type: multipart/form-data; boundary=0xKhTmLbOuNdArY\r\n"));
        QVERIFY(request.endsWith("\r\n\r\n" + multipartBody(uploadBoundary, data)));
    }
}

void TestHttp::emptyDataFailsBeforeTheConstructorReturns()
{
    RecordingDelegate delegate;
    Http http(QUrl("https://localhost:1/diagnosticsubmit"), QByteArray(), &delegate);
    QCOMPARE(delegate.outcomes, QStringList{"error 0 failed (none)"});
}

// Adding the test authority must not drop the system's roots.
void TestHttp::trustsTheSystemAndTheTestAuthority()
{
    QFile file(QStringLiteral(VELTRANE_TEST_CERTS_DIR "/ca.pem"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray pem = file.readAll();
    QCOMPARE(uploadTlsConfiguration(pem).caCertificates(),
             QSslConfiguration::systemCaCertificates() + QSslCertificate::fromData(pem));
}

QTEST_GUILESS_MAIN(TestHttp)
#include "tst_http.moc"
