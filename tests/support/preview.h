#pragma once

#include <QString>
#include <QStringList>

class QWebEngineView;
class TfmMain;
class WebBrowser;

/** How long a test waits for the preview browser. */
constexpr int kLoadTimeoutMs = 60000;

/** The engine's view of `browser` (from the preview module), started when it was not; a test failure when there is none. */
QWebEngineView *webView(WebBrowser *browser);

/** The text of the page the preview browser shows (a test failure when it gives none within the timeout). */
QString shownText(TfmMain &window);

/** The requests the built-in server logged, as "GET /path?query", oldest first. */
QStringList builtinServerRequests(const TfmMain &window);
