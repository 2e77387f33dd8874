#include "dnsmessage.h"
#include "dnsresponder.h"
#include "elsewherelookup.h"
#include "endpoints.h"
#include "http.h"
#include "httpsserver.h"
#include "responsereader.h"

#include <QBuffer>
#include <QFile>
#include <QTest>

using namespace std::chrono_literals;

namespace {

// Records every callback as "done|error responseCode succeeded|failed reply".
class RecordingDelegate : public HttpProtocol
{
public:
    void onHttpDone(Http *http) override { record("done", http); }
    void onHttpError(Http *http) override { record("error", http); }
    void record(const char *kind, Http *http)
    {
        outcomes << QStringList{kind, QString::number(http->responseCode()),
                                http->didResponseSucceed() ? "succeeded" : "failed",
                                http->reply().value_or("(none)")}
                        .join(' ');
    }
    QStringList outcomes;
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
    void tryAgain_data();
    void tryAgain();
    void replies_data();
    void replies();
    void answers_data();
    void answers();
    void dnsAnswers_data();
    void dnsAnswers();
    void addressesElsewhere_data();
    void addressesElsewhere();
    void certificateRefusals_data();
    void certificateRefusals();
    void emptyDataFailsBeforeTheConstructorReturns();
    void trustsTheSystemAndTheTestAuthority();
};

// The setup: the server's certificate@address, the URL's host, and what the
// second resolver answers. Only the test resolver knows results.veltrane.test,
// which the server's certificate carries too.
void TestHttp::outcomes_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QByteArrayList>("answer");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QString>("warning"); // logged once, or none
    QTest::addColumn<int>("connections");
    QTest::addColumn<int>("lookups");
    const auto row = [](const char *name, const char *setup, const QByteArrayList &answer,
                        const QString &outcome, const QString &warning, int connections,
                        int lookups) {
        QTest::newRow(name) << setup << answer << outcome << warning << connections << lookups;
    };
    const auto reply = &HttpsServer::reply;
    const QByteArray link = "https://results.test/r/1";
    const QString failed = "error 0 failed (none)";
    const QString elsewhere = "the results server did not answer through the system's resolver; "
                              "tried through 127.0.0.30, which ";
    const QByteArray chunked = "HTTP/1.1 201 Created\r\nTransfer-Encoding: chunked\r\n\r\n";
    // Answered on the first try, the second resolver is never asked.
    const char *local = "server@127.0.0.1 localhost 127.0.0.2";
    // The link is read whole, whatever the chunks.
    row("chunked", local,
        {chunked, chunk("https://r.test/caf"), chunk("e"), chunk("/2\r\n") + "0\r\n\r\n"},
        "done 201 succeeded https://r.test/cafe/2", "", 1, 0);
    row("an error page with status 200", local, {reply(200, "<html>Error</html>")},
        "error 200 failed (none)",
        "the results server answered with something that is not a web link", 1, 0);
    row("200 with empty body", local, {reply(200, "")}, failed, "", 1, 0);
    row("interim answers first", local,
        {"HTTP/1.1 102 Processing\r\n\r\n",
         "HTTP/1.1 103 Early Hints\r\nLink: </a>\r\n\r\n" + reply(200, link)},
        "done 200 succeeded " + link, "", 1, 0);
    // The request may have reached the server: it is not sent again.
    row("closed without an answer", local, {""}, failed, "", 1, 0);
    // Not followed: a redirected POST would come back as a GET without the report.
    row("redirect", local,
        {"HTTP/1.1 302 Found\r\nLocation: /elsewhere\r\nContent-Length: 5\r\n\r\nmoved"},
        "error 302 failed (none)", "", 1, 0);
    row("closed mid-answer", local, {"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nhttps://res"},
        "error 200 succeeded https://res", "", 1, 0);
    row("escape sequence in the link", local, {reply(200, link + "\x1b[2J")},
        "error 200 failed (none)", "the results server answered with a control character", 1, 0);
    // Not read to its end: the answer is given up on as soon as it is too long,
    // long before the server would stop sending (past the whole limit).
    row("endless answer", local,
        QByteArrayList{"HTTP/1.1 200 OK\r\nContent-Length: 50000000\r\n\r\n" +
                       QByteArray(100000, 'a')} +
            QByteArrayList(60, "a"),
        "error 200 failed (none)", "the results server answered with more than 8 KiB of text", 1,
        0);
    // The request may have reached the server: it is not sent again.
    row("stalled server", local, {}, failed, "", 1, 0);
    row("trickling past the whole limit", local,
        QByteArrayList{chunked} + QByteArrayList(60, chunk("a")), "error 201 succeeded (none)",
        "the upload took longer than 4 seconds and was given up", 1, 0);

