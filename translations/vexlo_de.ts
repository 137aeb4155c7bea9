<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>ConversionJob</name>
    <message>
        <source>Invalid Output Folder</source>
        <translation>Ungültiger Zielordner</translation>
    </message>
    <message>
        <source>Output folder is CD-ROM and read only!<byte value="xd"/>
<byte value="xd"/>
  %s<byte value="xd"/>
<byte value="xd"/>
Please click &quot;Options&quot; button to specify a valid output folder first.</source>
        <translation>Der Zielordner liegt auf einer CD-ROM und ist schreibgeschützt!<byte value="xd"/>
<byte value="xd"/>
  %s<byte value="xd"/>
<byte value="xd"/>
Bitte legen Sie zuerst mit der Schaltfläche „Optionen“ einen gültigen Zielordner fest.</translation>
    </message>
    <message>
        <source>&apos;%s&apos;<byte value="xd"/>
<byte value="xd"/>
This file name contains &quot;|&quot;, which the conversion engine cannot accept. Rename the file and convert it again.</source>
        <translation>&apos;%s&apos;<byte value="xd"/>
<byte value="xd"/>
Dieser Dateiname enthält „|“, das das Umwandlungsprogramm nicht annehmen kann. Benennen Sie die Datei um und wandeln Sie sie erneut um.</translation>
    </message>
    <message>
        <source>Overwrite</source>
        <translation>Überschreiben</translation>
    </message>
    <message>
        <source>Target file already existing!<byte value="xd"/>
  &apos;%s&apos;<byte value="xd"/>
<byte value="xd"/>
 do you want to overwrite?</source>
        <translation>Die Zieldatei existiert bereits!<byte value="xd"/>
  &apos;%s&apos;<byte value="xd"/>
<byte value="xd"/>
 Möchten Sie sie überschreiben?</translation>
    </message>
    <message>
        <source>The conversion engine could not be started:<byte value="xd"/>
%s</source>
        <translation>Das Umwandlungsprogramm konnte nicht gestartet werden:<byte value="xd"/>
%s</translation>
    </message>
    <message>
        <source>The conversion engine stopped unexpectedly (it was killed or crashed) while converting<byte value="xd"/>
&apos;%s&apos;<byte value="xd"/>
<byte value="xd"/>
The source file was kept.</source>
        <translation>Das Umwandlungsprogramm endete unerwartet (es wurde beendet oder ist abgestürzt) beim Umwandeln von<byte value="xd"/>
&apos;%s&apos;<byte value="xd"/>
<byte value="xd"/>
Die Quelldatei wurde behalten.</translation>
    </message>
    <message>
        <source>The conversion engine ended without reporting its result for<byte value="xd"/>
&apos;%s&apos;<byte value="xd"/>
<byte value="xd"/>
The file counts as failed; the source file was kept.</source>
        <translation>Das Umwandlungsprogramm endete, ohne sein Ergebnis zu melden, für<byte value="xd"/>
&apos;%s&apos;<byte value="xd"/>
<byte value="xd"/>
Die Datei gilt als fehlgeschlagen; die Quelldatei wurde behalten.</translation>
    </message>
    <message>
        <source>The conversion engine failed with exit status %1 while converting<byte value="xd"/>
&apos;%s&apos;<byte value="xd"/>
<byte value="xd"/>
The source file was kept.</source>
        <translation>Das Umwandlungsprogramm scheiterte mit dem Exit-Status %1 beim Umwandeln von<byte value="xd"/>
&apos;%s&apos;<byte value="xd"/>
<byte value="xd"/>
Die Quelldatei wurde behalten.</translation>
    </message>
    <message>
        <source>The file could not be converted:<byte value="xd"/>
&apos;%s&apos;<byte value="xd"/>
<byte value="xd"/>
%1<byte value="xd"/>
<byte value="xd"/>
The source file was kept.</source>
        <translation>Die Datei konnte nicht umgewandelt werden:<byte value="xd"/>
