#pragma once

#include <QByteArray>
#include <QString>

/**
 * The lines that differ between two texts, for a person to read: "- " before a line
 * only `before` has, "+ " before a line only `after` has, "  " before the lines kept
 * around each change (up to `context` of them), and "…" where kept lines are left out.
 * Lines end at LF, CR LF or a lone CR, so a text and its copy with other line breaks
 * do not differ. Empty when the texts hold the same lines. Texts of many thousand
 * changed lines are compared in bounded time: past a limit, the changed middle is
 * shown as removed, then added, whole.
 */
QString lineDifferences(const QByteArray &before, const QByteArray &after, int context = 2);
