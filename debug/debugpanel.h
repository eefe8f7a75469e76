#pragma once

#include "debug/debugger.h"

#include <QWidget>

class QCheckBox;
class QLineEdit;
class QListWidget;
class QSpinBox;
class QAction;
class QToolBar;
class QTreeWidget;
class QTreeWidgetItem;

/**
 * The debugging controls of the editor page: the bar ("Déboguer", "Continuer",
 * "Pas à pas principal", "Pas à pas détaillé", "Sortir", "Arrêter", "Arrêter
 * sur les erreurs") and, shown only while a session runs, the panels
 * "Variables" (a tree whose arrays and objects open page by page when
 * unfolded), "Pile d'appels" and "Expressions".
 */
class DebugPanel : public QWidget
{
    Q_OBJECT
public:
    explicit DebugPanel(Debugger *debugger, QWidget *parent = nullptr);

    /** Between sessions only the bar shows, its step buttons off. */
    void setSessionRunning(bool running);
    void showPause(const DebugPause &pause);
    void showRunning();

    QAction *debugAction() const { return m_debug; }
    QCheckBox *stopOnErrorsBox() const { return m_stopOnErrors; }
    /** "Port de débogage": where Xdebug is awaited (another free one when it is taken). */
    QSpinBox *portBox() const { return m_port; }

Q_SIGNALS:
    void debugRequested();
    /** A frame of the call stack was chosen: its file and line are to be shown. */
    void frameChosen(const QString &file, int line);
    void watchesChanged(const QStringList &expressions);

private:
    QAction *addButton(QToolBar *bar, const char *name, const QString &text, const QString &tip, const QKeySequence &keys);
    void fillVariables(int frame);
    void addProperties(QTreeWidgetItem *parent, const std::vector<DbgpProperty> &props, int frame, int context);
    void expand(QTreeWidgetItem *item);
    void showWholeValue(QTreeWidgetItem *item);
    void showWatches(const std::vector<DebugWatch> &watches);
    void removeWatch();

    Debugger *m_debugger;
    QAction *m_debug;
    QList<QAction *> m_steps;
    QCheckBox *m_stopOnErrors;
    QSpinBox *m_port;
    QWidget *m_panels;
    QTreeWidget *m_variables;
    QListWidget *m_stack;
    QTreeWidget *m_watches;
    QLineEdit *m_newWatch;
    int m_frame = 0;
    int m_generation = 0; // a fetch answered after the next stop is dropped
};

/** A property's value as a tree line shows it: "array (3)", "Cart", the text. */
QString shownValue(const DbgpProperty &property);