&apos;%s&apos;<byte value="xd"/>
<byte value="xd"/>
%1<byte value="xd"/>
<byte value="xd"/>
Die Quelldatei wurde behalten.</translation>
    </message>
    <message>
        <source>Unknown error</source>
        <translation>Unbekannter Fehler</translation>
    </message>
    <message>
        <source>pictures or sound of the source are missing</source>
        <translation>Bild oder Ton der Quelle fehlen</translation>
    </message>
    <message>
        <source>it runs far longer than the source</source>
        <translation>sie läuft weit länger als die Quelle</translation>
    </message>
    <message>
        <source>it ends before the source does</source>
        <translation>sie endet vor der Quelle</translation>
    </message>
    <message>
        <source>it does not read as a video file</source>
        <translation>sie lässt sich nicht als Videodatei lesen</translation>
    </message>
    <message>
        <source>&apos;%1&apos;<byte value="xd"/>
The converted file was broken (%2) and was removed. The source file was kept.</source>
        <translation>&apos;%1&apos;<byte value="xd"/>
Die umgewandelte Datei war fehlerhaft (%2) und wurde entfernt. Die Quelldatei wurde behalten.</translation>
    </message>
    <message>
        <source>&apos;%1&apos;<byte value="xd"/>
The converted file could not be written to the disk (%2). The source file was kept.</source>
        <translation>&apos;%1&apos;<byte value="xd"/>
Die umgewandelte Datei konnte nicht auf den Datenträger geschrieben werden (%2). Die Quelldatei wurde behalten.</translation>
    </message>
    <message>
        <source>&apos;%1&apos;<byte value="xd"/>
The source is incomplete: %2 of %3 s were converted, kept as &apos;%4&apos;. The source file was kept.</source>
        <translation>&apos;%1&apos;<byte value="xd"/>
Die Quelle ist unvollständig: %2 von %3 s wurden umgewandelt und als &apos;%4&apos; behalten. Die Quelldatei wurde behalten.</translation>
    </message>
    <message>
        <source>&apos;%1&apos;<byte value="xd"/>
was saved as &apos;%2&apos;: this run had already written a file named &apos;%3&apos;.</source>
        <translation>&apos;%1&apos;<byte value="xd"/>
wurde als &apos;%2&apos; gespeichert: dieser Lauf hatte bereits eine Datei namens &apos;%3&apos; geschrieben.</translation>
    </message>
    <message>
        <source>&apos;%1&apos;<byte value="xd"/>
was saved as &apos;%2&apos;: a file named &apos;%3&apos; appeared during its conversion.</source>
        <translation>&apos;%1&apos;<byte value="xd"/>
wurde als &apos;%2&apos; gespeichert: während der Umwandlung erschien eine Datei namens &apos;%3&apos;.</translation>
    </message>
    <message>
        <source>&apos;%1&apos;<byte value="xd"/>
The length of the source file could not be read, so the converted file could not be checked against it. The source file was kept.</source>
        <translation>&apos;%1&apos;<byte value="xd"/>
Die Länge der Quelldatei ließ sich nicht lesen, daher konnte die umgewandelte Datei nicht mit ihr verglichen werden. Die Quelldatei wurde behalten.</translation>
    </message>
    <message>
        <source>&apos;%1&apos;<byte value="xd"/>
The source file was changed or replaced while it was converted, so it was kept.</source>
        <translation>&apos;%1&apos;<byte value="xd"/>
Die Quelldatei wurde während der Umwandlung geändert oder ersetzt und deshalb behalten.</translation>
    </message>
    <message>
        <source>&apos;%1&apos;<byte value="xd"/>
The source file could not be deleted: %2</source>
        <translation>&apos;%1&apos;<byte value="xd"/>
Die Quelldatei konnte nicht gelöscht werden: %2</translation>
    </message>
    <message>
        <source>... and %1 more</source>
        <translation>... und %1 weitere</translation>
    </message>
    <message>
        <source>The run stopped at &apos;%1&apos;. These %2 files were not converted:%3</source>
        <translation>Der Lauf hielt bei &apos;%1&apos; an. Diese %2 Dateien wurden nicht umgewandelt:%3</translation>
    </message>
    <message>
        <source>The converted files cannot be checked, so nothing was converted:<byte value="xd"/>
%s</source>
        <translation>Die umgewandelten Dateien können nicht geprüft werden, daher wurde nichts umgewandelt:<byte value="xd"/>
%s</translation>
    </message>
    <message>
        <source>&apos;%1&apos;<byte value="xd"/>
The converted file cannot be written into the folder &apos;%2&apos; (%3). The source file was kept.</source>
        <translation>&apos;%1&apos;<byte value="xd"/>
Die umgewandelte Datei kann nicht in den Ordner &apos;%2&apos; geschrieben werden (%3). Die Quelldatei wurde behalten.</translation>
    </message>
    <message>
        <source>&apos;%1&apos;<byte value="xd"/>
