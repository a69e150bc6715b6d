#include "store/ArchiveMessages.h"

#include "platform/Files.h"
#include "store/Engine.h"

namespace qv::archive {

using files::shown;

QString damagedMessage(const QString& path) {
    return QStringLiteral("Il file \"%1\" non è un archivio valido di Quorvane o è danneggiato, quindi il "
                          "programma non può aprirlo. Il file non è stato modificato: ripristinare una copia "
                          "di sicurezza dell'archivio o rivolgersi all'assistenza tecnica.")
        .arg(shown(path));
}

QString jetMessage(const QString& path) {
    return QStringLiteral(
               "Il file \"%1\" è un database nel formato Jet dei vecchi programmi di database per "
               "computer da scrivania, che Quorvane non è in grado di leggere. Il file non è stato "
               "modificato: per usarlo con Quorvane i dati devono prima essere trasferiti in un "
               "archivio nuovo.")
        .arg(shown(path));
}

QString readOnlyMessage(const QString& path) {
    return QStringLiteral("Il file \"%1\" è protetto dalla scrittura, quindi Quorvane non potrebbe salvare i "
                          "dati dei pazienti. Togliere la protezione dalla scrittura al file e avviare di "
                          "nuovo il programma.")
        .arg(shown(path));
}

QString folderReadOnlyMessage(const QString& folder) {
    return QStringLiteral(
               "Nella cartella \"%1\" non è possibile scrivere, quindi Quorvane non potrebbe salvare "
               "i dati dei pazienti. Dare il permesso di scrittura nella cartella e avviare di "
               "nuovo il programma.")
        .arg(shown(folder));
}

QString cannotCreateMessage(const QString& path, const QString& why, int code) {
    if (sql::isDiskFull(code))
        return QStringLiteral("Non è stato possibile creare l'archivio dei dati \"%1\": il disco è pieno. "
                              "Liberare spazio sul disco e avviare di nuovo il programma.")
            .arg(shown(path));
    QString text = QStringLiteral("Non è stato possibile creare l'archivio dei dati \"%1\": la cartella del "
                                  "programma non esiste o non vi si può scrivere. Installare il programma in "
                                  "una cartella in cui sia possibile scrivere e avviarlo di nuovo.")
                       .arg(shown(path));
    if (!why.isEmpty())
        text += QStringLiteral(" (%1)").arg(why);
    return text;
}

QString cannotOpenMessage(const QString& path, const QString& why) {
    return QStringLiteral("Non è stato possibile aprire l'archivio dei dati \"%1\" (%2). Il file non è stato "
                          "modificato.")
        .arg(shown(path), why);
}

QString keysExhaustedMessage(qint64 highest) {
    return QStringLiteral("Non è possibile aggiungere un'altra scheda: l'archivio ha già dato "
                          "l'identificativo più alto possibile (%1). Le schede esistenti "
                          "restano invariate; rivolgersi all'assistenza tecnica.")
        .arg(highest);
}

QString readFailureMessage(const QString& path, const QString& why) {
    return QStringLiteral("Errore nella lettura dell'archivio dei dati \"%1\": %2").arg(shown(path), why);
}

} // namespace qv::archive