    // The second way, once the first failed before the connection was secured.
    row("unknown name, second resolver", "server@127.0.0.2 results.veltrane.test 127.0.0.2",
        {reply(200, link)}, "done 200 succeeded " + link, elsewhere + "worked", 1, 1);
    row("refused, second resolver", "server@127.0.0.2 localhost 127.0.0.2", {reply(200, link)},
        "done 200 succeeded " + link, elsewhere + "worked", 1, 1);
    const QString refused = "the results server's certificate was refused: it is not ";
    row("untrusted, second resolver gives the same address",
        "untrusted@127.0.0.1 localhost 127.0.0.1", {reply(200, "x")}, failed, refused + "trusted",
        1, 1);
    row("unknown name, second resolver gives a server of another name",
        "other@127.0.0.1 results.veltrane.test 127.0.0.1", {reply(200, "x")}, failed,
        refused + "valid for the name results.veltrane.test\n" + elsewhere + "did not work either",
        1, 1);
    row("unknown name, second resolver silent", "server@127.0.0.1 results.veltrane.test silent", {},
        failed, "", 0, 1);
}

void TestHttp::outcomes()
{
    QFETCH(QString, setup);
    QFETCH(QByteArrayList, answer);
    QFETCH(QString, outcome);
    QFETCH(QString, warning);
    QFETCH(int, connections);
    QFETCH(int, lookups);

    const QString certificate = setup.section(u'@', 0, 0);
    const QString host = setup.section(u' ', 1, 1);
    HttpsServer server(certificate);
    QVERIFY(server.start(0, QHostAddress(setup.section(u'@', 1).section(u' ', 0, 0))));
    const QUrl url(QString("https://%1:%2/diagnosticsubmit").arg(host).arg(server.serverPort()));
    server.answer = answer;
    DnsResponder responder(setup.section(u' ', 2));
    QVERIFY(responder.start(QHostAddress(endpoints::PublicResolver)));
    for (const QString &line : warning.split(u'\n', Qt::SkipEmptyParts))
        QTest::ignoreMessage(QtWarningMsg, line.toUtf8());
    QTest::failOnWarning(QRegularExpression("."));
    RecordingDelegate delegate;
    QByteArray data("a\0b", 3);
    QBuffer body(&data);
    body.open(QIODevice::ReadOnly);
    // Limits of a minute and more are shortened to seconds.
    Http http(url, &body, &delegate, HttpsServer::clientTls(),
              {QHostAddress(endpoints::PublicResolver), true},
              {.stall = 1500ms, .whole = 4000ms, .lookup = 1000ms});

    QTRY_VERIFY_WITH_TIMEOUT(!delegate.outcomes.isEmpty(), 10000);
    QTest::qWait(300); // time for a second callback to show up
    QCOMPARE(delegate.outcomes, QStringList{outcome});
    QCOMPARE(server.connections, connections);
    QCOMPARE(responder.queries, lookups);
    // Sent at most once: nothing retried after the connection was secured,
    // nothing followed, nothing past a refused certificate; always naming the
    // server. What is sent is checked by the delivery test.
    QCOMPARE(server.requests.size(), certificate == "server" ? connections : 0);
    for (const QByteArray &request : server.requests) {
        QCOMPARE(HttpsServer::header(request, "host"), QString("%1:%2").arg(host).arg(url.port()));
        QCOMPARE(HttpsServer::header(request, "content-type"),
                 "multipart/form-data; boundary=0xKhTmLbOuNdArY");
    }
}

// What a first try that failed with error came to, and whether and where a
// second goes. The try asked for the server by name, with a second resolver,
// unless the row says otherwise.
void TestHttp::tryAgain_data()
{
    QTest::addColumn<QNetworkReply::NetworkError>("error");
    QTest::addColumn<QString>("also");
    QTest::addColumn<QString>("where");
    const auto row = [](const char *name, QNetworkReply::NetworkError error, const char *also,
                        const char *where) { QTest::newRow(name) << error << also << where; };
    row("name not found", QNetworkReply::HostNotFoundError, "", "any address");
    row("refused", QNetworkReply::ConnectionRefusedError, "", "another address");
    row("closed", QNetworkReply::RemoteHostClosedError, "", "another address");
    row("timed out", QNetworkReply::TimeoutError, "", "another address");
    row("stalled", QNetworkReply::OperationCanceledError, "", "another address");
    row("handshake failed", QNetworkReply::SslHandshakeFailedError, "", "another address");
    row("unreachable", QNetworkReply::UnknownNetworkError, "", "another address");
    row("refused by the proxy", QNetworkReply::ProxyConnectionRefusedError, "", "no");
    // The server may have the report by then.
    row("stalled once secured", QNetworkReply::OperationCanceledError, "secured", "no");
    row("closed after the status", QNetworkReply::RemoteHostClosedError, "status", "no");
    row("closed after some body", QNetworkReply::RemoteHostClosedError, "body", "no");
    // No name to look up, or nothing to ask.
    row("refused at an address", QNetworkReply::ConnectionRefusedError, "address", "no");
    row("no second resolver", QNetworkReply::HostNotFoundError, "no resolver", "no");
}