is the same file as &apos;%2&apos;, which this run converts already: it was skipped.</source>
        <translation>&apos;%1&apos;<byte value="xd"/>
ist dieselbe Datei wie &apos;%2&apos;, die dieser Lauf bereits umwandelt: sie wurde übersprungen.</translation>
    </message>
    <message>
        <source>The conversion engine&apos;s report (the AbortFlag) cannot be reset, so its result could not be trusted. The run stopped before converting<byte value="xd"/>
&apos;%s&apos;</source>
        <translation>Der Bericht des Umwandlungsprogramms (das AbortFlag) lässt sich nicht zurücksetzen, daher wäre sein Ergebnis nicht verlässlich. Der Lauf hielt vor der Umwandlung von<byte value="xd"/>
&apos;%s&apos; an.</translation>
    </message>
    <message>
        <source>the result holds %1 of %2 video streams</source>
        <translation>das Ergebnis enthält %1 von %2 Videospuren</translation>
    </message>
    <message>
        <source>the result holds %1 of %2 sound tracks</source>
        <translation>das Ergebnis enthält %1 von %2 Tonspuren</translation>
    </message>
    <message>
        <source>the result holds %1 of %2 subtitle tracks</source>
        <translation>das Ergebnis enthält %1 von %2 Untertitelspuren</translation>
    </message>
    <message>
        <source>&apos;%1&apos;<byte value="xd"/>
%2; the source file was kept.</source>
        <translation>&apos;%1&apos;<byte value="xd"/>
%2; die Quelldatei wurde behalten.</translation>
    </message>
    <message>
        <source>&apos;%1&apos;<byte value="xd"/>
The source could not be read without errors, so the converted file &apos;%2&apos; may lack pictures or sound. The source file was kept.%3</source>
        <translation>&apos;%1&apos;<byte value="xd"/>
Die Quelle ließ sich nicht fehlerfrei lesen, daher können der umgewandelten Datei &apos;%2&apos; Bilder oder Ton fehlen. Die Quelldatei wurde behalten.%3</translation>
    </message>
    <message>
        <source>&apos;%1&apos;<byte value="xd"/>
was saved as &apos;%2&apos;: &apos;%3&apos; is one of the files this run converts.</source>
        <translation>&apos;%1&apos;<byte value="xd"/>
wurde als &apos;%2&apos; gespeichert: &apos;%3&apos; ist eine der Dateien, die dieser Lauf umwandelt.</translation>
    </message>
    <message>
        <source>The file could not be converted:<byte value="xd"/>
&apos;%s&apos;<byte value="xd"/>
<byte value="xd"/>
%1 The source file was kept.<byte value="xd"/>
<byte value="xd"/>
Details:<byte value="xd"/>
%2</source>
        <translation>Die Datei konnte nicht umgewandelt werden:<byte value="xd"/>
&apos;%s&apos;<byte value="xd"/>
<byte value="xd"/>
%1 Die Quelldatei wurde behalten.<byte value="xd"/>
<byte value="xd"/>
Einzelheiten:<byte value="xd"/>
%2</translation>
    </message>
    <message>
        <source>The disk is full.</source>
        <translation>Der Datenträger ist voll.</translation>
    </message>
    <message>
        <source>The folder for temporary files is full or cannot be written.</source>
        <translation>Der Ordner für temporäre Dateien ist voll oder nicht beschreibbar.</translation>
    </message>
    <message>
        <source>The destination folder cannot be written.</source>
        <translation>In den Zielordner kann nicht geschrieben werden.</translation>
    </message>
    <message>
        <source>The file is empty.</source>
        <translation>Die Datei ist leer.</translation>
    </message>
    <message>
        <source>The file has no pictures.</source>
        <translation>Die Datei enthält keine Bilder.</translation>
    </message>
    <message>
        <source>The file is damaged or is not a video.</source>
        <translation>Die Datei ist beschädigt oder kein Video.</translation>
    </message>
