// Start-up and shut-down of the main window: the side files (the settings file, the
// keyword list and the query history), read and written back.
#include "app/main.h"
#include "app/debugcontroller.h"
#include "app/sessioncontroller.h"
#include "pages/databasepage.h"

#include "widgets/widgets.h"
#include "debug/dbgplistener.h"
#include "editor/phpsignatures.h"
#include "editor/phpsignaturesource.h"
#include "editor/richedit.h"
#include "files/browser.h"
#include "io/readfile.h"
#include "io/savefile.h"
#include "preview/phpserver.h"
#include "settings/consolepassword.h"
#include "settings/profile.h"
#include "settings/settingsregistry.h"
#include "settings/sidefiles.h"
#include "settings/windowplacement.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTextBlock>

#include <algorithm>
#include <exception>
#include <memory>

namespace {

const QString kMainW = QStringLiteral("MainW");
const QString kParams = QStringLiteral("Params");

QString defaultHelpFolder()
{
    return QDir::homePath() + QStringLiteral("/docphp/");
}

/** "Port de débogage", on the editor page's debugging bar. */
QSpinBox *debugPortBox(const TfmMain &w)
{
    auto *box = w.findChild<QSpinBox *>(QStringLiteral("sePortDebogage"));
    Q_ASSERT(box);
    return box;
}

/** Where the debugger listens: it keeps the accounts the user let debug with Ondrel. */
DbgpListener &debugListener(const TfmMain &w)
{
    auto *controller = w.findChild<DebugController *>(QStringLiteral("debugController"));
    Q_ASSERT(controller);
    return controller->debugger()->listener();
}

/** The accounts allowed to debug, by name, as "ComptesDebogage" holds them ("www-data,nginx"). */
QString allowedDebugAccounts(const DbgpListener &listener)
{
    QStringList names;
    for (int uid : listener.allowedAccounts())
        names << accountName(uid);
    names.sort();
    return names.join(u',');
}

void allowDebugAccounts(DbgpListener &listener, const QString &names)
{
    for (const QString &name : names.split(u',', Qt::SkipEmptyParts))
        if (const int uid = accountId(name.trimmed()); uid >= 0)
            listener.allowAccount(uid);
}

/** A setting whose default does not depend on the rest of the file. */
Setting plainSetting(const QString &section, const QString &key, SettingKind kind, const QVariant &byDefault,
                     std::function<QVariant()> value, std::function<void(const QVariant &)> apply)
{
    return {section, key, kind, constantFallback(byDefault), std::move(value), std::move(apply), {}, false};
}

/** "MainW": the window's bounds and state as shut-down stores them now. */
QList<StoredSetting> placementSettings(const SettingsRegistry &registry)
{
    return SettingsRegistry::stored(registry.inSection(kMainW));
}

/**
 * Every value of the settings file in the order it is written, with the values
 * the window holds now; the place is the one the window had when it was closed,
 * if it was.
 */
QList<StoredSetting> storedSettings(const SettingsRegistry &registry, const SideFileState &state)
{
    QList<StoredSetting> all = state.placementAtClose.isEmpty() ? placementSettings(registry) : state.placementAtClose;
    for (const Setting *s : registry.all())
        if (s->section != kMainW)
            all.append({s->section, s->key, s->text()});
    return all;
}

/** Whether `ini` holds a password in one of the settings that keep one. */
bool holdsPassword(const SettingsRegistry &registry, const ProfileFile &ini)
{
    const QList<const Setting *> all = registry.all();
    return std::any_of(all.begin(), all.end(), [&](const Setting *s) { return s->secret && !s->read(ini).toString().isEmpty(); });
}

/** Whether start-up reached the password (it stops at a start folder that cannot be entered). */
bool passwordLoaded(const SettingsRegistry &registry, const SideFileState &state)
{
    const QList<const Setting *> all = registry.all();
    return std::any_of(all.begin(), all.end(), [&](const Setting *s) { return s->secret && state.settingsLoaded.contains(s->id()); });
}

ProfileFile readSettings(const QString &path)
{
    ProfileFile ini;
    ini.load(path); // a file that cannot be read gives the defaults, like a missing one
    return ini;
}

// Start-up: a history that cannot be read leaves the list empty, without a message.
void loadHistory(TfmMain &w, SideFileState &state, const QString &path)
{
    const ReadResult read = readWholeFile(path, kMaxFileBytes);
    state.historyAtStart = read.ok() ? historyFromFile(read.bytes) : QStringList();
    state.historyFileAtStart = read.ok() ? std::optional(read.bytes) : std::nullopt;
    w.databasePage->setHistory(state.historyAtStart);
    // A file that exists but could not be read is not known: shut-down only adds to it.
    state.historyLoaded = read.ok() || read.error == ReadError::Missing;
}

// Shown: a missing keyword list leaves the memo empty.
void loadKeywordList(TfmMain &w, SideFileState &state, const QString &path)
{
    state.keywordsDigest.clear(); // no file
    if (isExistingFile(path)) {
        const ReadResult read = readWholeFile(path, kMaxFileBytes);
        if (!read.ok())
            throw OndrelError(cannotOpenMessage(path));
        w.mAide->setPlainText(keywordTextFromFile(read.bytes));
        state.keywordsDigest = sideFileDigest(read.bytes);
    }
    state.keywordsLoaded = true;
    state.keywordsEdited = false;
}

/** The memo's lines as the user sees them (no character replaced, unlike toPlainText). */
QStringList memoLines(const QPlainTextEdit *memo)
{
    QStringList lines;
    for (QTextBlock block = memo->document()->begin(); block.isValid(); block = block.next())
        lines.append(block.text());
    return lines;
}

void writeSideFile(const QString &path, const QByteArray &bytes, mode_t newFileMode = 0666)
{
    QString why;
    if (!replaceFileAtomically(path, bytes, newFileMode, &why))
        throw OndrelError(cannotCreateMessage(path, why));
}

/** Runs one side file's save; its failure joins the report instead of stopping shut-down. */
template <typename Save>
void saveOnItsOwn(SideFileReport &report, Save &&save)
{
    try {
        save();
    } catch (const OndrelError &error) {
        report.failures << error.message();
    } catch (const std::exception &error) {
        report.failures << QString::fromLocal8Bit(error.what());
    }
}

/** After a keyword list that could not be loaded: whether the user lets the typed text replace the file. */
bool agreesToReplaceKeywords(TfmMain &w, const QString &path)
{
    QMessageBox box(QMessageBox::Question, applicationTitle(),
                    QStringLiteral("La liste des mots clé n'a pas pu être lue au démarrage. "
                                   "Remplacer le fichier %1 par le texte tapé dans la liste ?").arg(path),
                    QMessageBox::NoButton, &w);
    box.setObjectName(QStringLiteral("replaceKeywordsBox"));
    box.setTextFormat(Qt::PlainText);
    QPushButton *replace = box.addButton(QStringLiteral("Remplacer"), QMessageBox::AcceptRole);
    box.setDefaultButton(box.addButton(QStringLiteral("Conserver le fichier"), QMessageBox::RejectRole));
    box.exec();
    return box.clickedButton() == replace;
}

// Shut-down: the keyword list is written only when the run changed it (or there is no file yet).
// A file that also changed on disk since it was loaded is kept beside it as ".bak".
void saveKeywordList(TfmMain &w, SideFileState &state, const QString &path, SideFileReport &report)
{
    if (!state.keywordsEdited && QFileInfo::exists(path))
        return; // not even read: an unchanged list costs nothing, however long
    const ReadResult disk = readWholeFile(path, kMaxFileBytes);
    const bool exists = disk.error != ReadError::Missing;
    // Closing on a stop signal, nobody may be there to answer: the file is kept.
    if (!state.keywordsLoaded && exists && (w.closingOnSignal() || !agreesToReplaceKeywords(w, path)))
        return;
    const QByteArray bytes = keywordFileFromLines(memoLines(w.mAide));
    QString backup;
    if (!disk.ok() || disk.bytes != bytes) {
        const bool changedOnDisk = !state.keywordsLoaded || sideFileDigest(disk.bytes) != state.keywordsDigest;
        if (exists && changedOnDisk) {
            if (disk.ok()) {
                backup = path + QStringLiteral(".bak");
                writeSideFile(backup, disk.bytes);
            } else if (disk.error != ReadError::NotRegular) { // a folder in the way fails below
                throw OndrelError(cannotOpenMessage(path)); // never replace what could not be kept
            }
        }
        writeSideFile(path, bytes);
    }
    state.keywordsLoaded = true;
    state.keywordsDigest = sideFileDigest(bytes);
    state.keywordsEdited = false;
    if (!backup.isEmpty())
        report.notices << QStringLiteral("La liste des mots clé avait aussi changé sur le disque depuis son "
                                         "chargement : cette version est gardée dans %1.").arg(backup);
}

// Shut-down: the settings file as it is now on disk, with the values this run changed.
void saveSettings(const TfmMain &w, const SettingsRegistry &registry, SideFileState &state, const QString &path)
{
    ProfileFile ini;
    if (!ini.load(path)) // rewriting a file that could not be read would drop its other keys
        throw OndrelError(cannotWriteMessage(path));
    const QByteArray before = ini.bytes();
    w.databasePage->consolePassword()->keepBeforeClosing(); // a password typed and never left: to the keyring, if it answers
    const QList<StoredSetting> values = storedSettings(registry, state);
    state.mergeSettings(ini, values, kMainW);
    const bool exists = QFileInfo::exists(path);
    QString why;
    // The password is in clear: owner only, before any of it is written.
    if (exists && holdsPassword(registry, ini) && !keepOwnerOnly(path, &why))
        throw OndrelError(cannotWriteMessage(path, why));
    if (!exists || ini.bytes() != before) {
        if (!ini.save(path, 0600, &why))
            throw OndrelError(cannotWriteMessage(path, why));
    }
    state.noteSaved(values);
}

/**
 * A password the session's keyring holds now leaves the settings file at once:
 * each secret setting that still holds it is emptied. Only that password: one
 * another copy of the program wrote meanwhile stays. Returns what the status
 * line says; empty when the file no longer holds it.
 */
QString takeSecretOut(const SettingsRegistry &registry, const QString &path, const QString &moved)
{
    ProfileFile ini;
    if (!ini.load(path))
        return {};
    bool held = false;
    for (const Setting *setting : registry.all()) {
        if (setting->secret && setting->read(ini).toString() == moved) {
            ini.writeString(setting->section, setting->key, QString());
            held = true;
        }
    }
    if (!held)
        return {};
    const QString file = QFileInfo(path).fileName();
    QString why;
    if (!ini.save(path, 0600, &why))
        return QStringLiteral("Le mot de passe MySQL est dans le trousseau de la session, mais %1 n'a pas pu "
                              "être réécrit sans lui (%2) : il y est encore.").arg(file, why);
    return QStringLiteral("Mot de passe passé de %1 au trousseau.").arg(file);
}

/**
 * The items of the history file read at shut-down. A file that is still the one
 * start-up read, or that only gained lines at its end (another copy closed
 * first), is not parsed again but for those lines.
 */
QStringList historyOnDisk(const QByteArray &bytes, const SideFileState &state)
{
    const std::optional<QByteArray> &before = state.historyFileAtStart;
    const bool known = state.historyLoaded && before
        && (before->isEmpty() || before->endsWith('\n') || before->endsWith('\r'));
    if (!known || !bytes.startsWith(*before))
        return historyFromFile(bytes);
    // A lone CR at the end of the old bytes may be the first half of a CR LF.
    if (before->endsWith('\r') && bytes.size() > before->size() && bytes[before->size()] == '\n')
        return historyFromFile(bytes);
    return state.historyAtStart + historyFromFile(bytes.mid(before->size()));
}

// Shut-down: the history file as it is now on disk, less what this run removed, with what it added.
void saveHistory(const TfmMain &w, SideFileState &state, const QString &path)
{
    const ReadResult disk = readWholeFile(path, kMaxFileBytes);
    // Never replace a history that could not be read (a folder in the way fails when written).
    if (!disk.ok() && disk.error != ReadError::Missing && disk.error != ReadError::NotRegular)
        throw OndrelError(cannotCreateMessage(path));
    const QStringList now = w.databasePage->history();
    const QStringList loaded = state.historyLoaded ? state.historyAtStart : QStringList();
    const QStringList onDisk = historyOnDisk(disk.bytes, state);
    const QStringList merged = mergedHistory(onDisk, loaded, now);
    const QByteArray bytes = historyFileFromItems(merged);
    if (!disk.ok() || bytes != disk.bytes)
        writeSideFile(path, bytes, kHistoryFileMode);
    // What a later save counts its changes from.
    state.historyAtStart = now;
    state.historyFileAtStart = merged == now ? std::optional(bytes) : std::nullopt;
    state.historyLoaded = true;
}

} // namespace

