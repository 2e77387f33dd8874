<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>Delivery</name>
    <message>
        <source>There was an error submitting the results</source>
        <translation>Beim Senden der Ergebnisse ist ein Fehler aufgetreten</translation>
    </message>
    <message>
        <source>There was an internal server errror</source>
        <translation>Auf dem Server ist ein interner Fehler aufgetreten</translation>
    </message>
</context>
<context>
    <name>FindingsList</name>
    <message>
        <source>Enter or a double click shows its whole output</source>
        <translation>Eingabetaste oder Doppelklick zeigt seine ganze Ausgabe</translation>
    </message>
    <message>
        <source>Opens to the tests it was read from</source>
        <translation>Öffnet sich zu den Tests, aus denen er gelesen wurde</translation>
    </message>
    <message>
        <source>Fine</source>
        <translation>In Ordnung</translation>
    </message>
    <message>
        <source>Worth a look</source>
        <translation>Einen Blick wert</translation>
    </message>
    <message>
        <source>Could not tell</source>
        <translation>Nicht feststellbar</translation>
    </message>
    <message>
        <source>Nothing looks wrong</source>
        <translation>Nichts deutet auf einen Fehler hin</translation>
    </message>
    <message numerus="yes">
        <source>%n worth a look</source>
        <translation>
            <numerusform>%n einen Blick wert</numerusform>
            <numerusform>%n einen Blick wert</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n could not tell</source>
        <translation>
            <numerusform>%n nicht feststellbar</numerusform>
            <numerusform>%n nicht feststellbar</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n fine</source>
        <translation>
            <numerusform>%n in Ordnung</numerusform>
            <numerusform>%n in Ordnung</numerusform>
        </translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>(printed nothing)</source>
        <translation>(keine Ausgabe)</translation>
    </message>
    <message>
        <source>Test %1, printed nothing</source>
        <translation>Test %1, keine Ausgabe</translation>
    </message>
    <message>
        <source>Test %1, printed: %2</source>
        <translation>Test %1, Ausgabe: %2</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Enter the account and the support ticket number you were given, then start the tests. They take a few minutes.</source>
        <translation>Geben Sie das Konto und die Nummer des Support-Tickets ein, die Sie erhalten haben, und starten Sie dann die Tests. Sie dauern einige Minuten.</translation>
    </message>
    <message>
        <source>&amp;Account:</source>
        <translation>&amp;Konto:</translation>
    </message>
    <message>
        <source>&amp;Ticket number:</source>
        <translation>&amp;Ticketnummer:</translation>
    </message>
    <message>
        <source>&amp;Domain to test:</source>
        <translation>Zu testende &amp;Domain:</translation>
    </message>
    <message>
        <source>optional, for example example.com</source>
        <translation>optional, zum Beispiel example.com</translation>
    </message>
    <message>
        <source>&amp;Start Tests</source>
        <translation>Tests &amp;starten</translation>
    </message>
    <message>
        <source>Progress</source>
        <translation>Fortschritt</translation>
    </message>
    <message>
        <source>Results</source>
        <translation>Ergebnisse</translation>
    </message>
    <message>
        <source>Findings</source>
        <translation>Befunde</translation>
    </message>
    <message>
        <source>Give this link to Veltrane support.</source>
        <translation>Geben Sie diesen Link an den Veltrane-Support weiter.</translation>
    </message>
    <message>
        <source>&amp;Copy Link</source>
        <translation>&amp;Link kopieren</translation>
    </message>
    <message>
        <source>&amp;Open Link</source>
        <translation>Link ö&amp;ffnen</translation>
    </message>
    <message>
        <source>Veltrane Diagnostic v%1</source>
        <translation>Veltrane Diagnostic v%1</translation>
    </message>
    <message>
        <source>Not found on this computer, so the report lacks their tests: %1</source>
        <translation>Auf diesem Computer nicht gefunden, daher fehlen dem Bericht ihre Tests: %1</translation>
    </message>
    <message>
        <source>Please wait. Finished %1 out of %2 tests.</source>
        <translation>Bitte warten. %1 von %2 Tests abgeschlossen.</translation>
    </message>
    <message>
        <source>See results at </source>
        <translation>Ergebnisse unter </translation>
    </message>
    <message>
        <source>The report is saved in </source>
        <translation>Der Bericht ist gespeichert unter </translation>
    </message>
    <message>
        <source>The report could not be saved.</source>
        <translation>Der Bericht konnte nicht gespeichert werden.</translation>
    </message>
</context>
</TS>