</context>
<context>
    <name>FileManagerActions</name>
    <message>
        <source>Convert with Vexlo</source>
        <translation>Mit Vexlo umwandeln</translation>
    </message>
    <message>
        <source>Convert with Vexlo...</source>
        <translation>Mit Vexlo umwandeln...</translation>
    </message>
    <message>
        <source>Opens the selected videos in Vexlo to choose the output format and destination</source>
        <translation>Öffnet die ausgewählten Videos in Vexlo, um Ausgabeformat und Ziel zu wählen</translation>
    </message>
    <message>
        <source>Converts the selected videos with Vexlo&apos;s output format &quot;%s&quot; into their own folders</source>
        <translation>Wandelt die ausgewählten Videos mit Vexlos Ausgabeformat „%s“ in ihren eigenen Ordnern um</translation>
    </message>
    <message>
        <source>Video files</source>
        <translation>Videodateien</translation>
    </message>
    <message>
        <source>Vexlo is no longer in %s: its entries were removed from the menus of your file managers.</source>
        <translation>Vexlo ist nicht mehr in %s: seine Einträge wurden aus den Menüs Ihrer Dateimanager entfernt.</translation>
    </message>
</context>
<context>
    <name>GettingStarted</name>
    <message>
        <source>Getting started</source>
        <translation>Erste Schritte</translation>
    </message>
    <message>
        <source>Click %1 to select video files,</source>
        <translation>Mit %1 Videodateien auswählen,</translation>
    </message>
    <message>
        <source>Camcorder clips (.m2ts, .mts), AVI, MP4, MOV ...</source>
        <translation>Camcorder-Clips (.m2ts, .mts), AVI, MP4, MOV ...</translation>
    </message>
    <message>
        <source>then click %1 to start.</source>
        <translation>dann mit %1 starten.</translation>
    </message>
    <message>
        <source>Pick the output format and folder, and off it goes.</source>
        <translation>Format und Ordner wählen, und los geht es.</translation>
    </message>
    <message>
        <source>You can also drop video files here.</source>
        <translation>Sie können Videodateien auch hierher ziehen.</translation>
    </message>
</context>
<context>
    <name>LinuxDesktopSession</name>
    <message>
        <source>Converting videos</source>
        <translation>Videos werden umgewandelt</translation>
    </message>
</context>
<context>
    <name>SettingsError</name>
    <message>
        <source>Unable to write to %s</source>
        <translation>In %s kann nicht geschrieben werden</translation>
    </message>
    <message>
        <source>Unable to read %s: the file is larger than 64 MiB</source>
        <translation>%s kann nicht gelesen werden: die Datei ist größer als 64 MiB</translation>
    </message>
    <message>
        <source>&apos;%s&apos; is not a valid integer value</source>
        <translation>„%s“ ist keine gültige Ganzzahl</translation>
    </message>
    <message>
        <source>&apos;%s&apos; is not a valid frame size</source>
        <translation>„%s“ ist keine gültige Bildgröße</translation>
    </message>
