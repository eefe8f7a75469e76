#pragma once

#include <QtGlobal>

/** The bytes [from, to) of the editor's text; -1 for a span not set. */
struct ByteSpan
{
    qsizetype from = -1, to = -1;
};
