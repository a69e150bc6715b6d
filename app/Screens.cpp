#include "app/Screens.h"

#include "agenda/FormAgend.h"
#include "app/Backup.h"
#include "app/EndRequests.h"
#include "app/frmInizio.h"
#include "card/frmScheda.h"
#include "clinical/frmCartellaClinica.h"
#include "search/frmCerca.h"
#include "search/frmElenco.h"
#include "store/ArchiveDamage.h"
#include "store/ArchiveMessages.h"
#include "store/DataControl.h"
#include "store/StoreError.h"

#include <QTimer>
#include <algorithm>
#include <optional>

namespace qv {

namespace {
QString screenName(const QMetaObject& meta) {
    QString name = QString::fromLatin1(meta.className());
    const int colon = name.lastIndexOf(QLatin1Char(':'));
    return colon >= 0 ? name.mid(colon + 1) : name;
}

// Closes a screen's data controls; a refused write has already been shown by the control's
// data-error event, and nothing more can be done for it while the screen goes away. After a
// failure, edits whose refusal was already shown are not reported again; edits refused only
// now are (a pending note is never dropped without a word). While the process exits, no box
// can be shown any more.
void closeDataControls(Screen& screen, bool quiet = false, bool tearingDown = false) {
    for (DataControl* dc : screen.dataControls()) {
        if (tearingDown || (quiet && dc->writeRefused()))
            dc->onError = nullptr;
        try {
            dc->Close(!tearingDown);
        } catch (const StoreError&) {
        }
    }
}
} // namespace

Screens::Screens(Platform& platform) : platform_(platform), context_(std::make_unique<QObject>()) {
    archive::onDamageFound([this](const QString&) {
        // Found outside any handler (a grid reading the rows it paints): answered as soon as
        // the event loop runs.
        if (running_ == 0 && !ending_)
            QTimer::singleShot(0, context_.get(), [this] { guard([] {}); });
    });
}

Screens::~Screens() {
    archive::onDamageFound(nullptr);
    endRequests_.reset();
    for (auto& screen : loaded_)
        delete screen.data();
    // Screens unloaded but not yet deleted by the event loop do not outlive the registry
    // they refer to.
    for (auto& screen : leaving_)
        delete screen.data();
}

void Screens::goAway(Screen* screen) {
    leaving_.erase(
        std::remove_if(leaving_.begin(), leaving_.end(), [](const QPointer<Screen>& s) { return !s; }),
        leaving_.end());
    leaving_.emplace_back(screen);
    screen->deleteLater();
}

template <class T> T& Screens::touch() {
    const QString name = screenName(T::staticMetaObject);
    if (Screen* existing = loaded(name))
        return static_cast<T&>(*existing);
    auto* screen = new T(*this);
    loaded_.emplace_back(screen);
    try {
        screen->Form_Load();
        // The data controls open their record sets once the load handler has set them up.
        for (DataControl* dc : screen->dataControls())
            dc->Recordset();
    } catch (...) {
        // Only the screen whose load failed goes: the screens its load handler loaded in
        // turn (the reminder loads the card) stay loaded, and the end unloads them.
        const auto failed = std::find(loaded_.begin(), loaded_.end(), QPointer<Screen>(screen));
        if (failed != loaded_.end())
            loaded_.erase(failed);
        if (active_ == screen)
            active_ = nullptr;
        closeDataControls(*screen, true);
        screen->hide();
        goAway(screen);
        throw;
    }
    return *screen;
}

frmInizio& Screens::inizio() {
    return touch<frmInizio>();
}
frmScheda& Screens::scheda() {
    return touch<frmScheda>();
}
frmCerca& Screens::cerca() {
    return touch<frmCerca>();
}
frmElenco& Screens::elenco() {
    return touch<frmElenco>();
}
frmCartellaClinica& Screens::cartellaClinica() {
    return touch<frmCartellaClinica>();
}
FormAgend& Screens::agend() {
    return touch<FormAgend>();
}

Screen* Screens::loaded(const QString& name) const {
    for (const auto& screen : loaded_) {
        if (screen && screen->objectName() == name)
            return screen.data();
    }
    return nullptr;
}

bool Screens::isLoaded(const QString& name) const {
    return loaded(name) != nullptr;
}

QStringList Screens::loadOrder() const {
    QStringList names;
    for (const auto& screen : loaded_) {
        if (screen)
            names << screen->objectName();
    }
    return names;
}

void Screens::show(Screen& screen) {
    if (ending_)
        return;
    screen.show();
    screen.raise();
    screen.activateWindow();
    if (active_ != &screen) {
        active_ = &screen;
        screen.Form_Activate();
    }
}

void Screens::hide(Screen& screen) {
    if (active_ == &screen)
        active_ = nullptr;
    screen.hide();
}

void Screens::activated(Screen& screen) {
    if (ending_ || active_ == &screen)
        return;
    active_ = &screen;
    screen.guard([&screen] { screen.Form_Activate(); });
}

void Screens::unload(Screen& screen) {
    auto it = std::find(loaded_.begin(), loaded_.end(), QPointer<Screen>(&screen));
    if (it == loaded_.end())
        return;
    loaded_.erase(it);
    if (active_ == &screen)
        active_ = nullptr;
    closeDataControls(screen);
    screen.hide();
    goAway(&screen);
}

void Screens::endProgramAfterFailure() {
    afterFailure_ = true;
    endProgram();
}

void Screens::endProgram() {
    if (ending_)
        return;
    ending_ = true;
    closeAll(false);
    ended_ = true;
    platform_.end.end();
}

void Screens::closeAll(bool damaged) {
    active_ = nullptr;
    for (const auto& work : atEnd_) {
        try {
            work();
        } catch (...) {
        }
    }
    // One after the other, in the order in which they were loaded.
    const auto screens = loaded_;
    loaded_.clear();
    for (const auto& screen : screens) {
        if (!screen)
            continue;
        unloaded_ << screen->objectName();
        try {
            screen->writePending(damaged || afterFailure_ || atExit_);
        } catch (const std::exception&) {
        }
        if (damaged) {
            for (DataControl* dc : screen->dataControls())
                dc->abandon();
        } else {
            // While the process exits, the widgets' own machinery may be gone already: the data
            // is written and nothing on the screen is touched.
            closeDataControls(*screen, afterFailure_, atExit_);
        }
        if (atExit_)
            continue;
        screen->hide();
        goAway(screen);
    }
    if (atExit_)
        loaded_ = screens; // still owned here, never touched again
    if (damaged) {
        // Screens unloaded earlier but not yet deleted let the archive go too.
        for (const auto& screen : leaving_)
            if (screen)
                for (DataControl* dc : screen->dataControls())
                    dc->abandon();
    }
}

bool Screens::archiveDamaged() const {
    return archive::foundDamaged(platform_.archivePath());
}

void Screens::recoverFromDamage() {
    if (ending_ || recovering_)
        return;
    // No handler runs while the screens close and the backup is offered.
    ending_ = true;
    recovering_ = true;
    closeAll(true);
    const QString archive = platform_.archivePath();
    const QString failure = archive::damagedMessage(archive);
    bool restored = false;
    try {
        restored = restore_ ? restore_(failure) : offerRestore(platform_, archive, failure);
    } catch (const std::exception& e) {
        platform_.msg.show(QString::fromLocal8Bit(e.what()), MsgButtons::Ok, MsgIcon::Critical);
    }
    recovering_ = false;
    if (!restored) {
        afterFailure_ = true;
        ended_ = true;
        platform_.end.end();
        return;
    }
    ending_ = false;
    start();
}

void Screens::start() {
    guard([this] {
        frmInizio& first = inizio();
        if (!ending_)
            show(first);
    });
}

void Screens::endProgramAtExit() {
    atExit_ = true;
    endProgram();
}

void Screens::endOnSystemRequests() {
    if (!endRequests_)
        endRequests_ = std::make_unique<EndRequests>(*this);
}

void Screens::guard(const std::function<void()>& handler) {
    if (ending_)
        return;
    std::optional<QString> failure;
    ++running_;
    try {
        handler();
    } catch (const StoreError& e) {
        failure = e.description();
    } catch (const std::exception& e) {
        failure = QString::fromLocal8Bit(e.what());
    } catch (...) {
        failure = QStringLiteral("Errore imprevisto.");
    }
    --running_;
    // Damage is answered by the outermost handler, whatever failure it led to on the way.
    if (archiveDamaged()) {
        if (running_ == 0)
            recoverFromDamage();
        return;
    }
    if (failure)
        unansweredFailure(*failure);
}

void Screens::unansweredFailure(const QString& description) {
    if (ending_)
        return;
    platform_.msg.show(description, MsgButtons::Ok, MsgIcon::Critical);
    endProgramAfterFailure();
}

} // namespace qv
