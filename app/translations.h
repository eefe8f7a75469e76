#pragma once

class QCoreApplication;

/**
 * Makes Qt's own texts French: the buttons of message boxes, the colour dialog,
 * the standard context menus of edits and of the source editor.
 * Returns false when Qt's French translation could not be loaded.
 */
bool installFrenchTranslations(QCoreApplication *app);
