#pragma once

#include "base/errors.h"
#include "db/mysqlclient.h"
#include "editor/colouring.h"
#include "editor/findtask.h"
#include "files/recentfiles.h"
#include "settings/settingsregistry.h"
#include "settings/sidefiles.h"

#include <QElapsedTimer>
#include <QWidget>

#include <memory>

class QCheckBox;
class QColorDialog;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QSplitter;
class QTabBar;
class QTabWidget;

class Edit;
class Panel;
class SpeedButton;
class RichEdit;
class EditedFile;
class PhpSignatureSource;
class EditorCompletion;
class DriveComboBox;
class FilterComboBox;
class DirectoryListBox;
class FileListBox;
class FindBar;
class SiteSearch;
class SessionController;
class SiteSearchPanel;
class WebBrowser;
class ServerLogPanel;
class BuiltinServer;
class PhpLint;
struct LintResult;
enum class ServerLineKind;
class BuiltinDatabase;
class DatabasePage;
struct FileIdentity;

/**
 * The main window (object name "fmMain"): every control of the six pages, the
 * state the handlers share, and every handler. app/main.cpp builds the controls and binds
 * the events; each handler is defined in the folder of the subsystem it serves.
 *
 * An OndrelError that escapes a handler ends it and is shown in the generic error
 * box; the program then goes on with the next event.
 */
class TfmMain : public QWidget
{
    Q_OBJECT
public:
    /**
     * Creates the window with its design values, then runs FormCreate.
     * `sideFileBase` is the path of the side files without extension ("…/ondrel"
     * gives ondrel.ini, ondrel.php and ondrel.qry); empty means the default
     * place beside the executable (or the user's configuration folder).
     */
    explicit TfmMain(const QString &sideFileBase = QString(), QWidget *parent = nullptr);
    ~TfmMain() override;

    // Fields.
    Colour CoulChaines = 0;
    Colour CoulFonctions = 0;
    Colour CoulPolice = 0;

    // Page "Fichier".
    QTabWidget *PC = nullptr;
    QWidget *TabSheet2 = nullptr;
    Panel *Panel2 = nullptr;
    Panel *Panel3 = nullptr;
    QLabel *Label1 = nullptr, *Label2 = nullptr, *Label3 = nullptr, *Label4 = nullptr;
    Edit *eFile = nullptr, *eSite = nullptr, *eParam = nullptr, *eURL = nullptr;
    DriveComboBox *DriveComboBox1 = nullptr;
    FilterComboBox *FilterComboBox1 = nullptr;
    DirectoryListBox *dlb = nullptr;
    FileListBox *flb = nullptr;
    // Ondrel's own PHP server, at the foot of the file page's left column.
    Panel *Panel7 = nullptr;
    QCheckBox *cbServeurIntegre = nullptr;
    QLabel *Label12 = nullptr;
    Edit *eRacine = nullptr;

    // Page "Editeur du source".
    QWidget *tsEdit = nullptr;
    Panel *Panel1 = nullptr;
    QLabel *Label5 = nullptr, *Label6 = nullptr;
    QCheckBox *cbColore = nullptr;
    /** "Coloration PHP": the control's own lexer colours PHP, HTML, CSS and JavaScript. */
    QCheckBox *cbPhpColouring = nullptr;
    SpeedButton *sbColorie = nullptr;
    SpeedButton *SpeedButton3 = nullptr, *SpeedButton4 = nullptr, *SpeedButton5 = nullptr,
                *SpeedButton6 = nullptr;
    SpeedButton *SpeedButton8 = nullptr, *SpeedButton9 = nullptr, *SpeedButton10 = nullptr,
                *SpeedButton11 = nullptr, *SpeedButton12 = nullptr;
    SpeedButton *sbAide = nullptr;
    // At the right end of the toolbar: the page beside the editor (F10), and saving while typing.
    QCheckBox *cbApercuACote = nullptr;
    QCheckBox *cbEnregistrementAuto = nullptr;
    QSplitter *spApercu = nullptr; // the editor, and WB beside it in side mode
    /** A line above the editor for what the user should know without a box (file changed on disk…). */
    QLabel *lNotice = nullptr;
    /** The open files, one tab each, above the editor; the editor shows the current one. */
    QTabBar *tbFichiers = nullptr;
    /** The row of the tab strip: the tabs, then the pinned page and "Désépingler" while a page is pinned. */
    QWidget *pOnglets = nullptr;
    QLabel *lEpingle = nullptr;
    SpeedButton *sbDesepingler = nullptr;
    RichEdit *M = nullptr;
    FindBar *findBar = nullptr; // under Panel1, hidden until Ctrl+F or Ctrl+H
    SiteSearchPanel *pRechercheSite = nullptr; // at the page's foot, hidden until Ctrl+Shift+F
    SiteSearch *siteSearch = nullptr;          // Ctrl+P, Ctrl+Shift+F, F12, Shift+F12 (search/)

