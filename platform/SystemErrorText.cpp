// SPDX-License-Identifier: GPL-3.0-or-later
#include "SystemErrorText.h"

#include <cerrno>
#include <cstring>

namespace platform {

namespace {

struct Reason {
    int errnum;
    const char* text;
};

// Every error number of Linux, in words: a file, a sound device or a sound server (on its
// socket, through ALSA's plugins) may report any of them. Where two names share a number
// (EAGAIN and EWOULDBLOCK, ENOTSUP and EOPNOTSUPP), the first row of that number counts.
constexpr Reason kReasons[] = {
    // Files and folders.
    {ENOSPC, "kein Speicherplatz mehr"},
    {EDQUOT, "kein Speicherplatz mehr"},
    {EACCES, "keine Berechtigung"},
    {EPERM, "keine Berechtigung"},
    {EROFS, "schreibgeschützt"},
    {ENOTDIR, "kein Ordner"},
    {EISDIR, "ist ein Ordner"},
    {ENOENT, "nicht vorhanden"},
    {EEXIST, "schon vorhanden"},
    {ELOOP, "ist ein symbolischer Verweis"},
    {EIO, "Ein-/Ausgabefehler"},
    {EFBIG, "Datei zu groß"},
    {ENAMETOOLONG, "Name zu lang"},
    {EMFILE, "zu viele offene Dateien"},
    {ENFILE, "zu viele offene Dateien"},
    {ETXTBSY, "Datei in Benutzung"},
    {EXDEV, "anderes Dateisystem"},
    {ENOTEMPTY, "Ordner nicht leer"},
    {EMLINK, "zu viele Verweise"},
    {ESPIPE, "keine Positionierung möglich"},
    {EBADF, "ungültiger Dateideskriptor"},
    {EOVERFLOW, "Wert zu groß für den Datentyp"},
    {ENOLCK, "keine Sperre verfügbar"},
    {ESTALE, "veralteter Dateiverweis (Netzlaufwerk)"},
    {EILSEQ, "ungültige Zeichenfolge"},
    // Devices.
    {EBUSY, "Gerät belegt"},
    {ENODEV, "Gerät nicht vorhanden"},
    {ENXIO, "Gerät nicht vorhanden"},
    {EBADFD, "Gerät in ungültigem Zustand"},
    {ESTRPIPE, "Gerät angehalten"},
    {ENOTTY, "Gerät kennt diesen Befehl nicht"},
    {ENOMEM, "nicht genug Arbeitsspeicher"},
    {EPIPE, "Verbindung unterbrochen"},
    {EAGAIN, "vorübergehend nicht verfügbar"},
    {EINVAL, "ungültiger Wert"},
    {ENOTSUP, "nicht unterstützt"},
    {EOPNOTSUPP, "nicht unterstützt"},
    {ETIMEDOUT, "Zeitüberschreitung"},
    {EINTR, "unterbrochen"},
    {ENOSYS, "Funktion nicht vorhanden"},
    {EFAULT, "ungültige Speicheradresse"},
    {ERANGE, "Wert außerhalb des Bereichs"},
    {EDOM, "Wert außerhalb des Definitionsbereichs"},
    {EDEADLK, "Verklemmung vermieden"},
    {ECANCELED, "abgebrochen"},
    {ETIME, "Zeitgeber abgelaufen"},
    {ENODATA, "keine Daten verfügbar"},
    {ENOBUFS, "kein Pufferspeicher verfügbar"},
    {ENOSR, "keine Stream-Mittel mehr"},
    {ENOSTR, "Gerät ist kein Stream"},
    {EOWNERDEAD, "Besitzer beendet"},
    {ENOTRECOVERABLE, "Zustand nicht wiederherstellbar"},
    // Sound servers and network file systems: the other end of a connection.
    {EHOSTUNREACH, "Gegenstelle nicht erreichbar"},
    {ECONNREFUSED, "Verbindung abgewiesen"},
    {ECONNRESET, "Verbindung von der Gegenstelle getrennt"},
    {ECONNABORTED, "Verbindung abgebrochen"},
    {ENOTCONN, "keine Verbindung"},
    {EISCONN, "schon verbunden"},
    {ENOLINK, "Verbindung getrennt"},
    {EPROTO, "Protokollfehler"},
    {EBADMSG, "ungültige Nachricht"},
    {ENOMSG, "keine Nachricht des erwarteten Typs"},
    {EMSGSIZE, "Nachricht zu lang"},
    {ENETDOWN, "Netzwerk nicht in Betrieb"},
    {ENETUNREACH, "Netzwerk nicht erreichbar"},
    {ENETRESET, "Netzwerkverbindung zurückgesetzt"},
    {EADDRINUSE, "Adresse schon belegt"},
    {EADDRNOTAVAIL, "Adresse nicht verfügbar"},
    {EALREADY, "Vorgang läuft schon"},
    {EINPROGRESS, "Vorgang läuft noch"},
    {EDESTADDRREQ, "Zieladresse fehlt"},
    {ENOTSOCK, "keine Socket-Verbindung"},
    {EPROTOTYPE, "falscher Protokolltyp"},
    {ENOPROTOOPT, "Protokoll nicht verfügbar"},
    {EPROTONOSUPPORT, "Protokoll nicht unterstützt"},
    {EAFNOSUPPORT, "Adressfamilie nicht unterstützt"},
    {EMULTIHOP, "Verbindung über mehrere Rechner versucht"},
    // Processes, programs and libraries.
    {ESRCH, "Prozess nicht vorhanden"},
    {ECHILD, "kein Kindprozess"},
    {E2BIG, "Argumentliste zu lang"},
    {ENOEXEC, "kein ausführbares Programm"},
    {EIDRM, "Kennung entfernt"},
#ifdef __linux__
    // Linux's own numbers beyond POSIX: a sound server that is down or went away first.
    {EHOSTDOWN, "Gegenstelle nicht in Betrieb"},
    {ESHUTDOWN, "Verbindung schon beendet"},
    {EREMOTEIO, "Ein-/Ausgabefehler der Gegenstelle"},
    {EUCLEAN, "Dateisystem beschädigt, Prüfung nötig"},
    {ENOMEDIUM, "kein Datenträger eingelegt"},
    {EMEDIUMTYPE, "falscher Datenträgertyp"},
    {ENOTBLK, "kein Blockgerät"},
    {ENOTNAM, "keine benannte Datei"},
    {EISNAM, "ist eine benannte Datei"},
    {ENAVAIL, "keine Semaphore verfügbar"},
    {ERESTART, "unterbrochen, neu zu starten"},
    {ERFKILL, "Funk gesperrt (RF-Kill)"},
#ifdef EHWPOISON
    {EHWPOISON, "Hardwarefehler im Arbeitsspeicher"},
#endif
    {EREMOTE, "Objekt liegt auf einem anderen Rechner"},
    {EREMCHG, "Adresse der Gegenstelle geändert"},
    {ECOMM, "Fehler beim Senden"},
    {ENONET, "Rechner nicht im Netzwerk"},
    {ESOCKTNOSUPPORT, "Socket-Typ nicht unterstützt"},
    {EPFNOSUPPORT, "Protokollfamilie nicht unterstützt"},
    {ETOOMANYREFS, "zu viele Verweise auf die Verbindung"},
    {ENOTUNIQ, "Name im Netzwerk nicht eindeutig"},
    {EADV, "Fehler beim Bekanntgeben"},
    {ESRMNT, "Fehler beim Einhängen"},
    {EDOTDOT, "Fehler im entfernten Dateisystem"},
    {EUSERS, "zu viele Benutzer"},
    {ELIBACC, "benötigte Bibliothek nicht zugänglich"},
    {ELIBBAD, "Bibliothek beschädigt"},
    {ELIBSCN, "Programmabschnitt beschädigt"},
    {ELIBMAX, "zu viele Bibliotheken"},
    {ELIBEXEC, "Bibliothek nicht direkt ausführbar"},
    {ENOPKG, "Paket nicht installiert"},
    {ENOKEY, "Schlüssel nicht verfügbar"},
    {EKEYEXPIRED, "Schlüssel abgelaufen"},
    {EKEYREVOKED, "Schlüssel widerrufen"},
    {EKEYREJECTED, "Schlüssel abgewiesen"},
    // Old drivers' codes, named for completeness.
    {ECHRNG, "Kanalnummer außerhalb des Bereichs"},
    {EL2NSYNC, "Ebene 2 nicht synchron"},
    {EL3HLT, "Ebene 3 angehalten"},
    {EL3RST, "Ebene 3 zurückgesetzt"},
    {ELNRNG, "Verbindungsnummer außerhalb des Bereichs"},
    {EUNATCH, "Protokolltreiber nicht angebunden"},
    {ENOCSI, "keine CSI-Struktur verfügbar"},
    {EL2HLT, "Ebene 2 angehalten"},
    {EBADE, "ungültiger Austausch"},
    {EBADR, "ungültige Anforderung"},
    {EXFULL, "Austausch voll"},
    {ENOANO, "keine Anode"},
    {EBADRQC, "ungültiger Anforderungscode"},
    {EBADSLT, "ungültiger Steckplatz"},
    {EBFONT, "ungültige Schriftdatei"},
#endif
};

// The symbolic name of an error number ("EHOSTDOWN"), or nothing where the C library has none.
const char* errorName(int errnum) {
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 32))
    return strerrorname_np(errnum);
#else
    (void)errnum;
    return nullptr;
#endif
}

} // namespace

std::string systemErrorText(int errnum) {
    for (const Reason& reason : kReasons)
        if (reason.errnum == errnum)
            return reason.text;
    // Words first, never a bare number as the reason.
    if (const char* name = errorName(errnum))
        return std::string("unbekannter Systemfehler (") + name + ")";
    return "unbekannter Systemfehler (Fehlernummer " + std::to_string(errnum) + ")";
}

} // namespace platform
