#pragma once

#include <QString>
#include <QStringList>

class TfmMain;

/** How long a test waits for the preview browser. */
constexpr int kLoadTimeoutMs = 60000;

/** The text of the page the preview browser shows (a test failure when it gives none within the timeout). */
QString shownText(TfmMain &window);

/** The requests the built-in server logged, as "GET /path?query", oldest first. */
QStringList builtinServerRequests(const TfmMain &window);