    // Page "Visualisation du résultat (F9)".
    QWidget *tsWB = nullptr;
    Panel *Panel4 = nullptr;
    QProgressBar *PB = nullptr;
    SpeedButton *SpeedButton1 = nullptr, *SpeedButton2 = nullptr, *SpeedButton7 = nullptr;
    Edit *param = nullptr, *eText = nullptr;
    SpeedButton *sbEpingler = nullptr; // "Épingler cette page", "Désépingler" while a page is pinned
    WebBrowser *WB = nullptr;
    ServerLogPanel *mJournal = nullptr; // "Journal du serveur", below WB

    // Page "Base de donnée".
    DatabasePage *databasePage = nullptr;

    // Page "A propos".
    QWidget *TabSheet1 = nullptr;
    QPlainTextEdit *Memo1 = nullptr;

    // Page "Mots clé et aide".
    QWidget *TabSheet3 = nullptr;
    Panel *Panel5 = nullptr;
    QLabel *Label7 = nullptr;
    Edit *eAide = nullptr;
    QPlainTextEdit *Memo2 = nullptr;
    QPlainTextEdit *mAide = nullptr;

    QColorDialog *ColorDialog1 = nullptr;

    // Handlers (settings/).
    void FormCreate();
    void FormShow();
    void FormDestroy();
    /**
     * FormDestroy's writing step: writes each side file on its own, merged with what
     * is on disk now, and returns what went wrong (one message per failure) and
     * what the user should know (a copy kept aside). Shows no box itself.
     */
    SideFileReport writeSideFiles();
    // Handlers (files/).
    void PCChange();
    void flbMouseDown();
    void eSiteChange();
    void eSiteExit();
    void SpeedButton1Click();
    void SpeedButton2Click();
    void SpeedButton7Click();
    void WBStatusTextChange(const QString &text);
    void WBProgressChange(int progress, int progressMax);
    void WBDocumentComplete(const QString &url);
    void cbServeurIntegreClick();
    void eRacineChange();
    void paramKeyDown(int key);
    void tsWBKeyDown(int key);
    void mJournalLineClick(const QString &text, ServerLineKind kind);
    void ServeurReady();
    void ServeurFailed(const QString &message);
    void ServeurOriginChange(const QString &oldOrigin, const QString &newOrigin);
    void LintChecked(const QString &path, const LintResult &result);
    // Handlers (files/, the page beside the editor).
    void cbApercuACoteClick();
    void spApercuMoved();
    void cbEnregistrementAutoClick();
    void MTextChange();
    void AutoSaveTimer();
    void ServeurLogLine(const QString &text, ServerLineKind kind);
    void MErrorMarkClick(int line);
    // Handlers (editor/).
    void MKeyDown(int &key);
    void MKeyUp();
    void MMouseDown();
    void sbColorieClick();
    void SpeedButton3Click();
    void SpeedButton4Click();
    void SpeedButton5Click();
    void SpeedButton6Click();
    /** "Coloration PHP" ticked or not: the lexer, and the colouring controls it replaces greyed. */
    void cbPhpColouringToggled();
    /** The hint's line for a typed word ("strlen("): the user's keyword list first, then PHP's. */
    QString signatureOf(const QString &word);
    /** Between a call's brackets: its signature in the hint, the parameter being typed in bold. */
    void showParameterBeingTyped(const QString &beforeCaret);
    /** F1 without a page of the help folder: remembers PHP's signature of the function of `word`. */
    void noteReflectionHelp(const QString &word);
    /** Ondrel's help window with the remembered signature, its parameters and the online manual's address. */
    void showReflectionHelp();
    void sbAideClick();
    void SpeedButton8MouseUp(SpeedButton *sender, Qt::MouseButton button);
    void MMouseUp();
    // Keys of the editor page (editor/keyhandlers.cpp).
    /** Ctrl+S: saves the edited file as the preview does, staying on the page. */
    void saveKey();
    /** Ctrl+F, Ctrl+H: the find bar, with the replace row for Ctrl+H. */
    void openFindBar(bool replace);
    /** Enter, F3, "Suivant" (forwards); Shift+F3, "Précédent" (backwards). */
    void findNextMatch(bool backwards);
    void replaceMatch();
    void replaceAllMatches();
    /** Starts the find bar's task over the editor's text; `findFinished` applies its result. */
    void runFind(FindRequest::Kind kind);
    void findFinished(const FindRequest &request, const FindResult &result);
    /** Escape in the find bar (a running search is dropped). */
    void closeFindBar();
    /** Ctrl+G: "Aller à la ligne". */
    void goToLine();
    /** The "*" before the title while the editor holds unsaved changes. */
    void showUnsavedMark();
    /** Ondrel's own MariaDB server, which the database page, the preview and the debugger start. */
    BuiltinDatabase *builtinDatabase() const { return m_database; }