void TfmMain::declareSettings()
{
    SettingsRegistry &r = m_settings;
    // The window's place is applied as a whole once its last key ("Maxi") is read: the bounds,
    // brought within the screen the window lands on, unless the window opens maximised (its
    // normal bounds then stay the design ones).
    auto pending = std::make_shared<WindowBounds>();
    auto bound = [&](const QString &key, int WindowBounds::*field, int byDefault) {
        r.declare(SettingsBlock::WindowPlacement,
                  plainSetting(kMainW, key, SettingKind::Integer, byDefault,
                               [this, field] { return windowBoundsToSave(*this).*field; },
                               [pending, field](const QVariant &v) { (*pending).*field = v.toInt(); }));
    };
    const QRect design = defaultWindowBounds();
    bound(QStringLiteral("x"), &WindowBounds::left, design.left());
    bound(QStringLiteral("y"), &WindowBounds::top, design.top());
    bound(QStringLiteral("w"), &WindowBounds::width, design.width());
    bound(QStringLiteral("h"), &WindowBounds::height, design.height());
    r.declare(SettingsBlock::WindowPlacement,
              plainSetting(kMainW, QStringLiteral("Maxi"), SettingKind::Bool, false,
                           [this] { return windowBoundsToSave(*this).maximised; },
                           [this, pending](const QVariant &v) {
                               if (v.toBool())
                                   setWindowState(windowState() | Qt::WindowMaximized);
                               else
                                   setWindowBounds(*this, boundsOnScreen(*pending));
                           }));

    r.declare(SettingsBlock::FilesPage,
              plainSetting(kParams, QStringLiteral("Fichier"), SettingKind::Text, QString(),
                           [this] { return eFile->text(); }, [this](const QVariant &v) { eFile->setText(v.toString()); }));
    const Setting &site = r.declare(
        SettingsBlock::FilesPage,
        plainSetting(kParams, QStringLiteral("Site"), SettingKind::Text, QStringLiteral("http://localhost/"),
                     [this] { return eSite->text(); }, [this](const QVariant &v) { eSite->setText(v.toString()); }));
    r.declare(SettingsBlock::FilesPage,
              plainSetting(kParams, QStringLiteral("Param"), SettingKind::Text, QStringLiteral("test=1"),
                           [this] { return eParam->text(); }, [this](const QVariant &v) { eParam->setText(v.toString()); }));
    // A new user starts among their own files; an empty folder leaves the list where it is.
    // Entering it throws when it cannot be entered: the values after it are then not loaded.
    r.declare(SettingsBlock::FilesPage,
              plainSetting(kParams, QStringLiteral("InitialDir"), SettingKind::Text, QDir::homePath(),
                           [this] { return dlb->currentFolder(); },
                           [this](const QVariant &v) {
                               if (!v.toString().isEmpty())
                                   dlb->setCurrentFolder(v.toString());
                           }));

    r.declare(SettingsBlock::EditorColours,
              plainSetting(kParams, QStringLiteral("CouleurFond"), SettingKind::Colour, 0xFFFFFFu, // white
                           [this] { return M->backgroundColour(); },
                           [this](const QVariant &v) { M->setBackgroundColour(v.toUInt()); }));
    r.declare(SettingsBlock::EditorColours,
              plainSetting(kParams, QStringLiteral("CouleurPolice"), SettingKind::Colour, 0x000000u, // black
                           [this] { return M->textColour(); },
                           [this](const QVariant &v) {
                               M->setTextColour(v.toUInt());
                               CoulPolice = M->textColour();
                           }));
    r.declare(SettingsBlock::EditorColours,
              plainSetting(kParams, QStringLiteral("CouleurChaînes"), SettingKind::Colour, 0xFF0000u, // blue
                           [this] { return CoulChaines; }, [this](const QVariant &v) { CoulChaines = v.toUInt(); }));
    r.declare(SettingsBlock::EditorColours,
              plainSetting(kParams, QStringLiteral("CouleurFonctions"), SettingKind::Colour, 0x0000FFu, // red
                           [this] { return CoulFonctions; }, [this](const QVariant &v) { CoulFonctions = v.toUInt(); }));

    Setting help = plainSetting(kParams, QStringLiteral("Aide"), SettingKind::Text, defaultHelpFolder(),
                                [this] { return eAide->text(); }, [this](const QVariant &v) { eAide->setText(v.toString()); });
    help.accepts = [](const QVariant &v) { return !v.toString().isEmpty(); };
    r.declare(SettingsBlock::Keywords, std::move(help));

    // A new user previews through Ondrel's own server; one whose settings name a
    // web server of their own (a "Site" other than the default) keeps it.
    r.declare(SettingsBlock::BuiltInServer,
              {kParams, QStringLiteral("ServeurIntegre"), SettingKind::Bool,
               [&site](const ProfileFile &ini) -> QVariant {
                   return !(ini.contains(site.section, site.key) && site.read(ini) != site.fallback(ini));
               },
               [this] { return cbServeurIntegre->isChecked(); },
               [this](const QVariant &v) { cbServeurIntegre->setChecked(v.toBool()); }, {}, false});
    r.declare(SettingsBlock::BuiltInServer,
              plainSetting(kParams, QStringLiteral("Racine"), SettingKind::Text, QString(),
                           [this] { return eRacine->text(); }, [this](const QVariant &v) { eRacine->setText(v.toString()); }));

    r.declare(SettingsBlock::EditorOptions,
              plainSetting(kParams, QStringLiteral("ApercuACote"), SettingKind::Bool, false,
                           [this] { return cbApercuACote->isChecked(); },
                           [this](const QVariant &v) { cbApercuACote->setChecked(v.toBool()); }));
    r.declare(SettingsBlock::EditorOptions,
              plainSetting(kParams, QStringLiteral("ApercuLargeur"), SettingKind::Integer, 0,
                           [this] { return apercuLargeur(); }, [this](const QVariant &v) { setApercuLargeur(v.toInt()); }));
    r.declare(SettingsBlock::EditorOptions,
              plainSetting(kParams, QStringLiteral("EnregistrementAuto"), SettingKind::Bool, false,
                           [this] { return cbEnregistrementAuto->isChecked(); },
                           [this](const QVariant &v) { cbEnregistrementAuto->setChecked(v.toBool()); }));
    r.declare(SettingsBlock::EditorOptions,
              plainSetting(kParams, QStringLiteral("Tabulation"), SettingKind::Integer, 4,
                           [this] { return M->tabWidth(); }, [this](const QVariant &v) { M->setTabColumns(v.toInt()); }));
    // A new user (no settings file yet) sees PHP coloured; settings written before
    // the box existed keep the colouring their user had.
    r.declare(SettingsBlock::EditorOptions,
              {kParams, QStringLiteral("ColorationPHP"), SettingKind::Bool,
               [](const ProfileFile &ini) -> QVariant { return ini.bytes().isEmpty(); },
               [this] { return cbPhpColouring->isChecked(); },
               [this](const QVariant &v) { cbPhpColouring->setChecked(v.toBool()); }, {}, false});
    r.declare(SettingsBlock::Debugger,
              plainSetting(kParams, QStringLiteral("PortDebogage"), SettingKind::Integer, DbgpListener::kDefaultPort,
                           [this] { return debugPortBox(*this)->value(); },
                           [this](const QVariant &v) { debugPortBox(*this)->setValue(v.toInt()); }));
    // The accounts of the user's own web server that may debug with Ondrel, as the user allowed them.
    r.declare(SettingsBlock::Debugger,
              plainSetting(kParams, QStringLiteral("ComptesDebogage"), SettingKind::Text, QString(),
                           [this] { return allowedDebugAccounts(debugListener(*this)); },
                           [this](const QVariant &v) { allowDebugAccounts(debugListener(*this), v.toString()); }));

    databasePage->declareSettings(r);
}