void TestHttp::tryAgain()
{
    QFETCH(QNetworkReply::NetworkError, error);
    QFETCH(QString, also);
    QFETCH(QString, where);

    AttemptResult result;
    result.error = error;
    result.secured = also == "secured";
    if (also == "status")
        result.status = 502;
    if (also == "body")
        result.body = "<html>";
    const QUrl url(also == "address" ? "https://127.0.0.1/" : "https://results.veltrane.test/");
    const TryAgain again =
        shouldTryAgain(result, url, QHostAddress(also == "no resolver" ? "" : "127.0.0.30"));
    const QStringList names{"no", "another address", "any address"};
    QCOMPARE(names.value(int(again)), where);
}

void TestHttp::replies_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("link"); // or why there is none

    QTest::newRow("white space only")
        << QByteArray(" \r\n") << "the results server answered with white space only";
    QTest::newRow("C1 CSI") << QByteArray("https://r.test/\xc2\x9b[2J")
                            << "the results server answered with a control character";
    const QByteArray long8KiB = "https://r.test/" + QByteArray(8177, 'a');
    QTest::newRow("8 KiB, white space at both ends") << " \t" + long8KiB + "\r\n"
                                                     << QString::fromLatin1(long8KiB);
    // 8191 + 2 bytes: the limit counts bytes, not characters.
    QTest::newRow("8 KiB and a byte") << long8KiB.chopped(1) + "é"
                                      << "the results server answered with more than 8 KiB of text";
    const QString notASCII = "the results server answered with a character that is not "
                             "printable ASCII";
    QTest::newRow("right-to-left override")
        << QByteArray("https://r.test/\u202Eexe.fdp") << notASCII;
    QTest::newRow("zero-width space") << QByteArray("https://r\u200B.test/1") << notASCII;
    QTest::newRow("look-alike letter") << QByteArray("https://r\u0435sults.test/1") << notASCII;
    const QString notALink = "the results server answered with something that is not a web link";
    for (const char *body :
         {"javascript:alert(1)", "file:///etc/passwd", "thanks for the report",
          "<html><body>Error</body></html>", "https:///r/1", "https://r.test/a b"})
        QTest::newRow(body) << QByteArray(body) << notALink;
    QTest::newRow("http") << QByteArray("http://r.test/1") << "http://r.test/1";
    QTest::newRow("sequence cut off")
        << QByteArray("https://r.test/caf\xc3")
        << "the results server answered with something that is not UTF-8 text";
}

void TestHttp::replies()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, link);

    const CheckedReply checked = checkReply(body);
    QCOMPARE(checked.link.value_or(checked.problem), link);
}

// An answer as it arrives, whole and a byte at a time: "status body" once it
// is complete, "open" while it is not, "malformed".
void TestHttp::answers_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("closed");
    QTest::addColumn<QString>("read");
    const QByteArray ok = "HTTP/1.1 200 OK\r\n";
    QTest::newRow("sized, more after it")
        << ok + "Content-Length: 3\r\n\r\nabcd" << false << "200 abc";
    QTest::newRow("interim answers first")
        << "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 103 Early Hints\r\nLink: </a>\r\n\r\n" + ok +
               "Content-Length: 1\r\n\r\nx"
        << false << "200 x";
    QTest::newRow("chunked, with extension and trailer")
        << ok + "Transfer-Encoding: chunked\r\n\r\n2;x=y\r\nab\r\n1\r\nc\r\n0\r\nT: 1\r\n\r\n"
        << false << "200 abc";
    QTest::newRow("until closed") << ok + "\r\nab" << true << "200 ab";
    QTest::newRow("cut short") << ok + "Content-Length: 3\r\n\r\nab" << true << "open";
    QTest::newRow("no body") << QByteArray("HTTP/1.1 204 None\r\n\r\n") << false << "204 ";
    QTest::newRow("not HTTP") << QByteArray("SSH-2.0-x\r\n\r\n") << false << "malformed";
}

void TestHttp::answers()
{
    QFETCH(QByteArray, answer);
    QFETCH(bool, closed);
    QFETCH(QString, read);
    ResponseReader whole;
    ResponseReader bytewise;
    whole.feed(answer);
    for (const char byte : answer)
        bytewise.feed(QByteArrayView(&byte, 1));
    for (ResponseReader *reader : {&whole, &bytewise}) {
        if (closed)
            reader->closed();
        const QString seen =
            reader->isMalformed() ? "malformed"
            : reader->isComplete()
                ? QString::number(reader->status().value_or(0)) + ' ' + reader->body()
                : "open";
        QCOMPARE(seen, read);
    }
}

