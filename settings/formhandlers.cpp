// Start-up and shut-down of the main window: the settings file and the side files.
#include "app/main.h"

#include "widgets/widgets.h"
#include "db/simplecombo.h"
#include "editor/phpsignatures.h"
#include "editor/phpsignaturesource.h"
#include "editor/richedit.h"
#include "files/browser.h"
#include "io/readfile.h"
#include "io/savefile.h"
#include "preview/phpserver.h"
#include "files/urlrules.h"
#include "settings/profile.h"
#include "settings/sidefiles.h"
#include "settings/windowplacement.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>

#include <exception>

namespace {

const QString kMainW = QStringLiteral("MainW");
const QString kParams = QStringLiteral("Params");
const QString kMysql = QStringLiteral("Mysql");

const QString kDefaultSite = QStringLiteral("http://localhost/");
const QString kDefaultParam = QStringLiteral("test=1");
const QString kDefaultHost = QStringLiteral("localhost");
const QString kDefaultUser = QStringLiteral("root");
const QString kDefaultBase = QStringLiteral("mysql");
constexpr int kDefaultConnectTimeout = 10; // seconds
constexpr Colour kDefaultBackground = 0xFFFFFF; // white
constexpr Colour kDefaultText = 0x000000;       // black
constexpr Colour kDefaultStrings = 0xFF0000;    // blue (0x00BBGGRR)
constexpr Colour kDefaultFunctions = 0x0000FF;  // red
constexpr int kDefaultTabColumns = 4;

QString defaultHelpFolder()
{
    return QDir::homePath() + QStringLiteral("/docphp/");
}

QString colourText(Colour colour)
{
    return QString::number(static_cast<qint32>(colour)); // signed decimal, as Windows stores it
}

Colour readColour(const ProfileFile &ini, const QString &key, Colour fallback)
{
    return static_cast<Colour>(ini.readInteger(kParams, key, static_cast<qint32>(fallback)));
}

QString boolText(bool value)
{
    return value ? QStringLiteral("1") : QStringLiteral("0");
}

/** "MainW": the window's bounds and state as shut-down stores them now. */
QList<StoredSetting> placementSettings(const TfmMain &w)
{
    const WindowBounds bounds = windowBoundsToSave(w);
    return {
        {kMainW, QStringLiteral("x"), QString::number(bounds.left)},
        {kMainW, QStringLiteral("y"), QString::number(bounds.top)},
        {kMainW, QStringLiteral("w"), QString::number(bounds.width)},
        {kMainW, QStringLiteral("h"), QString::number(bounds.height)},
        {kMainW, QStringLiteral("Maxi"), boolText(bounds.maximised)},
    };
}

/**
 * Every value of the settings file in the order it is written, with the values
 * the window holds now; the place is the one the window had when it was closed,
 * if it was. A new stored value joins shut-down's merge by being listed here.
 */
QList<StoredSetting> storedSettings(const TfmMain &w, const SideFileState &state)
{
    QList<StoredSetting> all = state.placementAtClose.isEmpty() ? placementSettings(w) : state.placementAtClose;
    all += {
        {kParams, QStringLiteral("Fichier"), w.eFile->text()},
        {kParams, QStringLiteral("Site"), w.eSite->text()},
        {kParams, QStringLiteral("Param"), w.eParam->text()},
        {kParams, QStringLiteral("InitialDir"), w.dlb->currentFolder()},
        {kParams, QStringLiteral("CouleurFond"), colourText(w.M->backgroundColour())},
        {kParams, QStringLiteral("CouleurPolice"), colourText(w.M->textColour())},
        {kParams, QStringLiteral("CouleurChaînes"), colourText(w.CoulChaines)},
        {kParams, QStringLiteral("CouleurFonctions"), colourText(w.CoulFonctions)},
        {kParams, QStringLiteral("Aide"), w.eAide->text()},
        {kParams, QStringLiteral("ServeurIntegre"), w.cbServeurIntegre->isChecked() ? QStringLiteral("1") : QStringLiteral("0")},
        {kParams, QStringLiteral("Racine"), w.eRacine->text()},
        {kParams, QStringLiteral("ApercuACote"), w.cbApercuACote->isChecked() ? QStringLiteral("1") : QStringLiteral("0")},
        {kParams, QStringLiteral("ApercuLargeur"), QString::number(w.apercuLargeur())},
        {kParams, QStringLiteral("EnregistrementAuto"), w.cbEnregistrementAuto->isChecked() ? QStringLiteral("1") : QStringLiteral("0")},
        {kParams, QStringLiteral("Tabulation"), QString::number(w.M->tabWidth())},
        {kParams, QStringLiteral("ColorationPHP"), boolText(w.cbPhpColouring->isChecked())},
        {kMysql, QStringLiteral("Host"), w.host->text()},
        {kMysql, QStringLiteral("User"), w.user->text()},
        {kMysql, QStringLiteral("Pass"), w.pass->text()},
        {kMysql, QStringLiteral("Base"), w.base->text()},
        {kMysql, QStringLiteral("DelaiConnexion"), QString::number(w.DelaiConnexion)},
    };
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
    if (ini.readBool(kMainW, QStringLiteral("Maxi"), false)) {
        w.setWindowState(w.windowState() | Qt::WindowMaximized);
        return;
    }
    const QRect centred = defaultWindowBounds();
    WindowBounds bounds;
    bounds.width = ini.readInteger(kMainW, QStringLiteral("w"), centred.width());
    bounds.height = ini.readInteger(kMainW, QStringLiteral("h"), centred.height());
    bounds.left = ini.readInteger(kMainW, QStringLiteral("x"), centred.left());
    bounds.top = ini.readInteger(kMainW, QStringLiteral("y"), centred.top());
    setWindowBounds(w, boundsOnScreen(bounds));
}

// A new user previews through Ondrel's own server; one whose settings name a
// web server of their own (a "Site" other than the default) keeps it.
bool userSetSite(const ProfileFile &ini)
{
    return ini.contains(kParams, QStringLiteral("Site"))
        && ini.readString(kParams, QStringLiteral("Site")) != kDefaultSite;
}

// Start-up: the file page, applied as read.
void applyFilePage(TfmMain &w, const ProfileFile &ini)
{
    w.eFile->setText(ini.readString(kParams, QStringLiteral("Fichier")));
    w.eSite->setText(ini.readString(kParams, QStringLiteral("Site"), kDefaultSite));
    w.eParam->setText(ini.readString(kParams, QStringLiteral("Param"), kDefaultParam));
}

// Start-up: the folder list's start folder; an empty one leaves it where it is.
void applyStartFolder(TfmMain &w, const ProfileFile &ini)
{
    // A new user starts among their own files; a stored folder is used as it is.
    const QString startFolder = ini.readString(kParams, QStringLiteral("InitialDir"), QDir::homePath());
    if (!startFolder.isEmpty())
        w.dlb->setCurrentFolder(startFolder); // throws when it cannot be entered
}

// Start-up: the colours and the help folder, each applied as it is read.
void applyEditorSettings(TfmMain &w, const ProfileFile &ini)
{
    w.M->setBackgroundColour(readColour(ini, QStringLiteral("CouleurFond"), kDefaultBackground));
    w.M->setTextColour(readColour(ini, QStringLiteral("CouleurPolice"), kDefaultText));
    w.CoulPolice = w.M->textColour();
    w.CoulChaines = readColour(ini, QStringLiteral("CouleurChaînes"), kDefaultStrings);
    w.CoulFonctions = readColour(ini, QStringLiteral("CouleurFonctions"), kDefaultFunctions);
    w.eAide->setText(ini.readString(kParams, QStringLiteral("Aide"), defaultHelpFolder()));
    w.M->setTabColumns(ini.readInteger(kParams, QStringLiteral("Tabulation"), kDefaultTabColumns));
    if (w.eAide->text().isEmpty())
        w.eAide->setText(defaultHelpFolder());
    w.cbServeurIntegre->setChecked(ini.readBool(kParams, QStringLiteral("ServeurIntegre"), !userSetSite(ini)));
    w.eRacine->setText(ini.readString(kParams, QStringLiteral("Racine")));
    w.cbApercuACote->setChecked(ini.readBool(kParams, QStringLiteral("ApercuACote"), false));
    w.setApercuLargeur(ini.readInteger(kParams, QStringLiteral("ApercuLargeur"), 0));
    w.cbEnregistrementAuto->setChecked(ini.readBool(kParams, QStringLiteral("EnregistrementAuto"), false));
    // A new user (no settings file yet) sees PHP coloured; settings written before
    // the box existed keep the colouring their user had.
    w.cbPhpColouring->setChecked(ini.readBool(kParams, QStringLiteral("ColorationPHP"), ini.bytes().isEmpty()));
}

// Start-up: the connection fields.
void applyConnection(TfmMain &w, const ProfileFile &ini)
{
    w.host->setText(ini.readString(kMysql, QStringLiteral("Host"), kDefaultHost));
    w.user->setText(ini.readString(kMysql, QStringLiteral("User"), kDefaultUser));
    w.pass->setText(ini.readString(kMysql, QStringLiteral("Pass")));
    w.base->setText(ini.readString(kMysql, QStringLiteral("Base"), kDefaultBase));
    const int timeout = ini.readInteger(kMysql, QStringLiteral("DelaiConnexion"), kDefaultConnectTimeout);
    w.DelaiConnexion = timeout > 0 ? timeout : kDefaultConnectTimeout;
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
    const QList<StoredSetting> values = storedSettings(w, state);
    state.mergeSettings(ini, values, kMainW);
    const bool exists = QFileInfo::exists(path);
    QString why;
    // The password is in clear: owner only, before any of it is written.
    if (exists && !ini.readString(kMysql, QStringLiteral("Pass")).isEmpty() && !keepOwnerOnly(path, &why))
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
    applyFilePage(*this, ini);
    m_sideFiles.noteSettings(readBeforeStartFolder(storedSettings(*this, m_sideFiles)), true);
    applyStartFolder(*this, ini); // throws when it cannot be entered: the values after it stay not loaded
    applyEditorSettings(*this, ini);
    applyConnection(*this, ini);
    m_sideFiles.noteSettings(storedSettings(*this, m_sideFiles), true);
    setTargetUrl(); // no "/" inserted here
    loadHistory(*this, m_sideFiles, files.history);
    showPage(TabSheet2);
    EstConnecte = false;
}

void TfmMain::FormShow()
{
    setWindowTitle(windowTitleText());
    // The unsaved text of a run that did not end cleanly is offered back, whatever happens below.
    struct OfferRecovery
    {
        TfmMain *window;
        ~OfferRecovery() { window->guard([this] { window->offerRecovery(); }); }
    } offer{this};
    if (isExistingFile(eFile->text()))
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
