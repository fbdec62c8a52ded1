// The console's key codes for Windows console key events.  Pure, so it is
// built and tested on every system; the Windows console back end feeds it
// the key events of ReadConsoleInputW.
#pragma once

#include <optional>

namespace rt::con::win32 {

// Bits of a key event's control key state (dwControlKeyState).
constexpr unsigned kRightAlt = 0x0001;
constexpr unsigned kLeftAlt = 0x0002;
constexpr unsigned kRightCtrl = 0x0004;
constexpr unsigned kLeftCtrl = 0x0008;
constexpr unsigned kShift = 0x0010;

// Virtual-key codes the console gives a meaning to.
namespace vk {
constexpr unsigned kBack = 0x08, kTab = 0x09, kReturn = 0x0D, kShift = 0x10, kControl = 0x11, kMenu = 0x12,
                   kEscape = 0x1B, kPrior = 0x21, kNext = 0x22, kEnd = 0x23, kHome = 0x24, kLeft = 0x25,
                   kUp = 0x26, kRight = 0x27, kDown = 0x28, kInsert = 0x2D, kDelete = 0x2E, kAdd = 0x6B,
                   kSubtract = 0x6D, kF1 = 0x70, kF12 = 0x7B;
}  // namespace vk

struct KeyEvent {
  bool down = true;
  unsigned vk = 0;      // virtual-key code
  char32_t ch = 0;      // the character the layout made of it, 0 for none
  unsigned state = 0;   // control key state bits
};

// The console's code for a key event; nullopt when it gives none (releases,
// lone modifiers, dead keys, characters outside code page 850, Alt+Enter).
// A character typed on the numeric keypad with Alt held arrives when Alt is
// released, and counts then.
std::optional<int> key_code(const KeyEvent& ev);

// Alt+Enter: the window's full-screen switch, never a key for the program.
bool is_alt_enter(const KeyEvent& ev);

}  // namespace rt::con::win32