void TfmMain::FormCreate()
{
    if (m_sideFileBase.isEmpty())
        m_sideFileBase = defaultSideFileBase();
    m_session->setSideFileBase(m_sideFileBase);
    const SideFilePaths files = sideFilePaths(m_sideFileBase);
    const ProfileFile ini = readSettings(files.settings); // read once; nothing stays open
    m_sideFiles.noteSettings(storedSettings(m_settings, m_sideFiles), false); // nothing loaded yet
    const QList<const Setting *> all = m_settings.all();
    for (qsizetype i = 0; i < all.size(); ++i) {
        if (!all[i]->apply)
            continue;
        try {
            all[i]->apply(all[i]->read(ini));
        } catch (...) {
            // A value that cannot be applied (a start folder that is gone) stops start-up there:
            // those before it are loaded, those after it keep their design values.
            m_sideFiles.noteSettings(SettingsRegistry::stored(all.first(i)), true);
            throw;
        }
    }
    m_sideFiles.noteSettings(storedSettings(m_settings, m_sideFiles), true);
    setTargetUrl(); // no "/" inserted here
    loadHistory(*this, m_sideFiles, files.history);
    showPage(TabSheet2);
}

void TfmMain::FormShow()
{
    setWindowTitle(windowTitleText());
    // The keyring may prompt for its unlocking: once the window is there. A start-up that never
    // reached the password (it stopped at the start folder) leaves the keyring alone too.
    if (passwordLoaded(m_settings, m_sideFiles)) {
        const QString settingsPath = sideFilePaths(m_sideFileBase).settings;
        connect(databasePage->consolePassword(), &ConsolePassword::movedToKeyring, this, [this, settingsPath](const QString &moved) {
            const QString said = takeSecretOut(m_settings, settingsPath, moved);
            if (!said.isEmpty())
                databasePage->showStatus(said);
        });
        databasePage->consolePassword()->start(settingsPath);
    }
    // The unsaved text of a run that did not end cleanly is offered back, whatever happens below.
    struct OfferRecovery
    {
        TfmMain *window;
        ~OfferRecovery() { window->guard([this] { window->session()->offerRecovery(); }); }
    } offer{this};
    // The tabs of the last run, else the file edited last.
    if (!m_session->restoreTabs() && isExistingFile(eFile->text()))
        m_session->loadEditedFile(eFile->text()); // throws "Impossible d'ouvrir le fichier %s"
    loadKeywordList(*this, m_sideFiles, sideFilePaths(m_sideFileBase).keywords);
    if (!m_phpSignatures) {
        m_phpSignatures = new PhpSignatureSource(this);
        m_phpSignatures->start(phpExecutable(), signatureCachePath());
    }
}