    // Methods called by handlers.
    void Ligne();
    void ColorieZone(qsizetype start, qsizetype end);

    /** The open files, their tabs, the recent list and the unsaved-text questions. */
    SessionController *session() const { return m_session; }
    // The pinned page (preview/pinhandlers.cpp).
    /**
     * "Épingler cette page" (Ctrl+Shift+P): the edited file becomes the page that F9
     * and the saves made while editing the other files of its site show.
     */
    void pinPage();
    /** "Désépingler": F9 shows the edited file again. */
    void unpinPage();
    void sbEpinglerClick();
    /** The pinned page's absolute path; empty when no page is pinned. */
    QString pinnedPage() const { return m_pinnedPage; }
    /** Whether the preview shows the pinned page for the edited file: it is another file of the pinned page's site. */
    bool pinnedPageApplies() const;

    /**
     * Opens `path` in its tab (opened when it is not) with the caret at the start of
     * 1-based `line`, and shows the editor; the place left is kept for Alt+Left.
     * False when the file could not be opened (the reason was shown).
     */
    bool openFileAtLine(const QString &path, int line);

    /** Shows `text` in the editor page's notice line; an empty text hides it. */
    void showNotice(const QString &text);
    /**
     * Opens `path` from the site search as a click in the file list would (unsaved
     * text asked about first, errors shown) and shows the editor. True when the
     * editor holds that file afterwards.
     */
    bool openSiteFile(const QString &path);

    // The session (app/sessionhandlers.cpp): launches, stop signals, the end of the run.
    /** Brings the window (and a dialog it has open) to the front, as a later launch asks. */
    void comeToFront();
    /**
     * After SIGTERM, SIGINT or SIGHUP: keeps the unsaved text (the session's
     * keepTextsForStop), then ends the event loops, open dialogs' included, without asking anything.
     */
    void closeOnSignal();
    bool closingOnSignal() const { return m_closingOnSignal; }
    /**
     * Ends the run, once: FormDestroy writes the side files back. A failure is
     * printed on stderr and, unless a signal closes the window, shown in the
     * error box. Returns the exit status: 1 when something of the run could not be
     * written, else 0. The destructor calls it when nobody did.
     */
    int shutDown();

    /** PHP's own keyword list, which the hint reads after the user's; null before the window is shown. */
    const PhpSignatureSource *phpSignatures() const { return m_phpSignatures; }
    /** The editor's completion list. */
    EditorCompletion *completion() const { return m_completion; }

    /** Whether the page is shown beside the editor now: side mode, and the editor page in front. */
    bool pageBeside() const;
    /** The width of the page beside the editor, in pixels; 0 until the user moved the splitter (half). */
    int apercuLargeur() const { return m_apercuLargeur; }
    void setApercuLargeur(int width);
    /**
     * Whether saving while typing may save now: it is on, the text holds changes,
     * the user saved this very file once since Ondrel started, and the file is
     * neither binary nor changed on disk by another program since.
     */
    bool mayAutoSave() const;

    /**
     * Sets eURL by the target URL rule in force: with Ondrel's own server, its
     * origin and the file's path below the served folder; with another server,
     * "Site" and the path below "Racine" when the file lies under it, else
     * "Site" and the file's name.
     */
    void setTargetUrl();
    QString targetUrlNow();
    /**
     * Whether the built-in server may serve the edited file's folder: always,
     * unless it is the home folder or "/" that no "Racine" names, which is served
     * only once the user said yes to it. Asked once per folder and run; a yes goes
     * into the server's log, a no into the status line.
     */
    bool mayServeFolder();
    /** Ondrel's own PHP server (started by the first preview that needs it). */
    BuiltinServer *server() const { return m_server; }

