// The query history and keyword list files.
// - Any bytes read as a history or as a keyword list: no crash; a history item
//   never holds a line break, and there are as many items as lines.
// - Items written then read give the same items; keyword lines written then read
//   give the memo's text of the same lines.
// - Merging the run's items into the stored ones keeps the stored ones first and
//   adds no item twice (letter case ignored).
#include "fuzzinput.h"
#include "io/ansitext.h"
#include "settings/sidefiles.h"

#include <QSet>

namespace {

/** Items the query box could hold: text without line breaks. A byte-order mark at the
    start of a line is taken for the file's and dropped on reading, so none starts with one. */
QStringList itemsFrom(const QByteArray &bytes)
{
    QStringList items = QString::fromUtf8(bytes).split(u'\n');
    for (QString &item : items) {
        item.remove(u'\r');
        while (item.startsWith(QChar(0xFEFF)))
            item.remove(0, 1);
    }
    return items;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const uint8_t mode = in.byte();
    const QByteArray bytes = in.rest();

    const QStringList read = historyFromFile(bytes);
    FUZZ_CHECK(read.size() == splitRawLines(bytes).size(), "one history item per line");
    for (const QString &item : read)
        FUZZ_CHECK(!item.contains(u'\r') && !item.contains(u'\n'), "a history item holds a line break");
    const QString memo = keywordTextFromFile(bytes);
    FUZZ_CHECK(!memo.contains(u'\r'), "the keyword text holds a CR");

    QStringList items = itemsFrom(bytes);
    if (mode & 1) // also an empty list
        items = items.mid(0, mode >> 1 & 3);
    FUZZ_CHECK(historyFromFile(historyFileFromItems(items)) == items, "history items do not read back");
    FUZZ_CHECK(keywordTextFromFile(keywordFileFromLines(items)) == items.join(u'\n'),
               "keyword lines do not read back");

    const qsizetype half = items.size() / 2;
    const QStringList stored = items.mid(0, half);
    const QStringList added = items.mid(half);
    const QStringList merged = mergedHistory(stored, {}, added); // nothing loaded: every item of the run is new
    FUZZ_CHECK(merged.mid(0, stored.size()) == stored, "the stored items do not come first");
    QSet<QString> seen;
    for (const QString &item : stored)
        seen.insert(item.toCaseFolded());
    for (qsizetype i = stored.size(); i < merged.size(); ++i) {
        FUZZ_CHECK(!seen.contains(merged[i].toCaseFolded()), "an item added twice");
        seen.insert(merged[i].toCaseFolded());
    }
    for (const QString &item : added)
        FUZZ_CHECK(seen.contains(item.toCaseFolded()), "an added item is missing");
    return 0;
}
