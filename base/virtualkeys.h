#pragma once

/**
 * The Windows virtual-key codes that the window's key events carry, whatever
 * the platform's own key codes are.
 */
enum VirtualKey : int {
    VkNone = 0,
    VkBackspace = 8,
    VkTab = 9,
    VkEnter = 13,
    VkShift = 16,
    VkControl = 17,
    VkAlt = 18,
    VkEscape = 27,
    VkSpace = 32,
    VkPageUp = 33,
    VkPageDown = 34,
    VkEnd = 35,
    VkHome = 36,
    VkLeft = 37,
    VkUp = 38,
    VkRight = 39,
    VkDown = 40,
    VkInsert = 45,
    VkDelete = 46,
    VkF1 = 112,
    VkF5 = 116,
    VkF9 = 120,
    VkF10 = 121,
};

/** The virtual-key code of a Qt key (Qt::Key): letters and digits as themselves, F1–F24 from 112, 0 when none. */
int virtualKeyCode(int qtKey);
