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
    void replies_data();
    void replies();
    void emptyDataFailsBeforeTheConstructorReturns();
    void trustsTheSystemAndTheTestAuthority();
};

void TestHttp::outcomes_data()
{
    QTest::addColumn<QString>("server"); // trusted, untrusted or none listening
    QTest::addColumn<QByteArrayList>("answer");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QStringList>("log");

    const auto row = [](const char *name, const QString &server, const QByteArrayList &answer,
                        const QString &outcome, const QStringList &log = {}) {
        QTest::newRow(name) << server << answer << outcome << log;
    };
    const auto reply = &HttpsServer::reply;
    const QByteArray link = "https://results.test/r/1";
    const QString failed = "error 0 failed (none)";
    row("link", "trusted", {reply(201, link + "\r\n")}, "done 201 succeeded " + link);
    // The é (C3 A9) is split between two chunks: only the whole body decodes.
    row("chunked", "trusted",
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n", chunk("https://r.test/caf\xc3"),
         chunk("\xa9"), chunk("/2") + "0\r\n\r\n"},
        "done 200 succeeded https://r.test/café/2");
    row("500 with body", "trusted", {reply(500, "oops")}, "error 500 failed oops");
    row("200 with empty body", "trusted", {reply(200, "")}, failed);
    // Not followed: a redirected POST would come back as a GET without the report.
    row("redirect", "trusted",
        {"HTTP/1.1 302 Found\r\nLocation: /elsewhere\r\nContent-Length: 5\r\n\r\nmoved"},
        "error 302 failed moved");
    row("closed mid-answer", "trusted",
        {"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nhttps://res"},
        "error 200 succeeded https://res");
    row("escape sequence in the link", "trusted", {reply(200, link + "\x1b[2J")},
        "error 200 failed (none)", {"the results server answered with a control character"});
    // Not read to its end: the answer is given up on as soon as it is too long.
    row("endless answer", "trusted",
        {"HTTP/1.1 200 OK\r\nContent-Length: 50000000\r\n\r\n" + QByteArray(100000, 'a'), "a"},
        "error 200 failed (none)", {"the results server answered with more than 8 KiB of text"});
    row("stalled server", "trusted", {}, failed);
    row("trickling past the whole limit", "trusted",
        QByteArrayList{"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"} +
            QByteArrayList(60, chunk("a")),
        "error 200 succeeded (none)", {"the upload took longer than 4 seconds and was given up"});
    row("untrusted certificate", "untrusted", {reply(200, "x")}, failed);
    row("refused connection", "none", {}, failed);
}

void TestHttp::outcomes()
{
    QFETCH(QString, server);
    QFETCH(QByteArrayList, answer);
    QFETCH(QString, outcome);
    QFETCH(QStringList, log);

    HttpsServer httpsServer(server == "untrusted" ? "untrusted" : "server");
    QVERIFY(httpsServer.start());
    const QUrl url(QString("https://localhost:%1/diagnosticsubmit").arg(httpsServer.serverPort()));
    if (server == "none")
        httpsServer.close(); // a port that was free a moment ago
    httpsServer.answer = answer;
    for (const QString &line : log)
        QTest::ignoreMessage(QtWarningMsg, line.toUtf8());
    QTest::failOnWarning(QRegularExpression("."));
    RecordingDelegate delegate;
    QByteArray data("a\0b", 3);
    QBuffer body(&data);
    body.open(QIODevice::ReadOnly);
    // Limits of a minute and more are shortened to seconds.
    Http http(url, &body, &delegate, {.stall = 1500ms, .whole = 4000ms});

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

void TestHttp::replies_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("link"); // or why there is none

    const QString notUtf8 = "the results server answered with something that is not UTF-8 text";
    const QString control = "the results server answered with a control character";
    const QString tooLong = "the results server answered with more than 8 KiB of text";
    QTest::newRow("link") << QByteArray("https://r.test/café") << "https://r.test/café";
    QTest::newRow("white space after")
        << QByteArray("https://r.test/1\r\n \t") << "https://r.test/1";
    QTest::newRow("white space only")
        << QByteArray(" \r\n") << "the results server answered with white space only";
    QTest::newRow("escape") << QByteArray("https://r.test/\x1b]8;;x\x07") << control;
    QTest::newRow("NUL") << QByteArray("https://r.test/\0x", 17) << control;
    QTest::newRow("C1 CSI") << QByteArray("https://r.test/\xc2\x9b"
                                          "2J")
                            << control;
    QTest::newRow("8 KiB") << QByteArray(8192, 'a') + "\n" << QString(8192, 'a');
    // 8191 + 2 bytes: the limit counts bytes, not characters.
    QTest::newRow("8 KiB and a byte") << QByteArray(8191, 'a') + "é" << tooLong;
    QTest::newRow("not UTF-8") << QByteArray("https://r.test/\xff") << notUtf8;
    QTest::newRow("sequence cut off") << QByteArray("https://r.test/caf\xc3") << notUtf8;
}

void TestHttp::replies()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, link);

    const CheckedReply checked = checkReply(body);
    QCOMPARE(checked.link.value_or(checked.problem), link);
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
