// The check browse of one ticket and its key handler (FUNCION).
#pragma once

#include <string>
#include <string_view>

#include "app/check_env.h"
#include "runtime/text/date.h"

namespace app {

// Runs the browse over the check table (alias "tempo39", already filled,
// with the shared tables of the check open) until it ends: ticket complete,
// refund declared, or left with Esc.  Leaves the tables open.
void run_check_browse(CheckEnv& env);

// The browse's user routine: `mode` as the browse passes it (0 idle, 1 top
// reached, 2 bottom reached, 3 empty table, 4 a key the browse did not
// handle); the key is always the console's last key.  Returns 0 to end the
// browse, 1 to go on, 2 to redraw every row and go on.
int funcion(CheckEnv& env, int mode, int column);

// CALCU: quantity to check and quantity counted over the counted lines
// (barcode above 9999999) into env.check.sold / counted.  The current line
// stays.
void calcu(CheckEnv& env);

// FALTAN_TRAZAR: the same totals over the traceable lines (TRAZA "S");
// true when they differ.
bool faltan_trazar(CheckEnv& env);

// COLOREA15: colours the browse's data rows by the quantities shown on
// them: complete green, partly counted yellow, others white.
void colorea15(rt::con::Console& con);

// ESTA_EN_TRAZA: looks GTIN (14) + serial (20) up in the traceability table
// (tag "gtin_s").  When found, its lot and expiry are handed back.  The area
// that was current is selected again.
bool esta_en_traza(CheckEnv& env, std::string_view gtin_serial, std::string& lot, rt::text::Date& expiry);

// The screen texts of the check, for the screens and their tests.
namespace check_text {
inline constexpr const char* kDifferences = " Hay Diferencias!!! ";
inline constexpr const char* kOk = "       OK!!!        ";
inline constexpr const char* kTicketOk = "Comprobante OK!!!";
inline constexpr const char* kNotFound = "Producto No Encontrado!!!";
inline constexpr const char* kAlreadyOk = "Este Producto Ya Estaba OK!!!";
inline constexpr const char* kRefundQuestion = "Es Un Ticket De Reintegro?";
inline constexpr const char* kLeaveQuestion = "Faltan Pasar Productos, Sale De Todos Modos?";
inline constexpr const char* kUntracedQuestion = "QUEDAN PRODUCTOS SIN TRAZAR! Sale De Todos Modos?";
inline constexpr const char* kNotReceivedQuestion =
    "El Producto No Fu\x82 Ingresado Contin\xA3" "a Con La Operaci\xA2n?";
inline constexpr const char* kLotCorrected = "Se Ha Corregido El Lote!";
inline constexpr const char* kExpiryCorrected = "Se Ha Corregido La Fecha De Vencimiento!";
inline constexpr const char* kDuplicate1 = "El Producto Ya Habia Sido Pasado!";
inline constexpr const char* kDuplicate2 = "No Sera Tenido En Cuenta";
inline constexpr const char* kDuplicate3 = "Presione Una Tecla Para Continuar";
}  // namespace check_text

}  // namespace app
