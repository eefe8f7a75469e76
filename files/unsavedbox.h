#pragma once

#include <functional>

class QString;
class QWidget;

enum class UnsavedAnswer { Cancel, Abandon, Save };

/**
 * The question asked before unsaved text goes: "Enregistrer" (offered when `canSave`),
 * "Abandonner", or "Annuler", the default.
 */
UnsavedAnswer askAboutUnsaved(QWidget *parent, const QString &question, bool canSave);

/** Runs `save`; a failure it throws is shown in an error box. True when the text was saved. */
bool savedOrTold(QWidget *parent, const std::function<bool()> &save);