</context>
<context>
    <name>TMainForm</name>
    <message>
        <source>Video files (*.m2ts;*.mts;*.m2t;*.avi;*.mpeg;*.mpg;*.wmv;*.qt;*.mpm;*.mpv;*.mpa;*.mov;*.vob;*.mod;*.mp4)</source>
        <translation>Videodateien (*.m2ts;*.mts;*.m2t;*.avi;*.mpeg;*.mpg;*.wmv;*.qt;*.mpm;*.mpv;*.mpa;*.mov;*.vob;*.mod;*.mp4)</translation>
    </message>
    <message>
        <source>All videos</source>
        <translation>Alle Videos</translation>
    </message>
    <message>
        <source>AVCHD files (*.m2ts;*.mts;*.m2t)</source>
        <translation>AVCHD-Dateien (*.m2ts;*.mts;*.m2t)</translation>
    </message>
    <message>
        <source>AVI files (*.avi)</source>
        <translation>AVI-Dateien (*.avi)</translation>
    </message>
    <message>
        <source>MPEG files (*.mpeg;*.mpg;*.mpm;*.mpv;*.mpa;*.mod)</source>
        <translation>MPEG-Dateien (*.mpeg;*.mpg;*.mpm;*.mpv;*.mpa;*.mod)</translation>
    </message>
    <message>
        <source>WMV files (*.wmv;*.asf;*.wma)</source>
        <translation>WMV-Dateien (*.wmv;*.asf;*.wma)</translation>
    </message>
    <message>
        <source>Quick Time files (*.qt;*.mov)</source>
        <translation>QuickTime-Dateien (*.qt;*.mov)</translation>
    </message>
    <message>
        <source>VOB files (*.vob)</source>
        <translation>VOB-Dateien (*.vob)</translation>
    </message>
    <message>
        <source>MP4 files (*.mp4;*.3gp;*.3g2)</source>
        <translation>MP4-Dateien (*.mp4;*.3gp;*.3g2)</translation>
    </message>
    <message>
        <source>Flash video files (*.flv;*.swf)</source>
        <translation>Flash-Videodateien (*.flv;*.swf)</translation>
    </message>
    <message>
        <source>All files (*.*)</source>
        <translation>Alle Dateien (*.*)</translation>
    </message>
    <message>
        <source>Visit Vexlo Homepage</source>
        <translation>Vexlo-Homepage besuchen</translation>
    </message>
    <message>
        <source>About Vexlo</source>
        <translation>Über Vexlo</translation>
    </message>
    <message>
        <source>Ready</source>
        <translation>Bereit</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>Hinzufügen</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>Entfernen</translation>
    </message>
    <message>
        <source>Convert</source>
        <translation>Umwandeln</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Anhalten</translation>
    </message>
    <message>
        <source>Options</source>
        <translation>Optionen</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Hilfe</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>Öffnen</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Speichern</translation>
    </message>
    <message>
        <source>Open video files to convert (Ins)</source>
        <translation>Videodateien zum Umwandeln öffnen (Einfg)</translation>
    </message>
    <message>
        <source>Remove selected files (Ctrl + Del)</source>
        <translation>Ausgewählte Dateien entfernen (Strg + Entf)</translation>
    </message>
    <message>
        <source>Start Converting (F9)</source>
        <translation>Umwandlung starten (F9)</translation>
    </message>
    <message>
        <source>Stop Converting</source>
        <translation>Umwandlung anhalten</translation>
    </message>
    <message>
        <source>Setting</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>Help Tips</source>
        <translation>Hilfe</translation>
    </message>
    <message>
        <source>Open a project</source>
        <translation>Ein Projekt öffnen</translation>
    </message>
    <message>
        <source>Save Current Project</source>
        <translation>Aktuelles Projekt speichern</translation>
    </message>
    <message>
        <source>&amp;Add files...	Ins</source>
        <translation>Dateien &amp;hinzufügen...	Einfg</translation>
    </message>
    <message>
        <source>&amp;Remove files	Ctrl+Del</source>
        <translation>Dateien &amp;entfernen	Strg+Entf</translation>
    </message>
    <message>
        <source>&amp;Open Project	Ctrl+O</source>
        <translation>Projekt ö&amp;ffnen	Strg+O</translation>
    </message>
    <message>
        <source>&amp;Save Project...	Ctrl+S</source>
        <translation>Projekt &amp;speichern...	Strg+S</translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation>Schl&amp;ießen</translation>
    </message>
    <message>
        <source>&amp;Convert	F9</source>
        <translation>&amp;Umwandeln	F9</translation>
    </message>
    <message>
        <source>S&amp;top	Ctrl+T</source>
        <translation>&amp;Anhalten	Strg+T</translation>
    </message>
    <message>
        <source>&amp;Preferences</source>
        <translation>&amp;Einstellungen</translation>
    </message>
    <message>
        <source>Show &amp;Text Label in Toolbar</source>
        <translation>&amp;Beschriftung in der Werkzeugleiste anzeigen</translation>
    </message>
    <message>
        <source>&amp;Help	F1</source>
        <translation>&amp;Hilfe	F1</translation>
    </message>
    <message>
        <source>&amp;FAQ...</source>
        <translation>&amp;FAQ...</translation>
    </message>
    <message>
        <source>&amp;License...</source>
        <translation>&amp;Lizenz...</translation>
    </message>
    <message>
        <source>Contact us...</source>
        <translation>Kontakt...</translation>
    </message>
    <message>
        <source>Visit Homepage</source>
        <translation>Homepage besuchen</translation>
    </message>
    <message>
        <source>About</source>
        <translation>Über</translation>
    </message>
    <message>
        <source>A&amp;dd File...</source>
        <translation>Datei hin&amp;zufügen...</translation>
    </message>
    <message>
        <source>&amp;Remove File</source>
        <translation>Datei &amp;entfernen</translation>
    </message>
    <message>
        <source>&amp;Convert</source>
        <translation>&amp;Umwandeln</translation>
    </message>
    <message>
        <source>S&amp;top</source>
        <translation>&amp;Anhalten</translation>
    </message>
    <message>
        <source>C&amp;lose</source>
        <translation>&amp;Schließen</translation>
    </message>
    <message>
        <source>&amp;Options...</source>
        <translation>&amp;Optionen...</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <source>&amp;Actions</source>
        <translation>&amp;Aktionen</translation>
    </message>
    <message>
        <source>&amp;Options</source>
        <translation>&amp;Optionen</translation>
    </message>
    <message>
        <source>Menu</source>
        <translation>Menü</translation>
    </message>
    <message>
        <source>Toolbar</source>
        <translation>Werkzeugleiste</translation>
    </message>
    <message>
        <source>File Name</source>
        <translation>Dateiname</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Größe</translation>
    </message>
    <message>
        <source>Path</source>
        <translation>Pfad</translation>
    </message>
    <message>
        <source>Please select the video files to convert</source>
        <translation>Bitte wählen Sie die umzuwandelnden Videodateien</translation>
    </message>
    <message>
        <source>%1 File(s) Ready</source>
        <translation>%1 Datei(en) bereit</translation>
    </message>
    <message>
        <source>Conversion completed!</source>
        <translation>Umwandlung abgeschlossen!</translation>
    </message>
    <message>
        <source>Conversion aborted!</source>
        <translation>Umwandlung abgebrochen!</translation>
    </message>
    <message>
        <source>Unexpected error</source>
        <translation>Unerwarteter Fehler</translation>
    </message>
    <message>
        <source>%1 of %2 files converted</source>
        <translation>%1 von %2 Dateien umgewandelt</translation>
    </message>
    <message>
        <source>&apos;%s&apos;<byte value="xd"/>
