#include "Language.h"

#include <algorithm>
#include <iterator>

namespace {

struct Entry {
    int id;
    const char* text;
};

// Sorted by id. ASCII only; German without umlauts.
constexpr Entry kTable[] = {
    {30001, "Control-Panel"},
    {30002, "Preferences"},
    {30003, "Preset"},
    {30004, "load"},
    {30005, "save"},
    {30006, "Manual"},
    {30007, "Input"},
    {30008, "Output"},
    {30025, "off"},
    {30028, "steps"},
    {30047, "Cancel"},
    {30049, "switch-on state:"},
    {30050, "as switched off"},
    {30058, "Threshold"},
    {30059, "Hold time"},
    {30060, "short"},
    {30061, "long"},
    {30062, "Attenuation"},
    {30063, "fast"},
    {30064, "slow"},
    {30065, "Fade in"},
    {30066, "Fade out"},
    {30076, "connect"},
    {30080, "Speed"},
    {30082, "Protocol"},
    {30083, "Data bits:"},
    {30084, "Parity:"},
    {30085, "Stop bits:"},
    {30086, "none"},
    // The About tab's two address lines; nothing loads them.
    {30093, "KESTRA Remote Panel"},
    {30094, "https://example.org/kestra-remote-panel"},
    {30102, "Wait, until KESTRA is ready"},
    {30103, "general error"},
    {30104, "RS 232 receive buffer overflow"},
    {30105, "RS 232 receive framing error"},
    {30106, "request ID unknown"},
    {30107, "request data invalid"},
    {30108, "read line source not plausible"},
    {30109, "select line source inactive"},
    {30110, "EEPROM acknowledged when writing"},
    {30111, "EEPROM acknowledged when reading"},
    {30112, "EEPROM not yet programmed"},
    {30114, "error message"},
    {30116, "disconnect"},
    {30117, "connected"},
    {30119, "KESTRA connection error!"},
    {30121, "disconnect"},
    {30122, "view message"},
    {30124, "load factory default"},
    {30125, "Language"},
    {30126, "German"},
    {30127, "English"},
    {30128, "Warning"},
    {30129, "All Preset will be delete !! \nDo you want to continue?"},
    // Additions beyond the original table.
    {30130, "Backup..."},
    {30131, "Restore..."},
    {30132, "Reconnect automatically"},
    {30133, "simulated KESTRA"},
    {30134, "decoded"},
    {30135, "Save log..."},
    {30136, "waiting for %1..."},
    {30137, "%1 is back: reading its state"},
    {30138, "Restore"},
    {30139, "Send these %1 change(s) to the KESTRA?"},
    {30140, "The file matches the KESTRA: nothing to send."},
    {30141, "%1 change(s) sent; undo history cleared"},
    {30142, "Backup saved to %1"},
    {30143, "Preset loaded; undo history cleared"},
    {30144, "Nothing to undo"},
    {30145, "Nothing to redo"},
    {30146, "... and %1 more"},
    {30147, "The log could not be saved"},
    {30148, "The backup could not be saved"},
    {30149, "The state of the KESTRA is still being read."},
    {30170, "Restore: %1 change(s) sent, %2 confirmed by the KESTRA."},
    {30171, "Not confirmed: %1"},
    {30172, "Search"},
    {30173, "searching..."},
    {30174, "KESTRA found on %1"},
    {30175, "No KESTRA answered on %1 port(s): kestractl find says why per port."},

    {31001, "Bedienfeld"},
    {31002, "Einstellungen"},
    {31003, "Voreinstellung"},
    {31004, "laden"},
    {31005, "speichern"},
    {31006, "manuelles"},
    {31007, "Eingang"},
    {31008, "Ausgang"},
    {31025, "aus"},
    {31028, "Stufen"},
    {31047, "Abbrechen"},
    {31049, "Anschaltzustand"},
    {31050, "wie ausgeschaltet"},
    {31058, "Ansprechschwelle"},
    {31059, "Haltezeit"},
    {31060, "kurz"},
    {31061, "lang"},
    {31062, "Daempfung"},
    {31063, "schnell"},
    {31064, "langsam"},
    {31065, "Einblenden"},
    {31066, "Ausblenden"},
    {31076, "verbinden"},
    {31080, "Geschwindigkeit"},
    {31082, "Protokoll"},
    {31083, "Daten bits:"},
    {31084, "Paritaet:"},
    {31085, "Stop bits:"},
    {31086, "kein"},
    {31093, "KESTRA Remote Panel"},
    {31094, "https://example.org/kestra-remote-panel"},
    {31102, "warte, bis KESTRA bereit"},
    {31103, "Fehler allgemein"},
    {31104, "RS-232 Receive-Buffer Uberlauf"},
    {31105, "RS-232 Receive Framing-Error"},
    {31106, "ID der Anforderung unbekannt"},
    {31107, "Daten der Anforderung ungultig"},
    {31108, "Linequelle einlesen unplausibel"},
    {31109, "Linequelle schalten inaktiv"},
    {31110, "EEPROM Acknowledge beim Schreiben"},
    {31111, "EEPROM Acknowledge beim Lesen"},
    {31112, "EEPROM noch nicht programmiert"},
    {31114, "Fehlermeldung"},
    {31116, "keine Verbindung"},
    {31117, "verbinden"},
    {31119, "KESTRA connection error!"},
    {31121, "trennen"},
    {31122, "Meldungen anzeigen"},
    {31124, "Werkseinstellungen laden"},
    {31125, "Sprache"},
    {31126, "Deutsch"},
    {31127, "Englisch"},
    {31128, "Warnung"},
    {31129, "Alle Einstellungen werden geloscht! \nWollen Sie fortfahren?"},
    {31130, "Sichern..."},
    {31131, "Einspielen..."},
    {31132, "Automatisch neu verbinden"},
    {31133, "simulierte KESTRA"},
    {31134, "dekodiert"},
    {31135, "Protokoll speichern..."},
    {31136, "warte auf %1..."},
    {31137, "%1 ist wieder da: Zustand wird gelesen"},
    {31138, "Einspielen"},
    {31139, "Diese %1 Aenderung(en) an die KESTRA senden?"},
    {31140, "Die Datei entspricht der KESTRA: nichts zu senden."},
    {31141, "%1 Aenderung(en) gesendet; Rueckgaengig-Liste geleert"},
    {31142, "Sicherung gespeichert in %1"},
    {31143, "Voreinstellung geladen; Rueckgaengig-Liste geleert"},
    {31144, "Nichts rueckgaengig zu machen"},
    {31145, "Nichts wiederherzustellen"},
    {31146, "... und %1 weitere"},
    {31147, "Das Protokoll konnte nicht gespeichert werden"},
    {31148, "Die Sicherung konnte nicht gespeichert werden"},
    {31149, "Der Zustand der KESTRA wird noch gelesen."},
    {31170, "Wiederherstellen: %1 Aenderung(en) gesendet, %2 von der KESTRA bestaetigt."},
    {31171, "Nicht bestaetigt: %1"},
    {31172, "Suchen"},
    {31173, "suche..."},
    {31174, "KESTRA gefunden an %1"},
    {31175, "Keine KESTRA hat an %1 Schnittstelle(n) geantwortet: kestractl find nennt die Gruende."},
};

constexpr bool IsSorted()
{
    for (std::size_t i = 1; i < std::size(kTable); ++i) {
        if (kTable[i - 1].id >= kTable[i].id) {
            return false;
        }
    }
    return true;
}
static_assert(IsSorted(), "the string table must be sorted by id, without duplicates");

std::uint8_t g_languageFlag = kLanguageEnglish;

const Entry* Find(int id)
{
    const Entry* end = std::end(kTable);
    const Entry* it = std::lower_bound(std::begin(kTable), end, id,
                                       [](const Entry& e, int key) { return e.id < key; });
    return it != end && it->id == id ? it : nullptr;
}

} // namespace

std::uint8_t LanguageFlag()
{
    return g_languageFlag;
}

void SetLanguageFlag(std::uint8_t flag)
{
    g_languageFlag = flag;
}

QString LoadStr(int id)
{
    return StringAt(g_languageFlag == kLanguageGerman ? id + kGermanOffset : id);
}

bool HasString(int id)
{
    return Find(id) != nullptr;
}

QString StringAt(int id)
{
    const Entry* e = Find(id);
    return e != nullptr ? QString::fromLatin1(e->text) : QString();
}

int StringCount()
{
    return static_cast<int>(std::size(kTable));
}

int StringIdAt(int index)
{
    return index >= 0 && index < StringCount() ? kTable[index].id : 0;
}
