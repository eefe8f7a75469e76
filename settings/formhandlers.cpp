// Start-up and shut-down of the main window: the settings file and the side files.
#include "app/main.h"

#include "app/widgets.h"
#include "db/simplecombo.h"
#include "editor/richedit.h"
#include "files/browser.h"
#include "files/readfile.h"
#include "files/savefile.h"
#include "files/urlrules.h"
#include "settings/profile.h"
#include "settings/sidefiles.h"
#include "settings/windowplacement.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTextBlock>

#include <optional>

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

struct Setting
{
    QString section;
    QString key;
    QString value;
};

/** The "Params" and "Mysql" keys in the order they are written, with the values the window holds now. */
QList<Setting> storedSettings(const TfmMain &w)
{
    return {
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
        {kMysql, QStringLiteral("Host"), w.host->text()},
        {kMysql, QStringLiteral("User"), w.user->text()},
        {kMysql, QStringLiteral("Pass"), w.pass->text()},
        {kMysql, QStringLiteral("Base"), w.base->text()},
        {kMysql, QStringLiteral("DelaiConnexion"), QString::number(w.DelaiConnexion)},
    };
}

/** Until start-up has loaded them, every stored value and the history count as not loaded. */
void beginLoading(SideFileState &state, const TfmMain &w)
{
    state.settingsNotLoaded.clear();
    for (const Setting &s : storedSettings(w))
        state.settingsNotLoaded.insert(s.section + u'/' + s.key, s.value);
    state.historyLoaded = false;
    state.keywordsLoaded = false;
    state.keywordsBeforeLoading = w.mAide->toPlainText();
}

void loadingDone(SideFileState &state, bool historyLoaded)
{
    state.settingsNotLoaded.clear();
    state.historyLoaded = historyLoaded;
}

ProfileFile readSettings(const QString &path)
{
    ProfileFile ini;
    ini.load(path); // a file that cannot be read gives the defaults, like a missing one
    return ini;
}

// Start-up: the geometry, unless the window opens maximised (its normal bounds then stay the design ones).
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
    setWindowBounds(w, bounds);
}

// A new user previews through Ondrel's own server; one whose settings name a
// web server of their own (a "Site" other than the default) keeps it.
bool userSetSite(const ProfileFile &ini)
{
    return ini.contains(kParams, QStringLiteral("Site"))
        && ini.readString(kParams, QStringLiteral("Site")) != kDefaultSite;
}

