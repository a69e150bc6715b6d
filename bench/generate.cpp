#include "bench/generate.h"

#include "agenda/DayFile.h"
#include "platform/Dates.h"
#include "store/Database.h"
#include "tests/support/Files.h"

#include <QDate>
#include <QRandomGenerator>
#include <QStringList>
#include <iterator>

namespace qv::bench {

namespace {

const char* const kSurnames[] = {
    "Rossi",      "Russo",   "Ferrari",   "Esposito",   "Bianchi",    "Romano",     "Colombo",
    "Ricci",      "Marino",  "Greco",     "Bruno",      "Gallo",      "Conti",      "De Luca",
    "Mancini",    "Costa",   "Giordano",  "Rizzo",      "Lombardi",   "Moretti",    "Barbieri",
    "Fontana",    "Santoro", "Mariani",   "Rinaldi",    "Caruso",     "Ferrara",    "Galli",
    "Martini",    "Leone",   "Longo",     "Gentile",    "Martinelli", "Vitale",     "Lombardo",
    "Serra",      "Coppola", "De Santis", "D'Angelo",   "Marchetti",  "Parisi",     "Villa",
    "Conte",      "Ferraro", "Ferri",     "Fabbri",     "Bianco",     "Marini",     "Grasso",
    "Valentini",  "Messina", "Sala",      "De Angelis", "Gatti",      "Pellegrini", "Palumbo",
    "Sanna",      "Farina",  "Rizzi",     "Monti",      "Cattaneo",   "Morelli",    "Amato",
    "Silvestri",  "Mazza",   "Testa",     "Grassi",     "Pellegrino", "Carbone",    "Giuliani",
    "Benedetti",  "Barone",  "Rossetti",  "Caputo",     "Montanari",  "Guerra",     "Palmieri",
    "Bernardi",   "Martino", "Fiore",     "De Rosa",    "Ferretti",   "Bellini",    "Basile",
    "Riva",       "Donati",  "Piras",     "Vitali",     "Battaglia",  "Sartori",    "Neri",
    "Costantini", "Milani",  "Pagano",    "Ruggiero",   "Sorrentino", "D'Amico",    "Orlando",
    "Damico",     "Negri",   "Nicolò",    "Sciarrà",    "Cantù",      "Forlì",      "Mosè",
    "Bonalumi",   "Zanetti", "Pozzi"};
const char* const kNames[] = {
    "Mario",      "Giuseppe",  "Anna",     "Giulia",    "Luca",     "Francesca", "Marco",     "Chiara",
    "Paolo",      "Sara",      "Elena",    "Andrea",    "Giovanni", "Maria",     "Antonio",   "Laura",
    "Alessandro", "Valentina", "Roberto",  "Federica",  "Stefano",  "Silvia",    "Francesco", "Martina",
    "Davide",     "Alessia",   "Matteo",   "Elisa",     "Simone",   "Roberta",   "Lorenzo",   "Ilaria",
    "Nicolò",     "Noemi",     "Gabriele", "Beatrice",  "Riccardo", "Aurora",    "Tommaso",   "Sofia",
    "Emanuele",   "Camilla",   "Pietro",   "Greta",     "Filippo",  "Irene",     "Michele",   "Marta",
    "Daniele",    "Caterina",  "Fabio",    "Raffaella", "Enrico",   "Cristina"};
const char* const kOccupations[] = {
    "Impiegato",        "Insegnante",   "Ingegnere",    "Avvocato",
    "Commercialista",   "Medico",       "Infermiera",   "Pensionato",
    "Studente",         "Artigiano",    "Commerciante", "Architetto",
    "Operaio",          "Farmacista",   "Casalinga",    "Libero professionista",
    "Geometra",         "Agricoltore",  "Dott. Bassi",  "Dott.ssa Neri",
    "Inviato da amico", "Sig. Fontana", "Pubblicità",   "Passaparola"};
const char* const kCompanyKinds[] = {"S.r.l.", "S.p.A.", "S.n.c.", "& Figli", "Società Cooperativa",
                                     "S.a.s."};
const char* const kCompanyWords[] = {"Edilizia",    "Trasporti", "Alimentari",   "Tessile",
                                     "Informatica", "Meccanica", "Costruzioni",  "Servizi",
                                     "Consulenze",  "Impianti",  "Arredamenti",  "Ceramiche",
                                     "Vini",        "Ottica",    "Assicurazioni"};
const char* const kStreetKinds[] = {"Via", "Viale", "Piazza", "Corso", "Vicolo", "Largo"};
const char* const kStreets[] = {
    "Roma",          "Garibaldi",   "Mazzini",    "Cavour",    "Dante Alighieri",  "Vittorio Emanuele II",
    "XX Settembre",  "Marconi",     "Verdi",      "Matteotti", "della Repubblica", "dei Mille",
    "San Francesco", "Santa Lucia", "delle Rose", "Manzoni",   "Gramsci",          "Leopardi",
    "Carducci",      "IV Novembre", "del Popolo", "Nazionale"};
struct City {
    const char* name;
    const char* province;
    const char* cap;
    const char* prefix;
};
const City kCities[] = {
    {"Roma", "RM", "00100", "06"},     {"Milano", "MI", "20100", "02"},   {"Napoli", "NA", "80100", "081"},
    {"Torino", "TO", "10100", "011"},  {"Bologna", "BO", "40100", "051"}, {"Firenze", "FI", "50100", "055"},
    {"Forlì", "FC", "47121", "0543"},  {"Cesena", "FC", "47521", "0547"}, {"Bari", "BA", "70100", "080"},
    {"Palermo", "PA", "90100", "091"}, {"Genova", "GE", "16100", "010"},  {"Verona", "VR", "37100", "045"},
    {"Padova", "PD", "35100", "049"},  {"Cantù", "CO", "22063", "031"}};
const char* const kDomains[] = {"libero.it",  "gmail.com", "alice.it",      "virgilio.it", "tiscali.it",
                                "hotmail.it", "yahoo.it",  "fastwebnet.it", "pec.it"};
const char* const kNoteWords[] = {"controllo",    "igiene",     "otturazione", "devitalizzazione",
                                  "corona",       "ponte",      "impianto",    "radiografia",
                                  "panoramica",   "estrazione", "molare",      "premolare",
                                  "incisivo",     "canino",     "carie",       "gengivite",
                                  "sensibilità",  "anestesia",  "apparecchio", "bite",
                                  "sbiancamento", "detartrasi", "paziente",    "riferisce",
                                  "dolore",       "lieve",      "programmato", "richiamo",
                                  "tra",          "sei",        "mesi",        "superiore",
                                  "inferiore",    "destro",     "sinistro",    "allergia",
                                  "penicillina",  "nessuna",    "terapia",     "in",
                                  "corso",        "preventivo", "accettato"};

template <class T, size_t N> const T& pick(QRandomGenerator& random, const T (&items)[N]) {
    return items[random.bounded(int(N))];
}

QString digits(QRandomGenerator& random, int count) {
    QString out;
    out.reserve(count);
    for (int i = 0; i < count; ++i)
        out += QChar(u'0' + random.bounded(10));
    return out;
}

// An e-mail local part from a name: lower case, plain letters only.
QString mailPart(const QString& text) {
    QString out;
    for (const QChar ch : text.normalized(QString::NormalizationForm_D).toLower())
        if ((ch >= u'a' && ch <= u'z'))
            out += ch;
    return out;
}

QString shortDate(const QDate& date) {
    return QStringLiteral("%1/%2/%3")
        .arg(date.day(), 2, 10, QLatin1Char('0'))
        .arg(date.month(), 2, 10, QLatin1Char('0'))
        .arg(date.year());
}

// Rich text notes as the clinical record stores them: about `words` words of visits.
QString notes(QRandomGenerator& random, int words) {
    QString text = QStringLiteral("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 ");
    for (int w = 0; w < words; ++w) {
        if (w % 18 == 0)
            text += QStringLiteral("\\par %1/%2: ").arg(1 + random.bounded(28)).arg(1 + random.bounded(12));
        text += QString::fromUtf8(pick(random, kNoteWords));
        text += QLatin1Char(' ');
    }
    return text + QLatin1Char('}');
}

} // namespace

Archive generateArchive(const QString& path, int patients, quint32 seed) {
    QRandomGenerator random(seed);
    auto db = Database::open(path);
    sql::exec(db->handle(), QStringLiteral("BEGIN"));
    sql::Stmt insert(db->handle(),
                     QString::fromUtf8("INSERT INTO Pazienti (Cognome, Nome, Attività, Società, Indirizzo, "
                                       "\"Telefono Casa\", \"Telefono Ufficio\", Data, Cellulare, Fax, "
                                       "\"E mail\", \"Data richiamo\", Note) VALUES "
                                       "(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13)"));
    const QDate first(1995, 1, 1);
    for (int i = 0; i < patients; ++i) {
        QString surname = QString::fromUtf8(pick(random, kSurnames));
        if (random.bounded(12) == 0)
            surname += QLatin1Char(' ') + QString::fromUtf8(pick(random, kSurnames));
        if (i % 25000 == 7)
            surname = Archive::rareSurname();
        const QString name = QString::fromUtf8(pick(random, kNames));
        const City& city = pick(random, kCities);
        const QString company =
            random.bounded(3) == 0
                ? QStringLiteral("%1 %2").arg(surname, QString::fromUtf8(pick(random, kCompanyKinds)))
                : QStringLiteral("%1 %2 %3")
                      .arg(QString::fromUtf8(pick(random, kCompanyWords)), QString::fromUtf8(city.name),
                           QString::fromUtf8(pick(random, kCompanyKinds)));
        const QDate visit = first.addDays(random.bounded(11000));
        insert.bind(1, surname);
        insert.bind(2, name);
        insert.bind(3, QString::fromUtf8(pick(random, kOccupations)));
        insert.bind(4, company);
        insert.bind(5, QStringLiteral("%1 %2 %3, %4 %5 (%6)")
                           .arg(QString::fromUtf8(pick(random, kStreetKinds)),
                                QString::fromUtf8(pick(random, kStreets)))
                           .arg(1 + random.bounded(250))
                           .arg(QString::fromUtf8(city.cap), QString::fromUtf8(city.name),
                                QString::fromUtf8(city.province)));
        insert.bind(6, QStringLiteral("%1 %2").arg(QString::fromUtf8(city.prefix), digits(random, 7)));
        insert.bind(7, QStringLiteral("%1 %2").arg(QString::fromUtf8(city.prefix), digits(random, 6)));
        insert.bind(8, shortDate(visit));
        insert.bind(9, QStringLiteral("3%1 %2").arg(digits(random, 2), digits(random, 7)));
        insert.bind(10, QStringLiteral("%1 %2").arg(QString::fromUtf8(city.prefix), digits(random, 6)));
        insert.bind(11, QStringLiteral("%1.%2%3@%4")
                            .arg(mailPart(name), mailPart(surname))
                            .arg(random.bounded(100))
                            .arg(QString::fromUtf8(pick(random, kDomains))));
        insert.bind(12, shortDate(visit.addDays(90 + random.bounded(400))));
        insert.bind(13, notes(random, i % 10 == 3 ? 300 + random.bounded(400) : 10 + random.bounded(30)));
        insert.run();
    }
    sql::exec(db->handle(), QStringLiteral("COMMIT"));
    Archive archive;
    archive.patients = patients;
    return archive;
}

int writeDayFiles(const QString& folder, const QDate& first, const QDate& end,
                  const std::function<QStringList(const QDate&)>& day) {
    dayfile::ensureFolder(folder);
    int files = 0;
    for (QDate d = first; d < end; d = d.addDays(1))
        files +=
            test::writeFile(dayfile::filePath(folder, dates::longDate(d)), dayfile::encode(day(d))) ? 1 : 0;
    return files;
}

} // namespace qv::bench