<byte value="xd"/>
File is not a supported video file, and can not be converted!</source>
        <translation>&apos;%s&apos;<byte value="xd"/>
<byte value="xd"/>
Die Datei ist keine unterstützte Videodatei und kann nicht umgewandelt werden!</translation>
    </message>
    <message>
        <source>File is not found!<byte value="xd"/>
%s</source>
        <translation>Die Datei wurde nicht gefunden!<byte value="xd"/>
%s</translation>
    </message>
    <message>
        <source>Files to convert</source>
        <translation>Umzuwandelnde Dateien</translation>
    </message>
    <message>
        <source>unknown profile %s</source>
        <translation>unbekanntes Profil %s</translation>
    </message>
    <message>
        <source>The settings file %s is a link to %s, which is not there. The link is left as it is; until its target is back, Vexlo uses the shipped output formats and saves no settings.</source>
        <translation>Die Einstellungsdatei %s ist eine Verknüpfung auf %s, das nicht vorhanden ist. Die Verknüpfung bleibt, wie sie ist; bis ihr Ziel wieder da ist, verwendet Vexlo die mitgelieferten Ausgabeformate und speichert keine Einstellungen.</translation>
    </message>
    <message>
        <source>Waiting for another conversion run to end...</source>
        <translation>Warten, bis eine andere Umwandlung endet...</translation>
    </message>
    <message>
        <source>&amp;Paste</source>
        <translation>Ein&amp;fügen</translation>
    </message>
</context>
<context>
    <name>TProgressForm</name>
    <message>
        <source>Converting... (%1/%2 Finished)</source>
        <translation>Umwandlung... (%1/%2 fertig)</translation>
    </message>
    <message>
        <source>Converting... (%1/%2)</source>
        <translation>Umwandlung... (%1/%2)</translation>
    </message>
    <message>
        <source>Converting... %1</source>
        <translation>Umwandlung... %1</translation>
    </message>
</context>
<context>
    <name>vexlo::app::RunProgressWindow</name>
    <message>
        <source>File %1 of %2</source>
        <translation>Datei %1 von %2</translation>
    </message>
</context>
<context>
    <name>vexlo::dialogs::TAboutForm</name>
    <message>
        <source>Visit our HomePage</source>
        <translation>Besuchen Sie unsere Homepage</translation>
    </message>
    <message>
        <source>Contact us</source>
        <translation>Kontakt</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>&amp;License</source>
        <translation>&amp;Lizenz</translation>
    </message>
    <message>
        <source>About Vexlo</source>
        <translation>Über Vexlo</translation>
    </message>
    <message>
        <source>%1 (Version %2)</source>
        <translation>%1 (Version %2)</translation>
    </message>