// Answers to the query for results.veltrane.test with id 0x1234. They spell it
// "rEsults", as resolvers that vary the case do.
void TestHttp::dnsAnswers_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("addresses"); // or "not an answer"

    QByteArray answer = QByteArray::fromHex("123481800001000300000000"
                                            "07724573756c7473087665"
                                            "6c7472616e65047465737400"
                                            "00010001");
    // A CNAME to "x" (skipped), then two A records, all named by pointer.
    answer += QByteArray::fromHex("c00c000500010000003c0003017800"
                                  "c00c000100010000003c00047f000001"
                                  "c00c000100010000003c00040a000002");
    QTest::newRow("two addresses after a CNAME") << answer << "127.0.0.1 10.0.0.2";
    QTest::newRow("refused") << QByteArray(answer).replace(3, 1, "\x85") << "";
    QTest::newRow("cut short") << answer.chopped(1) << "not an answer";
    QTest::newRow("another id") << QByteArray(answer).replace(0, 1, "\x13") << "not an answer";
    QTest::newRow("not a response") << QByteArray(answer).replace(2, 1, "\x01") << "not an answer";
    QTest::newRow("another question") << QByteArray(answer).replace(14, 1, "x") << "not an answer";
    // A label of 63 bytes ("?") where the records begin.
    QTest::newRow("name running past the end") << answer.first(39) + "?ab"
                                               << "not an answer";
    QTest::newRow("truncated") << QByteArray(answer).replace(2, 1, "\x83") << "";

    // Records after the question: an address is taken only for the name asked
    // or one its CNAMEs lead to, 8 of them at most.
    const QByteArray question = answer.first(39);
    const auto records = [&question](int count, const QByteArray &more) {
        return QByteArray(question).replace(7, 1, QByteArray(1, char(count))) + more;
    };
    const auto record = [](const QByteArray &owner, int type, const QByteArray &data) {
        return owner + QByteArray::fromHex(type == 1 ? "0001" : "0005") +
               QByteArray::fromHex("00010000003c00") + char(data.size()) + data;
    };
    const auto name = [](int n) { return "\x02n" + QByteArray::number(n) + '\0'; };
    const QByteArray address = QByteArray::fromHex("0a000003");
    QTest::newRow("an address for another name") << records(1, record(name(1), 1, address)) << "";
    QTest::newRow("a name pointing to itself")
        << records(1, record("\xc0\x27", 1, address)) << "not an answer";
    for (int links : {8, 9}) {
        QByteArray chain = record("\xc0\x0c", 5, name(1));
        for (int n = 1; n < links; ++n)
            chain += record(name(n), 5, name(n + 1));
        QTest::addRow("a chain of %d", links)
            << records(links + 1, chain + record(name(links), 1, address))
            << (links == 8 ? "10.0.0.3" : "");
    }
}

void TestHttp::certificateRefusals_data()
{
    QTest::addColumn<QList<QSslError::SslError>>("errors");
    QTest::addColumn<QString>("reason");
    QTest::newRow("expired") << QList{QSslError::CertificateExpired} << "it has expired";
    QTest::newRow("untrusted and for another name")
        << QList{QSslError::SelfSignedCertificate, QSslError::HostNameMismatch,
                 QSslError::UnableToGetLocalIssuerCertificate}
        << "it is not trusted, it is not valid for the name r.test";
}

void TestHttp::certificateRefusals()
{
    QFETCH(QList<QSslError::SslError>, errors);
    QFETCH(QString, reason);
    QList<QSslError> refused;
    for (const QSslError::SslError error : errors)
        refused.append(QSslError(error));
    QCOMPARE(certificateRefusal(refused, "r.test"),
             "the results server's certificate was refused: " + reason);
}

// No unspecified, broadcast or multicast address, and loopback only when the
// results server is on loopback too.
void TestHttp::addressesElsewhere_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("loopbackAllowed");
    QTest::addColumn<bool>("usable");
    QTest::newRow("unspecified") << "0.0.0.0" << true << false;
    QTest::newRow("broadcast") << "255.255.255.255" << true << false;
    QTest::newRow("multicast") << "224.0.0.251" << true << false;
    QTest::newRow("loopback") << "127.0.0.1" << false << false;
    QTest::newRow("loopback, the server's too") << "127.0.0.1" << true << true;
    QTest::newRow("private") << "10.0.0.2" << false << true;
}

void TestHttp::addressesElsewhere()
{
    QFETCH(QString, address);
    QFETCH(bool, loopbackAllowed);
    QFETCH(bool, usable);
    QCOMPARE(mayConnectTo(QHostAddress(address), loopbackAllowed), usable);
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
    Http http(QUrl("https://localhost:1/diagnosticsubmit"), &body, &delegate,
              HttpsServer::clientTls());
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
