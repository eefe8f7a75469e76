#pragma once

#include <QString>

/**
 * What the preview's status line may show of a text the web engine reports:
 * plain text only. Markup is taken out, character references are decoded,
 * template placeholders of the engine's own pages ("{{name}}", "$i18n{name}")
 * are dropped, and runs of white space become one space.
 */
QString plainStatusText(const QString &text);

/** Where the web engine says a load failed. */
enum class LoadErrorDomain { Internal, Connection, Certificate, Http, Ftp, Dns, Other };

/**
 * The status text of a failed load of `url`, in French: the engine's own text is
 * in English, so it is never shown. `code` is the HTTP status for Http, else the
 * engine's (Chromium's) negative error number.
 */
QString loadFailureText(LoadErrorDomain domain, int code, const QString &url);
