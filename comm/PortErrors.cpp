#include "PortErrors.h"

#include <atomic>

namespace comm {

namespace {

// Set by the window's thread, read by a port's reader thread while it opens.
std::atomic<bool> german{false};

// German in the window's own spelling (no umlauts, as in its language table).
QString Text(const char* english, const char* inGerman)
{
    return QString::fromLatin1(german.load() ? inGerman : english);
}

}  // namespace

void UseGermanErrorTexts(bool on)
{
    german.store(on);
}

QString SerialOpenErrorText(QSerialPort::SerialPortError error, const QString& path, bool accessDenied,
                            const QString& detail)
{
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return Text("There is no serial port %1. Check the name, or plug the adapter in.",
                    "Es gibt keine serielle Schnittstelle %1. Pruefen Sie den Namen, oder stecken Sie den "
                    "Adapter ein.")
            .arg(path);
    case QSerialPort::PermissionError:
#if defined(Q_OS_LINUX)
        if (accessDenied) {
            return Text("No permission to use %1. Serial ports belong to the group \"dialout\": add yourself "
                        "with  sudo usermod -aG dialout $USER  and then log out and log in again.",
                        "Keine Berechtigung fuer %1. Serielle Schnittstellen gehoeren der Gruppe \"dialout\": "
                        "treten Sie ihr mit  sudo usermod -aG dialout $USER  bei, dann ab- und wieder anmelden.")
                .arg(path);
        }
#else
        if (accessDenied) {
            return Text("No permission to use %1.", "Keine Berechtigung fuer %1.").arg(path);
        }
#endif
        return Text("%1 is in use by another program. Close it there and connect again.",
                    "%1 wird von einem anderen Programm benutzt. Schliessen Sie es dort und verbinden Sie erneut.")
            .arg(path);
    default:
        return Text("Could not open %1: %2", "%1 konnte nicht geoeffnet werden: %2").arg(path, detail);
    }
}

QString NetworkOpenErrorText(QAbstractSocket::SocketError error, const QString& host, quint16 port,
                             const QString& detail)
{
    switch (error) {
    case QAbstractSocket::HostNotFoundError:
        return Text("The host \"%1\" could not be found. Check its name.",
                    "Der Rechner \"%1\" wurde nicht gefunden. Pruefen Sie seinen Namen.")
            .arg(host);
    case QAbstractSocket::ConnectionRefusedError:
        return Text("%1 refused the connection on port %2. Is the device server running, and is %2 its port?",
                    "%1 hat die Verbindung auf Port %2 abgelehnt. Laeuft der Geraeteserver, und ist %2 sein Port?")
            .arg(host)
            .arg(port);
    case QAbstractSocket::SocketTimeoutError:
        return Text("No answer from %1 on port %2.", "Keine Antwort von %1 auf Port %2.").arg(host).arg(port);
    default:
        return Text("Could not connect to %1 on port %2: %3", "Keine Verbindung zu %1 auf Port %2: %3")
            .arg(host)
            .arg(port)
            .arg(detail);
    }
}

QString NoComPortControlText(const QString& host, quint16 port)
{
    return Text("%1 on port %2 does not take line settings over telnet (RFC 2217). "
                "Use tcp://%1:%2 if it is a raw port.",
                "%1 auf Port %2 nimmt keine Leitungseinstellungen ueber Telnet (RFC 2217) an. Nehmen Sie "
                "tcp://%1:%2, wenn es ein einfacher TCP-Port ist.")
        .arg(host)
        .arg(port);
}

QString LineSettingsRefusedText(const QString& name, int baudRate)
{
    return Text("%1 refused the line settings (%2 baud).", "%1 hat die Leitungseinstellungen abgelehnt (%2 Baud).")
        .arg(name)
        .arg(baudRate);
}

QString LineSettingsKeptText(const QString& name, const QString& asked, const QString& kept)
{
    return Text("%1 refused the line settings: asked for %2, it keeps %3. Check the device server's port "
                "settings.",
                "%1 hat die Leitungseinstellungen abgelehnt: erbeten %2, es bleibt bei %3. Pruefen Sie die "
                "Porteinstellungen des Geraeteservers.")
        .arg(name, asked, kept);
}

QString ServerClosedText(const QString& name, const QString& said)
{
    QString text = Text("%1 closed the connection before confirming the line settings: the device server "
                        "could not open its serial port (in use, unplugged, or a wrong device in its "
                        "configuration).",
                        "%1 hat die Verbindung vor der Bestaetigung der Leitungseinstellungen beendet: der "
                        "Geraeteserver konnte seine serielle Schnittstelle nicht oeffnen (belegt, ausgesteckt oder "
                        "falsch eingetragen).")
                       .arg(name);
    if (!said.isEmpty()) {
        text += Text(" It said: \"%1\"", " Er meldete: \"%1\"").arg(said);
    }
    return text;
}

QString NoLineAnswerText(const QString& name, const QString& asked)
{
    return Text("%1 did not confirm the line settings (%2): either the device server cannot open its serial "
                "port, or it does not take line settings (then use tcp:// and set %2 on the server).",
                "%1 hat die Leitungseinstellungen (%2) nicht bestaetigt: entweder kann der Geraeteserver seine "
                "serielle Schnittstelle nicht oeffnen, oder er nimmt keine Leitungseinstellungen an (dann tcp:// "
                "nehmen und %2 am Server einstellen).")
        .arg(name, asked);
}

QString LineText(qint64 baudRate, int dataBits, int parity, int stopBits)
{
    static const char* const kParity[] = {"N", "O", "E", "M", "S"};
    static const char* const kStop[] = {"1", "1.5", "2"};
    return QStringLiteral("%1 baud %2%3%4")
        .arg(baudRate)
        .arg(dataBits)
        .arg(QLatin1String(parity >= 0 && parity <= 4 ? kParity[parity] : "?"),
             QLatin1String(stopBits >= 0 && stopBits <= 2 ? kStop[stopBits] : "?"));
}

}  // namespace comm
