#pragma once

#include <QString>
#include <stdexcept>

namespace qv {

// Error numbers the record store reports; the screens answer some of them by number.
namespace err {
constexpr int SyntaxError = 3075;           // a statement or criteria text that does not parse
constexpr int ActionCancelled = 3426;       // leaving a record failed because its write was refused
constexpr int NoCurrentRecord = 3021;       // an operation that needs a current record found none
constexpr int UpdateWithoutEdit = 3020;     // Update or CancelUpdate without AddNew or Edit
constexpr int NoCurrentIndex = 3019;        // Seek without an index
constexpr int NotAnIndex = 3800;            // Index set to a name the table has not
constexpr int ItemNotFound = 3265;          // a field name that is not in the record set
constexpr int OperationNotSupported = 3251; // e.g. Seek on a dynamic record set, writing to a view
constexpr int TypeMismatch = 3464;          // a key that is not a number
constexpr int CannotOpen = 3049;            // the database file cannot be opened or is damaged
constexpr int NotADatabase = 3343;          // the file is not a database this program can read
constexpr int CannotCreate = 3044;          // the database cannot be created in the folder
constexpr int NoSuchTable = 3078;           // a record source that names no table or query
constexpr int WriteFailed = 3197;           // the engine refused a write (carried by the data-error event)
constexpr int InvalidBookmark = 3159;       // a bookmark that names no row of the record set
constexpr int KeysExhausted = 3022;         // no identifier is left to give a new row
constexpr int DuplicateKey = 3022;          // two rows with one key (bringing an old archive across)
constexpr int PasswordProtected = 3031;     // an old archive protected by a password
} // namespace err

// A failure of the record store: an error number and a description for the user (Italian).
class StoreError : public std::runtime_error {
public:
    StoreError(int number, const QString& description)
        : std::runtime_error(description.toStdString()), number_(number), description_(description) {}

    int number() const { return number_; }
    const QString& description() const { return description_; }

private:
    int number_;
    QString description_;
};

} // namespace qv
