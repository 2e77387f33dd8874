<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>Delivery</name>
    <message>
        <location filename="../mainwindow.cpp" line="165"/>
        <source>There was an error submitting the results</source>
        <translation>Beim Senden der Ergebnisse ist ein Fehler aufgetreten</translation>
    </message>
    <message>
        <location filename="../mainwindow.cpp" line="166"/>
        <source>There was an internal server errror</source>
        <translation>Auf dem Server ist ein interner Fehler aufgetreten</translation>
    </message>
</context>
<context>
    <name>FindingsList</name>
    <message>
        <location filename="../findingslist.cpp" line="45"/>
        <source>Enter or a double click shows its whole output</source>
        <translation>Eingabetaste oder Doppelklick zeigt seine ganze Ausgabe</translation>
    </message>
    <message>
        <location filename="../findingslist.cpp" line="81"/>
        <source>Findings</source>
        <translation>Befunde</translation>
    </message>
    <message>
        <location filename="../findingslist.cpp" line="85"/>
        <source>Opens to the tests it was read from</source>
        <translation>Öffnet sich zu den Tests, aus denen er gelesen wurde</translation>
    </message>
    <message>
        <location filename="../findingstexts.cpp" line="24"/>
        <source>Fine</source>
        <translation>In Ordnung</translation>
    </message>
    <message>
        <location filename="../findingstexts.cpp" line="26"/>
        <source>Worth a look</source>
        <translation>Einen Blick wert</translation>
    </message>
    <message>
        <location filename="../findingstexts.cpp" line="30"/>
        <source>Could not tell</source>
        <translation>Nicht feststellbar</translation>
    </message>
    <message>
        <location filename="../findingstexts.cpp" line="39"/>
        <source>Nothing looks wrong</source>
        <translation>Nichts deutet auf einen Fehler hin</translation>
    </message>
    <message numerus="yes">
        <location filename="../findingstexts.cpp" line="44"/>
        <source>%n worth a look</source>
        <translation>
            <numerusform>%n einen Blick wert</numerusform>
            <numerusform>%n einen Blick wert</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <location filename="../findingstexts.cpp" line="47"/>
        <source>%n could not tell</source>
        <translation>
            <numerusform>%n nicht feststellbar</numerusform>
            <numerusform>%n nicht feststellbar</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <location filename="../findingstexts.cpp" line="49"/>
        <source>%n fine</source>
        <translation>
            <numerusform>%n in Ordnung</numerusform>
            <numerusform>%n in Ordnung</numerusform>
        </translation>
    </message>
    <message>
        <location filename="../findingstexts.cpp" line="55"/>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <location filename="../findingstexts.cpp" line="62"/>
        <source>(printed nothing)</source>
        <translation>(keine Ausgabe)</translation>
    </message>
    <message>
        <location filename="../findingstexts.cpp" line="69"/>
        <source>Test %1, printed nothing</source>
        <translation>Test %1, keine Ausgabe</translation>
    </message>
    <message>
        <location filename="../findingstexts.cpp" line="71"/>
        <source>Test %1, printed: %2</source>
        <translation>Test %1, Ausgabe: %2</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <location filename="../mainwindow.ui" line="26"/>
        <source>Enter the account and the support ticket number you were given, then start the tests. They take a few minutes.</source>
        <translation>Geben Sie das Konto und die Nummer des Support-Tickets ein, die Sie erhalten haben, und starten Sie dann die Tests. Sie dauern einige Minuten.</translation>
    </message>
    <message>
        <location filename="../mainwindow.ui" line="38"/>
        <source>&amp;Account:</source>
        <translation>&amp;Konto:</translation>
    </message>
    <message>
        <location filename="../mainwindow.ui" line="51"/>
        <source>&amp;Ticket number:</source>
        <translation>&amp;Ticketnummer:</translation>
    </message>
    <message>
        <location filename="../mainwindow.ui" line="64"/>
        <source>&amp;Domain to test:</source>
        <translation>Zu testende &amp;Domain:</translation>
    </message>
    <message>
        <location filename="../mainwindow.ui" line="74"/>
        <source>optional, for example example.com</source>
        <translation>optional, zum Beispiel example.com</translation>
    </message>
    <message>
        <location filename="../mainwindow.ui" line="83"/>
        <source>The report goes to Veltrane support. &lt;a href=&quot;#what-is-sent&quot;&gt;What is sent&lt;/a&gt;</source>
        <translation>Der Bericht geht an den Veltrane-Support. &lt;a href=&quot;#what-is-sent&quot;&gt;Was gesendet wird&lt;/a&gt;</translation>
    </message>
    <message>
        <location filename="../mainwindow.ui" line="102"/>
        <source>&amp;Start Tests</source>
        <translation>Tests &amp;starten</translation>
    </message>
    <message>
        <location filename="../mainwindow.ui" line="131"/>
        <source>Progress</source>
        <translation>Fortschritt</translation>
    </message>
    <message>
        <location filename="../mainwindow.ui" line="165"/>
        <source>Results</source>
        <translation>Ergebnisse</translation>
    </message>
    <message>
        <location filename="../mainwindow.ui" line="266"/>
        <source>Findings</source>
        <translation>Befunde</translation>
    </message>
    <message>
        <location filename="../mainwindow.ui" line="284"/>
        <source>Give this link to Veltrane support.</source>
        <translation>Geben Sie diesen Link an den Veltrane-Support weiter.</translation>
    </message>
    <message>
        <location filename="../mainwindow.ui" line="298"/>
        <source>&amp;Copy Link</source>
        <translation>&amp;Link kopieren</translation>
    </message>
    <message>
        <location filename="../mainwindow.ui" line="305"/>
        <source>&amp;Open Link</source>
        <translation>Link ö&amp;ffnen</translation>
    </message>
    <message>
        <location filename="../mainwindow.ui" line="315"/>
        <source>Show &amp;Report</source>
        <translation>&amp;Bericht zeigen</translation>
    </message>
    <message>
        <location filename="../mainwindow.cpp" line="26"/>
        <source>Veltrane Diagnostic v%1</source>
        <translation>Veltrane Diagnostic v%1</translation>
    </message>
    <message>
        <location filename="../mainwindow.cpp" line="102"/>
        <source>Not found on this computer, so the report lacks their tests: %1</source>
        <translation>Auf diesem Computer nicht gefunden, daher fehlen dem Bericht ihre Tests: %1</translation>
    </message>
    <message>
        <location filename="../mainwindow.cpp" line="110"/>
        <source>Please wait. Finished %1 out of %2 tests.</source>
        <translation>Bitte warten. %1 von %2 Tests abgeschlossen.</translation>
    </message>
    <message>
        <location filename="../mainwindow.cpp" line="155"/>
        <source>See results at </source>
        <translation>Ergebnisse unter </translation>
    </message>
    <message>
        <location filename="../mainwindow.cpp" line="175"/>
        <source>The report is saved in </source>
        <translation>Der Bericht ist gespeichert unter </translation>
    </message>
    <message>
        <location filename="../mainwindow.cpp" line="178"/>
        <source>The report could not be saved.</source>
        <translation>Der Bericht konnte nicht gespeichert werden.</translation>
    </message>