</context>
<context>
    <name>vexlo::engine::ProgressWindow</name>
    <message>
        <source>Converting %1</source>
        <translation>%1 wird umgewandelt</translation>
    </message>
    <message>
        <source>Elapsed: %1</source>
        <translation>Vergangen: %1</translation>
    </message>
    <message>
        <source>Remaining: %1</source>
        <translation>Verbleibend: %1</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Stop after this file</source>
        <translation>Nach dieser Datei anhalten</translation>
    </message>
    <message>
        <source>Stopping after this file</source>
        <translation>Hält nach dieser Datei an</translation>
    </message>
</context>
<context>
    <name>vexlo::settings::TConvertOptionsForm</name>
    <message>
        <source>Please select output fomat</source>
        <translation>Bitte wählen Sie das Ausgabeformat</translation>
    </message>
    <message>
        <source>Please select target directory</source>
        <translation>Bitte wählen Sie den Zielordner</translation>
    </message>
    <message>
        <source>Directory is not found!<byte value="xd"/>
<byte value="xd"/>
&apos;%s&apos;<byte value="xd"/>
<byte value="xd"/>
do you want to create it?</source>
        <translation>Der Ordner wurde nicht gefunden!<byte value="xd"/>
<byte value="xd"/>
&apos;%s&apos;<byte value="xd"/>
<byte value="xd"/>
Möchten Sie ihn anlegen?</translation>
    </message>
    <message>
        <source>Create path error!</source>
        <translation>Fehler beim Anlegen des Ordners!</translation>
    </message>
    <message>
        <source>Unable to create directory</source>
        <translation>Der Ordner kann nicht angelegt werden</translation>
    </message>
    <message>
        <source>&amp;Output Format:</source>
        <translation>Ausgabe&amp;format:</translation>
    </message>
    <message>
        <source>&amp;Video</source>
        <translation>&amp;Video</translation>
    </message>
    <message>
        <source>Frame Size:</source>
        <translation>Bildgröße:</translation>
    </message>
    <message>
        <source>0: no fixed bit rate; the encoder keeps a constant quality</source>
        <translation>0: keine feste Bitrate; der Encoder hält eine gleichbleibende Qualität</translation>
    </message>
    <message>
        <source>&amp;Bitrate:</source>
        <translation>&amp;Bitrate:</translation>
    </message>
    <message>
        <source>kbps</source>
        <translation>kbps</translation>
    </message>
    <message>
        <source>&amp;Framerate:</source>
        <translation>Bild&amp;rate:</translation>
    </message>
    <message>
        <source>fps</source>
        <translation>fps</translation>
    </message>
    <message>
        <source>&amp;Restore Default Settings</source>
        <translation>&amp;Standardwerte wiederherstellen</translation>
    </message>
    <message>
        <source>Aud&amp;io</source>
        <translation>A&amp;udio</translation>
    </message>
    <message>
        <source>Bi&amp;trate:</source>
        <translation>Bi&amp;trate:</translation>
    </message>
    <message>
        <source>Sample Rate:</source>
        <translation>Abtastrate:</translation>
    </message>
    <message>
        <source>Hz</source>
        <translation>Hz</translation>
    </message>
    <message>
        <source>Mono</source>
        <translation>Mono</translation>
    </message>
    <message>
        <source>Stereo</source>
        <translation>Stereo</translation>
    </message>
    <message>
        <source>Channels:</source>
        <translation>Kanäle:</translation>
    </message>
    <message>
        <source>Restore &amp;Default Settings</source>
        <translation>Standard&amp;werte wiederherstellen</translation>
    </message>
    <message>
        <source>Output Fo&amp;lder</source>
        <translation>Ziel&amp;ordner</translation>
    </message>
    <message>
        <source>&amp;Convert to the same folder as source file</source>
        <translation>In den Ordner der &amp;Quelldatei umwandeln</translation>
    </message>
    <message>
        <source>&amp;Path:</source>
        <translation>&amp;Pfad:</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>Restore the default video settings</source>
        <translation>Standardwerte für das Video wiederherstellen</translation>
    </message>
    <message>
        <source>Restore the default audio settings</source>
        <translation>Standardwerte für den Ton wiederherstellen</translation>
    </message>
    <message>
        <source>Choose the output folder</source>
        <translation>Zielordner wählen</translation>
    </message>
