#pragma once

#include <QtGlobal>
#include <cstdint>

/** A 32-bit colour value 0x00BBGGRR (red in the low byte), as stored in the settings file. */
using Colour = quint32;

/** What the colouring pass made of one character. */
enum class ColourClass : std::uint8_t {
    Keep = 0,     // the pass did not touch the character
    Base = 1,     // CoulPolice
    String = 2,   // CoulChaines
    Function = 3, // CoulFonctions (called function names and $ variables)
};

/**
 * The lexical colouring pass over the 1-based positions start … end of a text of
 * length L (0 ≤ start ≤ end ≤ L; a line break counts as the two bytes CR LF).
 *
 * `out` has end − start + 1 entries, entry k for position start + k. The pass fills
 * it: Keep for positions it leaves alone (position start, unless a variable begins
 * there, and position end, never touched), otherwise the class the rules give.
 *
 * Only the bytes of positions max(start, 1) … end are read: `bytes` points at the
 * byte of position max(start, 1) (0-based text index max(start, 1) − 1).
 */
void colourPass(const char *bytes, qsizetype start, qsizetype end, ColourClass *out);
