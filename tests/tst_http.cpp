#include "dnsmessage.h"
#include "dnsresponder.h"
#include "endpoints.h"
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
    void dnsAnswers_data();
    void dnsAnswers();
    void emptyDataFailsBeforeTheConstructorReturns();
    void trustsTheSystemAndTheTestAuthority();
};

// The results host "results.veltrane.test" is known to the test resolver only;
// the server's certificate carries it besides localhost.
void TestHttp::outcomes_data()
{
    QTest::addColumn<QString>("server");   // certificate@address, or none listening
    QTest::addColumn<QString>("host");     // of the upload's URL
    QTest::addColumn<QString>("resolver"); // what the second resolver answers
    QTest::addColumn<QByteArrayList>("answer");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QStringList>("log");
    QTest::addColumn<int>("connections");
    QTest::addColumn<int>("lookups");

    const auto row = [](const char *name, const QString &server, const QString &host,
                        const QString &resolver, const QByteArrayList &answer,
                        const QString &outcome, const QStringList &log, int connections,
                        int lookups) {
        QTest::newRow(name) << server << host << resolver << answer << outcome << log << connections
                            << lookups;
    };
    const auto reply = &HttpsServer::reply;
    const QByteArray link = "https://results.test/r/1";
    const QString trusted = "server@127.0.0.1";
    const QString failed = "error 0 failed (none)";
    const QString resultsHost = "results.veltrane.test";
    const QStringList elsewhere{"the results server did not answer through the system's "
                                "resolver; sent through 127.0.0.30"};
    const QStringList none;
    row("link", trusted, "localhost", "127.0.0.2", {reply(201, link + "\r\n")},
        "done 201 succeeded " + link, none, 1, 0);
    // The é (C3 A9) is split between two chunks: only the whole body decodes.
    row("chunked", trusted, "localhost", "refuse",
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n", chunk("https://r.test/caf\xc3"),
         chunk("\xa9"), chunk("/2") + "0\r\n\r\n"},
        "done 200 succeeded https://r.test/café/2", none, 1, 0);
    row("500 with body", trusted, "localhost", "refuse", {reply(500, "oops")},
        "error 500 failed oops", none, 1, 0);
    row("200 with empty body", trusted, "localhost", "refuse", {reply(200, "")}, failed, none, 1,
        0);
    // Not followed: a redirected POST would come back as a GET without the report.
    row("redirect", trusted, "localhost", "refuse",
        {"HTTP/1.1 302 Found\r\nLocation: /elsewhere\r\nContent-Length: 5\r\n\r\nmoved"},
        "error 302 failed moved", none, 1, 0);
    row("closed mid-answer", trusted, "localhost", "refuse",
        {"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nhttps://res"},
        "error 200 succeeded https://res", none, 1, 0);
    row("escape sequence in the link", trusted, "localhost", "refuse",
        {reply(200, link + "\x1b[2J")}, "error 200 failed (none)",
        {"the results server answered with a control character"}, 1, 0);
    // Not read to its end: the answer is given up on as soon as it is too long.
    row("endless answer", trusted, "localhost", "refuse",
        {"HTTP/1.1 200 OK\r\nContent-Length: 50000000\r\n\r\n" + QByteArray(100000, 'a'), "a"},
        "error 200 failed (none)", {"the results server answered with more than 8 KiB of text"}, 1,
        0);
    // The request may have reached the server: it is not sent again.
    row("stalled server", trusted, "localhost", "127.0.0.2", {}, failed, none, 1, 0);
    row("trickling past the whole limit", trusted, "localhost", "refuse",
        QByteArrayList{"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"} +
            QByteArrayList(60, chunk("a")),
        "error 200 succeeded (none)", {"the upload took longer than 4 seconds and was given up"}, 1,
        0);

    // The second way, once the first failed before the connection was secured.
    row("unknown name, second resolver", "server@127.0.0.2", resultsHost, "127.0.0.2",
        {reply(200, link)}, "done 200 succeeded " + link, elsewhere, 1, 1);
    row("refused, second resolver", "server@127.0.0.2", "localhost", "127.0.0.2",
        {reply(200, link)}, "done 200 succeeded " + link, elsewhere, 1, 1);
    row("untrusted, second resolver gives the same address", "untrusted@127.0.0.1", "localhost",
        "127.0.0.1", {reply(200, "x")}, failed, none, 1, 1);
    row("unknown name, second resolver gives a server of another name", "other@127.0.0.1",
        resultsHost, "127.0.0.1", {reply(200, "x")}, failed, elsewhere, 1, 1);
    row("unknown name, second resolver silent", trusted, resultsHost, "silent", {}, failed, none, 0,
        1);
    row("unknown name, second resolver refuses", trusted, resultsHost, "refuse", {}, failed, none,
        0, 1);
    row("unknown name, second resolver unreachable", trusted, resultsHost, "none", {}, failed, none,
        0, 0);
    row("refused, second resolver refuses", "none", "localhost", "refuse", {}, failed, none, 0, 1);
    // An address names no server to look up.
    row("refused at an address", "none", "127.0.0.1", "127.0.0.2", {}, failed, none, 0, 0);
}

