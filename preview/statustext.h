#pragma once

#include <QString>

/**
 * What the preview's status line may show of a text the web engine reports:
 * plain text only. Markup is taken out, character references are decoded,
 * template placeholders of the engine's own pages ("{{name}}", "$i18n{name}")
 * are dropped, and runs of white space become one space.
 */
QString plainStatusText(const QString &text);
