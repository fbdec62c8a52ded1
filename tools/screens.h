// The station's common screen vocabulary: the message box that goes away by
// itself, the question and value box, the three-line box that waits for a
// key, the key reader that understands the mouse and the global hotkeys, and
// a short pause.  All work on the 25 x 80 console; rows and columns count
// from 0.  Every box saves what it covers in its own local copy and puts it
// back when it closes, so boxes opened over one another unwind correctly.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "runtime/console/console.h"
#include "runtime/text/value.h"

namespace tools {

// Tone frequencies and length of the boxes (one clock tick each).
inline constexpr double kHighTone = 3000;
inline constexpr double kLowTone = 1000;

// Message row of a position code: "1" row 2, "2" row 12, "3" row 22.  Any
// other text gives the absolute value of its number (the question box's
// rule).
int message_row(std::string_view donde);

// CARTEL_1: a one-line message in a yellow-on-blue box on rows R-1 to R+1,
// columns 5 to 74, centred on column 40.  With `ruido` one 3000 Hz tone.
// With `deja` the box stays on the screen and the call returns at once.
// Otherwise (two more tones when `lapso` is 5) it waits, keyboard events
// only, for one key (consumed) or `lapso` seconds, then allows every kind of
// input event and puts back the area it covered.  Position codes other than
// "1", "2" and "3" are taken as "2".
void cartel_1(rt::con::Console& con, std::string_view que, bool deja = false, std::string_view donde = "2",
              bool ruido = true, double lapso = 5);

// While an object of this class lives, a message box that waits for a key
// (CARTEL_1, and CARTEL_3 without a key code) and is closed by a character
// key (codes 32 to 255, or the group separator 29) leaves that key in the
// type-ahead: a reader's next scan closes the box and still arrives whole.
// Esc, Enter and every other key only close the box.  Questions (CARTEL_1G)
// are not affected.
class KeepScanKeys {
 public:
  explicit KeepScanKeys(rt::con::Console& con);
  ~KeepScanKeys();
  KeepScanKeys(const KeepScanKeys&) = delete;
  KeepScanKeys& operator=(const KeepScanKeys&) = delete;

 private:
  bool& flag_;
  bool previous_;
};

// Options of CARTEL_1G.
struct QuestionBox {
  // RESP: the starting answer.  Absent: the answer starts as one blank and
  // Esc is disabled while the box is open.
  std::optional<rt::Value> resp;
  std::string donde = "2";     // DONDE, position code
  bool escape_off = false;     // ESCAPE_OFF: Esc disabled even with a RESP
  std::string color = "gr+/r"; // QUE_CO, box colour
};

// CARTEL_1G, question form: three tones, then a full-width box on rows R-1 to
// R+1 with the question and a one-character answer, upper-cased as typed and
// accepted only as "S" or "N".  True when the answer is "S".  A form being
// read by the caller (the box opened from a field's validation) is set aside
// and resumes intact.  Esc is enabled again afterwards, whatever it was.
bool cartel_1g(rt::con::Console& con, std::string_view que, const QuestionBox& box = {});

// CARTEL_1G, value form: the same box with an answer field of picture
// `pictu`, accepted when `validar` holds for the typed value (it stands for
// the suite's validation expression over `es_ok`; empty = always).  Esc,
// when enabled, ends it and gives back the starting value.  The field's
// type follows RESP: text, number or date (one blank of text when absent).
rt::Value cartel_1g_value(rt::con::Console& con, std::string_view que, std::string_view pictu,
                          const std::function<bool(const rt::Value&)>& validar, const QuestionBox& box = {});

// CARTEL_3: a three-line box (rows 11 to 15, columns 10 to 70, colour
// `que_color`), a 3000 Hz and a 1000 Hz tone, then a wait.  Without
// `que_tecla` the key reader is used until a key code between 1 and 999 other
// than Up and Down comes (mouse, F2-F10 and the like are ignored; a right
// click ends it through its Esc).  With `que_tecla` keys are read as they
// are, until that one comes.  Afterwards the cursor is visible, normal shape.
void cartel_3(rt::con::Console& con, std::string_view que_1, std::string_view que_2, std::string_view que_3,
              std::string_view que_color = "gr+/r", std::optional<int> que_tecla = std::nullopt);

// The hotkeys of the key reader that belong to the rest of the station: the
// close question of Alt+C (ALTC) and the font steps of Ctrl + keypad minus
// and plus (CHG_SIZEX).  The key reader calls them through this interface;
// until the station installs its own, the default does nothing and the key
// reader simply returns the code.
class KeyReaderHooks {
 public:
  virtual ~KeyReaderHooks() = default;
  // Alt+C (302): ALTC.  Returns normally when the close is refused.
  virtual void close_request(rt::con::Console& con) { (void)con; }
  // Ctrl + keypad minus (398) or plus (400): CHG_SIZEX with the key read.
  virtual void font_step(rt::con::Console& con, int key) {
    (void)con;
    (void)key;
  }
};

// Installs the hooks the key reader of this console's run calls (nullptr:
// the do-nothing default).  The object must outlive its installation.
// Returns the previous ones.
KeyReaderHooks* set_key_reader_hooks(rt::con::Console& con, KeyReaderHooks* hooks);
KeyReaderHooks& key_reader_hooks(rt::con::Console& con);

// TECLA_N: reads one input event of any kind (keyboard and mouse), without a
// time limit, and acts on it: 0, Shift+F1 and mouse moves are read over;
// 398/400 step the font and 302 asks to close (hooks above); the wheel puts
// three Up (forward) or Down (backward) keys in place of the type-ahead; a
// right click puts one Esc there.  Returns the code read.  `solo_tecla` is
// accepted and not used, as in the suite.
// The caller's trace frame takes the line of the call (see trace.h).
int tecla_n(rt::con::Console& con, bool solo_tecla = false,
            const char* caller_file = __builtin_FILE(), int caller_line = __builtin_LINE());

// PAUSA: waits `cuanto` seconds (fractions allowed) without reading input.
// Elapsed time is measured on the console's monotonic clock, so a pause that
// spans midnight ends like any other.
void pausa(rt::con::Console& con, double cuanto);

}  // namespace tools
