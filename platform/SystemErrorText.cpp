// SPDX-License-Identifier: GPL-3.0-or-later
#include "SystemErrorText.h"

#include <cerrno>

namespace platform {

std::string systemErrorText(int errnum) {
    switch (errnum) {
    case ENOSPC:
    case EDQUOT:
        return "kein Speicherplatz mehr";
    case EACCES:
    case EPERM:
        return "keine Berechtigung";
    case EROFS:
        return "schreibgeschützt";
    case ENOTDIR:
        return "kein Ordner";
    case EISDIR:
        return "ist ein Ordner";
    case EBUSY:
        return "Gerät belegt";
    case ENODEV:
    case ENXIO:
        return "Gerät nicht vorhanden";
    case ENOENT:
        return "nicht vorhanden";
    case EEXIST:
        return "schon vorhanden";
    case ELOOP:
        return "ist ein symbolischer Verweis";
    case EIO:
        return "Ein-/Ausgabefehler";
    case EFBIG:
        return "Datei zu groß";
    case ENAMETOOLONG:
        return "Name zu lang";
    case EMFILE:
    case ENFILE:
        return "zu viele offene Dateien";
    case ENOMEM:
        return "nicht genug Arbeitsspeicher";
    case EPIPE:
        return "Verbindung unterbrochen";
    case EAGAIN:
        return "vorübergehend nicht verfügbar";
    case EINVAL:
        return "ungültiger Wert";
    case EBADFD:
        return "Gerät in ungültigem Zustand";
    case ESTRPIPE:
        return "Gerät angehalten";
    case ETXTBSY:
        return "Datei in Benutzung";
    case EXDEV:
        return "anderes Dateisystem";
    case ENOTSUP:
        return "nicht unterstützt";
    case ETIMEDOUT:
        return "Zeitüberschreitung";
    case EINTR:
        return "unterbrochen";
    default:
        return "Systemfehler " + std::to_string(errnum);
    }
}

} // namespace platform
