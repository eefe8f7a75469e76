#include "io/textform.h"

#include "io/textbytes.h"

#include <algorithm>

void TextForm::noteLinesChanged(int line, int linesAdded)
{
    if (breaks.isEmpty() || linesAdded == 0 || line < 0 || line >= breaks.size())
        return;
    if (linesAdded > 0) {
        breaks.insert(line, QByteArray(linesAdded, char(Default)));
    } else {
        const int removed = std::min<int>(-linesAdded, int(breaks.size()) - line - 1);
        breaks[line] = breaks[line + removed];
        breaks.remove(line + 1, removed);
    }
}