void TfmMain::notePlacementAtClose()
{
    m_sideFiles.placementAtClose = placementSettings(m_settings);
}

SideFileReport TfmMain::writeSideFiles()
{
    const SideFilePaths files = sideFilePaths(m_sideFileBase);
    SideFileReport report;
    saveOnItsOwn(report, [&] { saveKeywordList(*this, m_sideFiles, files.keywords, report); });
    saveOnItsOwn(report, [&] { saveSettings(*this, m_settings, m_sideFiles, files.settings); });
    saveOnItsOwn(report, [&] { saveHistory(*this, m_sideFiles, files.history); });
    saveOnItsOwn(report, [&] { m_session->writeRecentFiles(); });
    return report;
}

void TfmMain::FormDestroy()
{
    const SideFileReport report = writeSideFiles();
    if (!report.failures.isEmpty()) {
        QStringList all;
        for (const QString &message : report.failures + report.notices)
            all << withFullStop(message);
        throw OndrelError(all.join(QStringLiteral("\n\n")));
    }
    if (report.notices.isEmpty())
        return;
    for (const QString &notice : report.notices)
        printMessage(notice);
    if (!closingOnSignal()) // nobody may be there to answer a box
        showPlainBox(this, report.notices.join(QStringLiteral("\n\n")));
}