</context>
<context>
    <name>vexlo::settings::TFavouriteFormatsForm</name>
    <message>
        <source>Favourite formats</source>
        <translation>Bevorzugte Formate</translation>
    </message>
    <message>
        <source>Menus without submenus (Nemo&apos;s) offer &quot;Convert with Vexlo...&quot; and the formats checked here. The other file managers list every format in their submenu.</source>
        <translation>Menüs ohne Untermenüs (die von Nemo) bieten &quot;Mit Vexlo umwandeln...&quot; und die hier angehakten Formate an. Die anderen Dateimanager führen jedes Format in ihrem Untermenü auf.</translation>
    </message>
</context>
<context>
    <name>vexlo::settings::TOptionForm</name>
    <message>
        <source>Options</source>
        <translation>Optionen</translation>
    </message>
    <message>
        <source>General</source>
        <translation>Allgemein</translation>
    </message>
    <message>
        <source>Advanced</source>
        <translation>Erweitert</translation>
    </message>
    <message>
        <source>When target file exists</source>
        <translation>Wenn die Zieldatei existiert</translation>
    </message>
    <message>
        <source>Overwrite existed file without prompt</source>
        <translation>Vorhandene Datei ohne Rückfrage überschreiben</translation>
    </message>
    <message>
        <source>Always prompt before overwrite existed file </source>
        <translation>Vor dem Überschreiben einer vorhandenen Datei immer fragen</translation>
    </message>
    <message>
        <source>Delete target file when canceled</source>
        <translation>Zieldatei beim Abbrechen löschen</translation>
    </message>
    <message>
        <source>Save file list for using of next time</source>
        <translation>Dateiliste für den nächsten Start speichern</translation>
    </message>
    <message>
        <source>Don&apos;t show confirm dialog after Start</source>
        <translation>Nach dem Start keine Bestätigung anzeigen</translation>
    </message>
    <message>
        <source>&amp;Use shell extension (Display icons on context menus)</source>
        <translation>Shell-Erweiterung &amp;verwenden (Einträge in Kontextmenüs)</translation>
    </message>
    <message>
        <source>Delete &amp;source file after finish</source>
        <translation>&amp;Quelldatei nach Abschluss löschen</translation>
    </message>
    <message>
        <source>Keep the recording date</source>
        <translation>Aufnahmedatum beibehalten</translation>
    </message>
    <message>
        <source>Schedule  </source>
        <translation>Zeitplan  </translation>
    </message>
    <message>
        <source>Schedule  Convert</source>
        <translation>Zeitgesteuert umwandeln</translation>
    </message>
    <message>
        <source>Start Converting at:</source>
        <translation>Umwandeln um:</translation>
    </message>
    <message>
        <source>&amp;Sunday</source>
        <translation>&amp;Sonntag</translation>
    </message>
    <message>
        <source>&amp;Monday</source>
        <translation>&amp;Montag</translation>
    </message>
    <message>
        <source>&amp;Tuesday</source>
        <translation>&amp;Dienstag</translation>
    </message>
    <message>
        <source>&amp;Wednesday</source>
        <translation>M&amp;ittwoch</translation>
    </message>
    <message>
        <source>T&amp;hursday</source>
        <translation>D&amp;onnerstag</translation>
    </message>
    <message>
        <source>&amp;Friday</source>
        <translation>&amp;Freitag</translation>
    </message>
    <message>
        <source>Sat&amp;urday</source>
        <translation>Sams&amp;tag</translation>
    </message>
    <message>
        <source>Exit this program when done</source>
        <translation>Programm nach Abschluss beenden</translation>
    </message>
    <message>
        <source>Shut down computer when done</source>
        <translation>Computer nach Abschluss ausschalten</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>&amp;Apply</source>
        <translation>&amp;Anwenden</translation>
    </message>
    <message>
        <source>When a file cannot be converted:</source>
        <translation>Wenn eine Datei nicht umgewandelt werden kann:</translation>
    </message>
    <message>
        <source>stop the run</source>
        <translation>den Lauf anhalten</translation>
    </message>
    <message>
        <source>go on with the next file</source>
        <translation>mit der nächsten Datei weitermachen</translation>
    </message>
    <message>
        <source>Favourite &amp;formats...</source>
        <translation>Bevorzugte &amp;Formate...</translation>
    </message>
    <message>
        <source>The formats that menus without submenus (Nemo&apos;s) offer</source>
        <translation>Die Formate, die Menüs ohne Untermenüs (die von Nemo) anbieten</translation>
    </message>
</context>
</TS>
