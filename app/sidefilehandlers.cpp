// Start-up and shut-down of the main window: the side files (the settings file, the
// keyword list and the query history), read and written back.
#include "app/main.h"

#include "widgets/widgets.h"
#include "db/builtindatabase.h"
#include "db/connectionsecurity.h"
#include "db/schematree.h"
#include "db/simplecombo.h"
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

#include <exception>

namespace {

const QString kMainW = QStringLiteral("MainW");
const QString kParams = QStringLiteral("Params");
const QString kMysql = QStringLiteral("Mysql");

const QString kDefaultSite = QStringLiteral("http://localhost/");
const QString kDefaultHost = QStringLiteral("localhost");
constexpr int kDefaultConnectTimeout = 10; // seconds

QString defaultHelpFolder()
{
    return QDir::homePath() + QStringLiteral("/docphp/");
}

// A new user previews through Ondrel's own server; one whose settings name a
// web server of their own (a "Site" other than the default) keeps it.
bool userSetSite(const ProfileFile &ini)
{
    return ini.contains(kParams, QStringLiteral("Site"))
        && ini.readString(kParams, QStringLiteral("Site")) != kDefaultSite;
}

/** "Port de débogage", on the editor page's debugging bar. */
QSpinBox *debugPortBox(const TfmMain &w)
{
    auto *box = w.findChild<QSpinBox *>(QStringLiteral("sePortDebogage"));
    Q_ASSERT(box);
    return box;
}

/** How the settings file holds a value. */
enum class Kind
{
    Text,    // as typed
    Integer, // decimal, read by the settings file's integer rules
    Bool,    // "1" or "0"
    Colour,  // 0x00BBGGRR as a signed decimal, as Windows stores it
};

/**
 * One key of the settings file: where it lives, what a file without it gives,
 * how the window's value is taken for storing and how a read value is applied.
 * `apply` is empty for the window's place, which start-up applies as a whole.
 */
struct SettingKey
{
    const QString &section;
    const char *name;
    Kind kind;
    QVariant (*fallback)(const ProfileFile &ini);
    QVariant (*value)(const TfmMain &w);
    void (*apply)(TfmMain &w, const QVariant &value);
};

/**
 * Every key of the settings file, once, in the order it is written and, but for
 * the window's place, applied at start-up. A new setting is one more row.
 */
const SettingKey kSettings[] = {
    {kMainW, "x", Kind::Integer, [](const ProfileFile &) -> QVariant { return defaultWindowBounds().left(); },
     [](const TfmMain &w) -> QVariant { return windowBoundsToSave(w).left; }, nullptr},
    {kMainW, "y", Kind::Integer, [](const ProfileFile &) -> QVariant { return defaultWindowBounds().top(); },
     [](const TfmMain &w) -> QVariant { return windowBoundsToSave(w).top; }, nullptr},
    {kMainW, "w", Kind::Integer, [](const ProfileFile &) -> QVariant { return defaultWindowBounds().width(); },
     [](const TfmMain &w) -> QVariant { return windowBoundsToSave(w).width; }, nullptr},
    {kMainW, "h", Kind::Integer, [](const ProfileFile &) -> QVariant { return defaultWindowBounds().height(); },
     [](const TfmMain &w) -> QVariant { return windowBoundsToSave(w).height; }, nullptr},
    {kMainW, "Maxi", Kind::Bool, [](const ProfileFile &) -> QVariant { return false; },
     [](const TfmMain &w) -> QVariant { return windowBoundsToSave(w).maximised; }, nullptr},

    {kParams, "Fichier", Kind::Text, [](const ProfileFile &) -> QVariant { return QString(); },
     [](const TfmMain &w) -> QVariant { return w.eFile->text(); },
     [](TfmMain &w, const QVariant &v) { w.eFile->setText(v.toString()); }},
    {kParams, "Site", Kind::Text, [](const ProfileFile &) -> QVariant { return kDefaultSite; },
     [](const TfmMain &w) -> QVariant { return w.eSite->text(); },
     [](TfmMain &w, const QVariant &v) { w.eSite->setText(v.toString()); }},
    {kParams, "Param", Kind::Text, [](const ProfileFile &) -> QVariant { return QStringLiteral("test=1"); },
     [](const TfmMain &w) -> QVariant { return w.eParam->text(); },
     [](TfmMain &w, const QVariant &v) { w.eParam->setText(v.toString()); }},
    // A new user starts among their own files; an empty folder leaves the list where it is.
    // Entering it throws when it cannot be entered: the values after it are then not loaded.
    {kParams, "InitialDir", Kind::Text, [](const ProfileFile &) -> QVariant { return QDir::homePath(); },
     [](const TfmMain &w) -> QVariant { return w.dlb->currentFolder(); },
     [](TfmMain &w, const QVariant &v) {
         if (!v.toString().isEmpty())
             w.dlb->setCurrentFolder(v.toString());
     }},
    {kParams, "CouleurFond", Kind::Colour, [](const ProfileFile &) -> QVariant { return 0xFFFFFFu; }, // white
     [](const TfmMain &w) -> QVariant { return w.M->backgroundColour(); },
     [](TfmMain &w, const QVariant &v) { w.M->setBackgroundColour(v.toUInt()); }},
    {kParams, "CouleurPolice", Kind::Colour, [](const ProfileFile &) -> QVariant { return 0x000000u; }, // black
     [](const TfmMain &w) -> QVariant { return w.M->textColour(); },
     [](TfmMain &w, const QVariant &v) {
         w.M->setTextColour(v.toUInt());
         w.CoulPolice = w.M->textColour();
     }},
    {kParams, "CouleurChaînes", Kind::Colour, [](const ProfileFile &) -> QVariant { return 0xFF0000u; }, // blue
     [](const TfmMain &w) -> QVariant { return w.CoulChaines; },
     [](TfmMain &w, const QVariant &v) { w.CoulChaines = v.toUInt(); }},
    {kParams, "CouleurFonctions", Kind::Colour, [](const ProfileFile &) -> QVariant { return 0x0000FFu; }, // red
     [](const TfmMain &w) -> QVariant { return w.CoulFonctions; },
     [](TfmMain &w, const QVariant &v) { w.CoulFonctions = v.toUInt(); }},
    {kParams, "Aide", Kind::Text, [](const ProfileFile &) -> QVariant { return defaultHelpFolder(); },
     [](const TfmMain &w) -> QVariant { return w.eAide->text(); },
     [](TfmMain &w, const QVariant &v) { w.eAide->setText(v.toString().isEmpty() ? defaultHelpFolder() : v.toString()); }},
    {kParams, "ServeurIntegre", Kind::Bool, [](const ProfileFile &ini) -> QVariant { return !userSetSite(ini); },
     [](const TfmMain &w) -> QVariant { return w.cbServeurIntegre->isChecked(); },
     [](TfmMain &w, const QVariant &v) { w.cbServeurIntegre->setChecked(v.toBool()); }},
    {kParams, "Racine", Kind::Text, [](const ProfileFile &) -> QVariant { return QString(); },
     [](const TfmMain &w) -> QVariant { return w.eRacine->text(); },
     [](TfmMain &w, const QVariant &v) { w.eRacine->setText(v.toString()); }},
    {kParams, "ApercuACote", Kind::Bool, [](const ProfileFile &) -> QVariant { return false; },
     [](const TfmMain &w) -> QVariant { return w.cbApercuACote->isChecked(); },
     [](TfmMain &w, const QVariant &v) { w.cbApercuACote->setChecked(v.toBool()); }},
    {kParams, "ApercuLargeur", Kind::Integer, [](const ProfileFile &) -> QVariant { return 0; },
     [](const TfmMain &w) -> QVariant { return w.apercuLargeur(); },
     [](TfmMain &w, const QVariant &v) { w.setApercuLargeur(v.toInt()); }},
    {kParams, "EnregistrementAuto", Kind::Bool, [](const ProfileFile &) -> QVariant { return false; },
     [](const TfmMain &w) -> QVariant { return w.cbEnregistrementAuto->isChecked(); },
     [](TfmMain &w, const QVariant &v) { w.cbEnregistrementAuto->setChecked(v.toBool()); }},
    {kParams, "Tabulation", Kind::Integer, [](const ProfileFile &) -> QVariant { return 4; },
     [](const TfmMain &w) -> QVariant { return w.M->tabWidth(); },
     [](TfmMain &w, const QVariant &v) { w.M->setTabColumns(v.toInt()); }},
    // A new user (no settings file yet) sees PHP coloured; settings written before
    // the box existed keep the colouring their user had.
    {kParams, "ColorationPHP", Kind::Bool, [](const ProfileFile &ini) -> QVariant { return ini.bytes().isEmpty(); },
     [](const TfmMain &w) -> QVariant { return w.cbPhpColouring->isChecked(); },
     [](TfmMain &w, const QVariant &v) { w.cbPhpColouring->setChecked(v.toBool()); }},
    {kParams, "PortDebogage", Kind::Integer, [](const ProfileFile &) -> QVariant { return DbgpListener::kDefaultPort; },
     [](const TfmMain &w) -> QVariant { return debugPortBox(w)->value(); },
     [](TfmMain &w, const QVariant &v) { debugPortBox(w)->setValue(v.toInt()); }},

    {kMysql, "Host", Kind::Text, [](const ProfileFile &) -> QVariant { return kDefaultHost; },
     [](const TfmMain &w) -> QVariant { return w.host->text(); },
     [](TfmMain &w, const QVariant &v) { w.host->setText(v.toString()); }},
    {kMysql, "User", Kind::Text, [](const ProfileFile &) -> QVariant { return QStringLiteral("root"); },
     [](const TfmMain &w) -> QVariant { return w.user->text(); },
     [](TfmMain &w, const QVariant &v) { w.user->setText(v.toString()); }},
    // Nothing while the session's keyring holds it.
    {kMysql, "Pass", Kind::Text, [](const ProfileFile &) -> QVariant { return QString(); },
     [](const TfmMain &w) -> QVariant { return w.consolePassword()->textForSettingsFile(); },
     [](TfmMain &w, const QVariant &v) { w.pass->setText(v.toString()); }},
    // Set once the user, asked whether the password moves to the keyring, said no: it stays here and
    // is not asked again. A file without the key: not asked yet.
    {kMysql, "PassDansFichier", Kind::Bool, [](const ProfileFile &) -> QVariant { return false; },
     [](const TfmMain &w) -> QVariant { return w.consolePassword()->keepsInSettingsFile(); },
     [](TfmMain &w, const QVariant &v) { w.consolePassword()->setKeepsInSettingsFile(v.toBool()); }},
    {kMysql, "Base", Kind::Text, [](const ProfileFile &) -> QVariant { return QStringLiteral("mysql"); },
     [](const TfmMain &w) -> QVariant { return w.base->text(); },
     [](TfmMain &w, const QVariant &v) { w.base->setText(v.toString()); }},
    // Ondrel's own MariaDB, for a new user when it is installed; one whose settings name another
    // host keeps that server.
    {kMysql, "BaseIntegree", Kind::Bool,
     [](const ProfileFile &ini) -> QVariant {
         return !mariadbdExecutable().isEmpty()
             && ini.readString(kMysql, QStringLiteral("Host"), kDefaultHost) == kDefaultHost;
     },
     [](const TfmMain &w) -> QVariant { return w.cbBaseIntegree->isChecked(); },
     [](TfmMain &w, const QVariant &v) { w.cbBaseIntegree->setChecked(v.toBool()); }},
    {kMysql, "ArbreSchema", Kind::Bool, [](const ProfileFile &) -> QVariant { return true; },
     [](const TfmMain &w) -> QVariant { return !w.tvSchema->isFolded(); },
     [](TfmMain &w, const QVariant &v) { w.tvSchema->setFolded(!v.toBool()); }},
    {kMysql, "ArbreSchemaLargeur", Kind::Integer, [](const ProfileFile &) -> QVariant { return 200; },
     [](const TfmMain &w) -> QVariant { return w.tvSchema->shownWidth(); },
     [](TfmMain &w, const QVariant &v) { w.tvSchema->setShownWidth(v.toInt() > 0 ? v.toInt() : 200); }},
    {kMysql, "DelaiConnexion", Kind::Integer, [](const ProfileFile &) -> QVariant { return kDefaultConnectTimeout; },
     [](const TfmMain &w) -> QVariant { return w.DelaiConnexion; },
     [](TfmMain &w, const QVariant &v) { w.DelaiConnexion = v.toInt() > 0 ? v.toInt() : kDefaultConnectTimeout; }},
    // No TLS unless asked for: a settings file without the key connects as it always did.
    {kMysql, "Chiffrement", Kind::Text, [](const ProfileFile &) -> QVariant { return tlsModeSetting(TlsMode::None); },
     [](const TfmMain &w) -> QVariant { return tlsModeSetting(TlsMode(w.cbChiffrement->currentIndex())); },
     [](TfmMain &w, const QVariant &v) { w.cbChiffrement->setCurrentIndex(int(tlsModeFromSetting(v.toString()))); }},
    {kMysql, "FichierCA", Kind::Text, [](const ProfileFile &) -> QVariant { return QString(); },
     [](const TfmMain &w) -> QVariant { return w.eFichierCA->text(); },
     [](TfmMain &w, const QVariant &v) { w.eFichierCA->setText(v.toString()); }},
};

/** The key named `name` in `section`; every caller names a key of the table. */
const SettingKey &settingKey(const QString &section, QStringView name)
{
    for (const SettingKey &key : kSettings)
        if (key.section == section && QLatin1StringView(key.name) == name)
            return key;
    Q_UNREACHABLE();
}

/** The value of `key` in `ini`, or its fallback when the file lacks it or it does not read as its kind. */
QVariant readSetting(const ProfileFile &ini, const SettingKey &key)
{
    const QString name = QString::fromUtf8(key.name);
    const QVariant fallback = key.fallback(ini);
    switch (key.kind) {
    case Kind::Text:
        return ini.readString(key.section, name, fallback.toString());
    case Kind::Integer:
        return ini.readInteger(key.section, name, fallback.toInt());
    case Kind::Bool:
        return ini.readBool(key.section, name, fallback.toBool());
    case Kind::Colour:
        return static_cast<Colour>(ini.readInteger(key.section, name, static_cast<qint32>(fallback.toUInt())));
    }
    return fallback;
}

/** The window's value of `key` as the settings file holds it. */
QString settingText(const TfmMain &w, const SettingKey &key)
{
    const QVariant value = key.value(w);
    switch (key.kind) {
    case Kind::Text:
        return value.toString();
    case Kind::Integer:
        return QString::number(value.toInt());
    case Kind::Bool:
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case Kind::Colour:
        return QString::number(static_cast<qint32>(value.toUInt())); // signed decimal, as Windows stores it
    }
    return value.toString();
}

/** "MainW": the window's bounds and state as shut-down stores them now. */
QList<StoredSetting> placementSettings(const TfmMain &w)
{
    QList<StoredSetting> all;
    for (const SettingKey &key : kSettings)
        if (key.section == kMainW)
            all.append({key.section, QString::fromUtf8(key.name), settingText(w, key)});
    return all;
}

/**
 * Every value of the settings file in the order it is written, with the values
 * the window holds now; the place is the one the window had when it was closed,
 * if it was.
 */
QList<StoredSetting> storedSettings(const TfmMain &w, const SideFileState &state)
{
    QList<StoredSetting> all = state.placementAtClose.isEmpty() ? placementSettings(w) : state.placementAtClose;
    for (const SettingKey &key : kSettings)
        if (key.section != kMainW)
            all.append({key.section, QString::fromUtf8(key.name), settingText(w, key)});
    return all;
}

/** The values start-up applies before it enters the start folder ("InitialDir"). */
QList<StoredSetting> readBeforeStartFolder(const QList<StoredSetting> &all)
{
    QList<StoredSetting> before;
    for (const StoredSetting &s : all) {
        if (s.key == u"InitialDir")
            break;
        before.append(s);
    }
    return before;
}

ProfileFile readSettings(const QString &path)
{
    ProfileFile ini;
    ini.load(path); // a file that cannot be read gives the defaults, like a missing one
    return ini;
}

// Start-up: the geometry, unless the window opens maximised (its normal bounds then stay the design ones).
// The bounds are brought within the screen the window lands on.
void applyWindowPlacement(TfmMain &w, const ProfileFile &ini)
{
    auto read = [&](const char16_t *name) { return readSetting(ini, settingKey(kMainW, name)); };
    if (read(u"Maxi").toBool()) {
        w.setWindowState(w.windowState() | Qt::WindowMaximized);
        return;
    }
    WindowBounds bounds;
    bounds.width = read(u"w").toInt();
    bounds.height = read(u"h").toInt();
    bounds.left = read(u"x").toInt();
    bounds.top = read(u"y").toInt();
    setWindowBounds(w, boundsOnScreen(bounds));
}

// Start-up: a history that cannot be read leaves the list empty, without a message.
void loadHistory(TfmMain &w, SideFileState &state, const QString &path)
{
    w.cb->list()->clear();
    const ReadResult read = readWholeFile(path, kMaxFileBytes);
    state.historyAtStart = read.ok() ? historyFromFile(read.bytes) : QStringList();
    state.historyFileAtStart = read.ok() ? std::optional(read.bytes) : std::nullopt;
    w.cb->list()->addItems(state.historyAtStart);
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
void saveSettings(const TfmMain &w, SideFileState &state, const QString &path)
{
    ProfileFile ini;
    if (!ini.load(path)) // rewriting a file that could not be read would drop its other keys
        throw OndrelError(cannotWriteMessage(path));
    const QByteArray before = ini.bytes();
    w.consolePassword()->keepBeforeClosing(); // a password typed and never left: to the keyring, if it answers
    const QList<StoredSetting> values = storedSettings(w, state);
    state.mergeSettings(ini, values, kMainW);
    const bool exists = QFileInfo::exists(path);
    QString why;
    // The password is in clear: owner only, before any of it is written.
    if (exists && !readSetting(ini, settingKey(kMysql, u"Pass")).toString().isEmpty() && !keepOwnerOnly(path, &why))
        throw OndrelError(cannotWriteMessage(path, why));
    if (!exists || ini.bytes() != before) {
        if (!ini.save(path, 0600, &why))
            throw OndrelError(cannotWriteMessage(path, why));
    }
    state.noteSaved(values);
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
    const QStringList now = w.cb->items();
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

void TfmMain::FormCreate()
{
    if (m_sideFileBase.isEmpty())
        m_sideFileBase = defaultSideFileBase();
    const SideFilePaths files = sideFilePaths(m_sideFileBase);
    const ProfileFile ini = readSettings(files.settings); // read once; nothing stays open
    m_sideFiles.noteSettings(storedSettings(*this, m_sideFiles), false); // nothing loaded yet
    applyWindowPlacement(*this, ini);
    for (const SettingKey &key : kSettings) {
        if (!key.apply)
            continue;
        if (QLatin1StringView(key.name) == u"InitialDir") // may throw: the values after it stay not loaded
            m_sideFiles.noteSettings(readBeforeStartFolder(storedSettings(*this, m_sideFiles)), true);
        key.apply(*this, readSetting(ini, key));
    }
    m_sideFiles.noteSettings(storedSettings(*this, m_sideFiles), true);
    setTargetUrl(); // no "/" inserted here
    loadHistory(*this, m_sideFiles, files.history);
    showPage(TabSheet2);
}

void TfmMain::FormShow()
{
    setWindowTitle(windowTitleText());
    // The keyring may prompt for its unlocking: once the window is there. A start-up that never
    // reached the password (it stopped at the start folder) leaves the keyring alone too.
    if (m_sideFiles.settingsLoaded.contains(kMysql + QStringLiteral("/Pass")))
        m_password->start(sideFilePaths(m_sideFileBase).settings);
    // The unsaved text of a run that did not end cleanly is offered back, whatever happens below.
    struct OfferRecovery
    {
        TfmMain *window;
        ~OfferRecovery() { window->guard([this] { window->offerRecovery(); }); }
    } offer{this};
    // The tabs of the last run, else the file edited last.
    if (!restoreTabs() && isExistingFile(eFile->text()))
        loadEditedFile(eFile->text()); // throws "Impossible d'ouvrir le fichier %s"
    loadKeywordList(*this, m_sideFiles, sideFilePaths(m_sideFileBase).keywords);
    if (!m_phpSignatures) {
        m_phpSignatures = new PhpSignatureSource(this);
        m_phpSignatures->start(phpExecutable(), signatureCachePath());
    }
}

void TfmMain::notePlacementAtClose()
{
    m_sideFiles.placementAtClose = placementSettings(*this);
}

SideFileReport TfmMain::writeSideFiles()
{
    const SideFilePaths files = sideFilePaths(m_sideFileBase);
    SideFileReport report;
    saveOnItsOwn(report, [&] { saveKeywordList(*this, m_sideFiles, files.keywords, report); });
    saveOnItsOwn(report, [&] { saveSettings(*this, m_sideFiles, files.settings); });
    saveOnItsOwn(report, [&] { saveHistory(*this, m_sideFiles, files.history); });
    saveOnItsOwn(report, [&] { writeRecentFiles(); });
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