// Start-up: the file page, the start folder, the colours and the help folder, each applied as it is read.
void applyParams(TfmMain &w, const ProfileFile &ini)
{
    w.eFile->setText(ini.readString(kParams, QStringLiteral("Fichier")));
    w.eSite->setText(ini.readString(kParams, QStringLiteral("Site"), kDefaultSite));
    w.eParam->setText(ini.readString(kParams, QStringLiteral("Param"), kDefaultParam));
    // A new user starts among their own files; a stored folder is used as it is.
    const QString startFolder = ini.readString(kParams, QStringLiteral("InitialDir"), QDir::homePath());
    if (!startFolder.isEmpty())
        w.dlb->setCurrentFolder(startFolder); // throws when it cannot be entered
    w.M->setBackgroundColour(readColour(ini, QStringLiteral("CouleurFond"), kDefaultBackground));
    w.M->setTextColour(readColour(ini, QStringLiteral("CouleurPolice"), kDefaultText));
    w.CoulPolice = w.M->textColour();
    w.CoulChaines = readColour(ini, QStringLiteral("CouleurChaînes"), kDefaultStrings);
    w.CoulFonctions = readColour(ini, QStringLiteral("CouleurFonctions"), kDefaultFunctions);
    w.eAide->setText(ini.readString(kParams, QStringLiteral("Aide"), defaultHelpFolder()));
    if (w.eAide->text().isEmpty())
        w.eAide->setText(defaultHelpFolder());
    w.cbServeurIntegre->setChecked(ini.readBool(kParams, QStringLiteral("ServeurIntegre"), !userSetSite(ini)));
    w.eRacine->setText(ini.readString(kParams, QStringLiteral("Racine")));
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
// Returns whether the list now holds what is stored (false for a file that exists but could not be read).
bool loadHistory(TfmMain &w, const QString &path)
{
    w.cb->list()->clear();
    const ReadResult read = readWholeFile(path, kMaxFileBytes);
    if (read.ok())
        w.cb->list()->addItems(historyFromFile(read.bytes));
    return read.ok() || read.error == ReadError::Missing;
}

// Shown: a missing keyword list leaves the memo empty.
void loadKeywordList(TfmMain &w, const QString &path)
{
    if (!isExistingFile(path))
        return;
    const ReadResult read = readWholeFile(path, kMaxFileBytes);
    if (!read.ok())
        throw OndrelError(cannotOpenMessage(path));
    w.mAide->setPlainText(keywordTextFromFile(read.bytes));
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

// Shut-down: a keyword list that was never loaded is written only when the user typed in it.
void saveKeywordList(const TfmMain &w, const SideFileState &state, const QString &path)
{
    if (!state.keywordsLoaded && w.mAide->toPlainText() == state.keywordsBeforeLoading)
        return;
    writeSideFile(path, keywordFileFromLines(memoLines(w.mAide)));
}

// Shut-down: "MainW" is rewritten whole, so it holds exactly its five keys.
void writeWindowPlacement(const TfmMain &w, ProfileFile &ini)
{
    const WindowBounds bounds = windowBoundsToSave(w);
    ini.eraseSection(kMainW);
    ini.writeInteger(kMainW, QStringLiteral("x"), bounds.left);
    ini.writeInteger(kMainW, QStringLiteral("y"), bounds.top);
    ini.writeInteger(kMainW, QStringLiteral("w"), bounds.width);
    ini.writeInteger(kMainW, QStringLiteral("h"), bounds.height);
    ini.writeBool(kMainW, QStringLiteral("Maxi"), bounds.maximised);
}

// Shut-down: every key applied in memory, then the file replaced once.
void saveSettings(const TfmMain &w, const SideFileState &state, const QString &path)
{
    ProfileFile ini;
    if (!ini.load(path)) // rewriting a file that could not be read would drop its other keys
        throw OndrelError(cannotWriteMessage(path));
    writeWindowPlacement(w, ini);
    for (const Setting &s : storedSettings(w)) {
        if (state.mustWrite(s.section, s.key, s.value))
            ini.writeString(s.section, s.key, s.value);
    }
    QString why;
    if (!ini.save(path, 0600, &why)) // the password is in clear: owner only
        throw OndrelError(cannotWriteMessage(path, why));
}

// Shut-down: a history that was never loaded keeps its stored items; the run's are added.
void saveHistory(const TfmMain &w, const SideFileState &state, const QString &path)
{
    QStringList items = w.cb->items();
    if (!state.historyLoaded) {
        if (items.isEmpty())
            return;
        const ReadResult stored = readWholeFile(path, kMaxFileBytes);
        if (!stored.ok() && stored.error != ReadError::Missing) // never replace a history that could not be read
            throw OndrelError(cannotCreateMessage(path));
        items = mergedHistory(historyFromFile(stored.bytes), items);
    }
    writeSideFile(path, historyFileFromItems(items), kHistoryFileMode);
}

} // namespace

void TfmMain::FormCreate()
{
    if (m_sideFileBase.isEmpty())
        m_sideFileBase = defaultSideFileBase();
    const SideFilePaths files = sideFilePaths(m_sideFileBase);
    const ProfileFile ini = readSettings(files.settings); // read once; nothing stays open
    beginLoading(m_sideFiles, *this);
    applyWindowPlacement(*this, ini);
    applyParams(*this, ini); // throws when the start folder cannot be entered
    applyConnection(*this, ini);
    setTargetUrl(); // no "/" inserted here
    const bool historyLoaded = loadHistory(*this, files.history);
    loadingDone(m_sideFiles, historyLoaded);
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
    loadKeywordList(*this, sideFilePaths(m_sideFileBase).keywords);
    m_sideFiles.keywordsLoaded = true;
}

void TfmMain::FormDestroy()
{
    const SideFilePaths files = sideFilePaths(m_sideFileBase);
    // The first failure ends shut-down: the files after it keep their content.
    saveKeywordList(*this, m_sideFiles, files.keywords);
    saveSettings(*this, m_sideFiles, files.settings);
    saveHistory(*this, m_sideFiles, files.history);
}