void TestHttp::outcomes()
{
    QFETCH(QString, server);
    QFETCH(QString, host);
    QFETCH(QString, resolver);
    QFETCH(QByteArrayList, answer);
    QFETCH(QString, outcome);
    QFETCH(QStringList, log);
    QFETCH(int, connections);
    QFETCH(int, lookups);

    const QStringList certificateAt = server.split('@');
    HttpsServer httpsServer(certificateAt.first() == "none" ? "server" : certificateAt.first());
    QVERIFY(httpsServer.start(0, QHostAddress(certificateAt.value(1, "127.0.0.1"))));
    const QUrl url(
        QString("https://%1:%2/diagnosticsubmit").arg(host).arg(httpsServer.serverPort()));
    if (server == "none")
        httpsServer.close(); // a port that was free a moment ago
    httpsServer.answer = answer;
    DnsResponder responder(resolver);
    QVERIFY(resolver == "none" || responder.start(QHostAddress(endpoints::PublicResolver)));
    for (const QString &line : log)
        QTest::ignoreMessage(QtWarningMsg, line.toUtf8());
    QTest::failOnWarning(QRegularExpression("."));
    RecordingDelegate delegate;
    QByteArray data("a\0b", 3);
    QBuffer body(&data);
    body.open(QIODevice::ReadOnly);
    // Limits of a minute and more are shortened to seconds.
    Http http(url, &body, &delegate, QHostAddress(endpoints::PublicResolver),
              {.stall = 1500ms, .whole = 4000ms, .lookup = 1000ms});

    QTRY_VERIFY_WITH_TIMEOUT(!delegate.outcomes.isEmpty(), 10000);
    QTest::qWait(300); // time for a second callback to show up
    QCOMPARE(delegate.outcomes, QStringList{outcome});
    QCOMPARE(httpsServer.connections, connections);
    QCOMPARE(responder.queries, lookups);
    // Sent whole and at most once: nothing retried after the connection was
    // secured, nothing followed, nothing past a refused certificate.
    QCOMPARE(httpsServer.requests.size(), certificateAt.first() == "server" ? connections : 0);
    for (const QByteArray &request : httpsServer.requests) {
        QVERIFY(request.startsWith("POST /diagnosticsubmit HTTP/1.1\r\n"));
        QVERIFY(request.contains(
            "\r\nContent-Type: multipart/form-data; boundary=0xKhTmLbOuNdArY\r\n"));
        QVERIFY(
            request.contains(QString("\r\nHost: %1:%2\r\n").arg(host).arg(url.port()).toUtf8()));
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

// Answers to the query for results.veltrane.test with id 0x1234.
void TestHttp::dnsAnswers_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("addresses"); // or "not an answer"

    QByteArray answer = QByteArray::fromHex("123481800001000300000000"
                                            "07726573756c7473087665"
                                            "6c7472616e65047465737400"
                                            "00010001");
    // A CNAME to "x" (skipped), then two A records, all named by pointer.
    answer += QByteArray::fromHex("c00c000500010000003c0003017800"
                                  "c00c000100010000003c00047f000001"
                                  "c00c000100010000003c00040a000002");
    QTest::newRow("two addresses after a CNAME") << answer << "127.0.0.1 10.0.0.2";
    QTest::newRow("question in other case")
        << QByteArray(answer).replace(14, 1, "E") << "127.0.0.1 10.0.0.2";
    QTest::newRow("refused") << QByteArray(answer).replace(3, 1, "\x85") << "";
    QTest::newRow("cut short") << answer.chopped(1) << "not an answer";
    QTest::newRow("another id") << QByteArray(answer).replace(0, 1, "\x13") << "not an answer";
    QTest::newRow("not a response") << QByteArray(answer).replace(2, 1, "\x01") << "not an answer";
    QTest::newRow("another question") << QByteArray(answer).replace(14, 1, "x") << "not an answer";
    QTest::newRow("name running past the end") << answer.first(39) + "\x3f"
                                                                     "ab"
                                               << "not an answer";
}

void TestHttp::dnsAnswers()
{
    QFETCH(QByteArray, answer);
    QFETCH(QString, addresses);

    const QByteArray query = dnsQuery(0x1234, "results.veltrane.test");
    QCOMPARE(query.toHex(), QByteArray("123401000001000000000000"
                                       "07726573756c7473087665"
                                       "6c7472616e65047465737400"
                                       "00010001"));
    const auto given = dnsAnswerAddresses(answer, query);
    QStringList texts;
    for (const QHostAddress &address : given.value_or(QList<QHostAddress>()))
        texts.append(address.toString());
    QCOMPARE(given ? texts.join(' ') : "not an answer", addresses);
}

void TestHttp::emptyDataFailsBeforeTheConstructorReturns()
{
    RecordingDelegate delegate;
    QBuffer body;
    body.open(QIODevice::ReadOnly);
    Http http(QUrl("https://localhost:1/diagnosticsubmit"), &body, &delegate, QHostAddress());
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