</context>
<context>
    <name>ReportView</name>
    <message>
        <location filename="../reportview.cpp" line="18"/>
        <source>&amp;Find:</source>
        <translation>&amp;Suchen:</translation>
    </message>
    <message>
        <location filename="../reportview.cpp" line="21"/>
        <source>&amp;Next</source>
        <translation>&amp;Weiter</translation>
    </message>
    <message>
        <location filename="../reportview.cpp" line="25"/>
        <source>P&amp;revious Page</source>
        <translation>&amp;Vorige Seite</translation>
    </message>
    <message>
        <location filename="../reportview.cpp" line="27"/>
        <source>Next Pa&amp;ge</source>
        <translation>&amp;Nächste Seite</translation>
    </message>
    <message>
        <location filename="../reportview.cpp" line="30"/>
        <source>Report</source>
        <translation>Bericht</translation>
    </message>
    <message>
        <location filename="../reportview.cpp" line="74"/>
        <source>The report could not be read back.</source>
        <translation>Der Bericht konnte nicht zurückgelesen werden.</translation>
    </message>
    <message>
        <location filename="../reportview.cpp" line="75"/>
        <source>Page %1 of %2</source>
        <translation>Seite %1 von %2</translation>
    </message>
    <message>
        <location filename="../reportview.cpp" line="94"/>
        <source>Not found</source>
        <translation>Nicht gefunden</translation>
    </message>