    /** Shows a page from code; unlike a page changed by the user, it raises no PCChange. */
    void showPage(QWidget *page);
    /** The fixed title followed by the author credit, set when the window is first shown. */
    static QString windowTitleText();
    QString sideFileBase() const { return m_sideFileBase; }
    /** Every key of the settings file, as its owners declared them. */
    const SettingsRegistry &settingsRegistry() const { return m_settings; }

    /** Runs one handler: an error that escapes it is shown in the generic error box. */
    template <typename Handler>
    void guard(Handler &&handler)
    {
        try {
            handler();
        } catch (const OndrelError &error) {
            showErrorBox(this, error.message());
        } catch (const std::exception &error) {
            showErrorBox(this, QString::fromLocal8Bit(error.what()));
        }
    }

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildFilePage();
    void buildEditorPage();
    void buildPreviewPage();
    void buildDatabasePage();
    void bindDatabasePage();
    void buildAboutPage();
    void buildHelpPage();
    void bindEvents();
    void bindEditorKeys();
    void bindSiteSearch();
    void bindSession();
    /** The five anchor buttons show `file`'s anchors. */
    void showAnchorsOf(const EditedFile *file);

    /** The pinned page's caption in the tab strip, on its button and on the preview page's tab. */
    void showPinnedPage();
    /** The URL the preview shows the pinned page under, with the folder the built-in server serves for it. */
    QString pinnedPageUrl();
    /** The steps after a file was chosen: eFile, the site's final "/", the URL, the text colour and the caption. */
    void showChosenFile(const QString &path);
    /** The click of openFromCommandLine; throws OndrelError. */
    void openPath(const QString &path);
    void reportShutDownFailure(const QString &message);
    void navigatePreview();
    bool serverReadyForPreview();
    void lintEditedFile();
    void showHelpWindow(const QString &path);
    void placeBrowser();
    void refreshBeside();
    void editedFileSaved();
    /** mayAutoSave, keeping what the file on disk is in `disk` when it had to read it. */
    bool mayAutoSave(FileIdentity *disk) const;
    bool namesEditedFile(const QString &file) const;
    /** Keeps the window's place while it is still on screen, for shut-down to store. */
    void notePlacementAtClose();

    /** The keyword list as one text, lines separated by "\n"; kept until the memo changes. */
    const QString &keywordList();

    BuiltinDatabase *m_database = nullptr;
    /** A preview that waited for Ondrel's own server goes on, whether it started or not. */
    void previewAfterDatabase();

    SessionController *m_session = nullptr;
    QString m_pinnedPage;             // absolute; empty: F9 shows the edited file
    QString m_sideFileBase;
    QString m_keywords;
    bool m_keywordsStale = true;
    SideFileState m_sideFiles; // what start-up loaded, so shut-down writes nothing it did not read
    SettingsRegistry m_settings; // every key of the settings file, declared by its owner
    /** Declares the settings whose values the window itself still holds. */
    void declareSettings();
    bool m_shown = false;
    bool m_pageFromCode = false;
    bool m_closingOnSignal = false;
    bool m_shutDown = false;
    bool m_runFailed = false;    // something of the run could not be written: exit status 1
    BuiltinServer *m_server = nullptr;
    QStringList m_wholeFoldersAllowed; // the home folder or "/", served whole since the user said yes
    QStringList m_wholeFoldersRefused; // ... or not served, since the user said no
    PhpLint *m_lint = nullptr;
    bool m_navigateWhenReady = false; // a preview waits for the server to accept connections
    QString m_lintMessage;            // the syntax error of the last check; empty when clean
    QWidget *m_helpWindow = nullptr;
    PhpSignatureSource *m_phpSignatures = nullptr; // PHP's own keyword list, loaded off this thread
    EditorCompletion *m_completion = nullptr;
    QString m_reflectionHelp; // PHP's signature F1 explains, when the help folder has no page for it
    WebBrowser *m_helpBrowser = nullptr;
    int m_apercuLargeur = 0;
    bool m_autoSaving = false;        // the save under way is one of saving while typing
    bool m_titleMarked = false;            // the title starts with the unsaved mark "*"
    qsizetype m_ligneSelection[2] = {0, 0}; // selection start and end at the last Ligne
};
