#include "editor/phppalette.h"

#include <algorithm>
#include <cmath>

namespace {

double channelLight(Colour colour, int shift)
{
    const double c = static_cast<double>((colour >> shift) & 0xFF) / 255.0;
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double luminance(Colour colour)
{
    return 0.2126 * channelLight(colour, 0) + 0.7152 * channelLight(colour, 8) + 0.0722 * channelLight(colour, 16);
}

Colour rgb(int red, int green, int blue)
{
    return static_cast<Colour>(red) | (static_cast<Colour>(green) << 8) | (static_cast<Colour>(blue) << 16);
}

/** `from` moved a fraction `t` (0 to 1) of the way to `to`, channel by channel. */
Colour mix(Colour from, Colour to, double t)
{
    Colour out = 0;
    for (int shift : {0, 8, 16}) {
        const double a = (from >> shift) & 0xFF;
        const double b = (to >> shift) & 0xFF;
        out |= static_cast<Colour>(std::lround(a + (b - a) * t)) << shift;
    }
    return out;
}

/** The hue each kind starts from, before it is fitted to the background. */
Colour hueOf(PhpStyleKind kind)
{
    switch (kind) {
    case PhpStyleKind::Keyword: return rgb(0x30, 0x60, 0xFF);
    case PhpStyleKind::String: return rgb(0x20, 0xB0, 0x20);
    case PhpStyleKind::Comment: return rgb(0x90, 0x90, 0x90);
    case PhpStyleKind::Number: return rgb(0xFF, 0x60, 0x00);
    case PhpStyleKind::Variable: return rgb(0xC0, 0x30, 0xFF);
    case PhpStyleKind::Tag: return rgb(0x00, 0xA0, 0xC0);
    case PhpStyleKind::Attribute: return rgb(0xE0, 0x90, 0x00);
    case PhpStyleKind::Error: return rgb(0xFF, 0x20, 0x20);
    case PhpStyleKind::Plain:
    case PhpStyleKind::Operator: break;
    }
    return 0;
}

} // namespace

double contrastRatio(Colour a, Colour b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

Colour phpTokenColour(PhpStyleKind kind, Colour background, Colour text)
{
    if (kind == PhpStyleKind::Plain || kind == PhpStyleKind::Operator)
        return text;
    const double wanted = kind == PhpStyleKind::Comment ? 3.0 : 4.5;
    // Towards black on a light background, towards white on a dark one: whichever
    // end reads better against it.
    const Colour end = contrastRatio(0x000000, background) >= contrastRatio(0xFFFFFF, background) ? 0x000000 : 0xFFFFFF;
    const Colour hue = hueOf(kind);
    for (int step = 0; step <= 20; ++step) {
        const Colour candidate = mix(hue, end, step / 20.0);
        if (contrastRatio(candidate, background) >= wanted)
            return candidate;
    }
    return end; // a mid-grey background: only the far end reads at all
}

PhpStyleKind paletteKindOf(CssKind kind)
{
    switch (kind) {
    case CssKind::Selector: return PhpStyleKind::Tag;
    case CssKind::Property: return PhpStyleKind::Attribute;
    case CssKind::Value: return PhpStyleKind::Variable;
    case CssKind::Number: return PhpStyleKind::Number;
    case CssKind::String: return PhpStyleKind::String;
    case CssKind::Comment: return PhpStyleKind::Comment;
    case CssKind::Keyword: return PhpStyleKind::Keyword;
    case CssKind::Plain: break;
    }
    return PhpStyleKind::Plain;
}