</context>
<context>
    <name>WhatIsSent</name>
    <message>
        <location filename="../whatissent.cpp" line="13"/>
        <source>&lt;p&gt;&lt;b&gt;What the report holds:&lt;/b&gt; the account and ticket number you type here, and everything the tests print: the name servers&apos; answers, routes and ping times, the pages fetched, the running programs with their command lines, the network interfaces and their addresses, the resolver settings, the routing table, the system&apos;s version, the computer&apos;s name, your user name and the time since boot; where the endpoint agent is installed, also its settings files, its logs and its lines of the system log.&lt;/p&gt;&lt;p&gt;&lt;b&gt;Where it goes:&lt;/b&gt; only to Veltrane support&apos;s results server, %1, over HTTPS, after every run. If that fails, it is saved as diagnostic_results.txt on your desktop instead. Show Report shows it as it went.&lt;/p&gt;&lt;p&gt;&lt;b&gt;What is masked:&lt;/b&gt; in the list of running programs, every value that looks like a password or token (of an option such as --password or --token, of a setting such as PGPASSWORD=, the password in a web address, an Authorization header) becomes [masked] before the report is written or sent, and the list says how many. Addresses and host names stay: support needs them to find what is wrong.&lt;/p&gt;</source>
        <translation>&lt;p&gt;&lt;b&gt;Was der Bericht enthält:&lt;/b&gt; das Konto und die Ticketnummer, die Sie hier eingeben, und alles, was die Tests ausgeben: die Antworten der Nameserver, Routen und Ping-Zeiten, die abgerufenen Seiten, die laufenden Programme mit ihren Befehlszeilen, die Netzwerkschnittstellen und ihre Adressen, die Resolver-Einstellungen, die Routing-Tabelle, die Version des Systems, den Namen des Computers, Ihren Benutzernamen und die Zeit seit dem Start; wo der Endpoint-Agent installiert ist, auch seine Einstellungsdateien, seine Protokolle und seine Zeilen im Systemprotokoll.&lt;/p&gt;&lt;p&gt;&lt;b&gt;Wohin er geht:&lt;/b&gt; nur an den Ergebnisserver des Veltrane-Supports, %1, über HTTPS, nach jedem Lauf. Gelingt das nicht, wird er stattdessen als diagnostic_results.txt auf Ihrem Schreibtisch gespeichert. „Bericht zeigen“ zeigt ihn so, wie er gesendet wurde.&lt;/p&gt;&lt;p&gt;&lt;b&gt;Was verborgen wird:&lt;/b&gt; in der Liste der laufenden Programme wird jeder Wert, der wie ein Passwort oder Token aussieht (einer Option wie --password oder --token, einer Einstellung wie PGPASSWORD=, das Passwort in einer Webadresse, ein Authorization-Header), zu [masked], bevor der Bericht geschrieben oder gesendet wird, und die Liste sagt, wie viele es sind. Adressen und Hostnamen bleiben: der Support braucht sie, um zu finden, was nicht stimmt.&lt;/p&gt;</translation>
    </message>
    <message>
        <location filename="../whatissent.cpp" line="39"/>
        <source>What is sent</source>
        <translation>Was gesendet wird</translation>
    </message>
</context>
</TS>
