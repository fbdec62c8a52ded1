// Access control: who may work at the station and what the seller in charge
// may do.  Sellers are validated against the shared seller table `acceso2`
// (branch, record checksum, personal password); tasks are granted by the
// seller's own marks, by the task table `acceso` (no record, no password, a
// profile marked for the task) or by the task's or the master password typed
// into the "Clave de Acceso" box; another seller may authorise on the spot.
//
// Passwords are typed with a masked entry and stored scrambled; a plain
// password is never shown (apart from the brief echo of each typed character
// while a new one is typed), logged, written or put in a message.
#pragma once

#include <string>
#include <string_view>

#include "runtime/console/console.h"
#include "runtime/workarea/workareas.h"

namespace tools {

// The operator as the access control sees it.  The station keeps these in
// its run state and hands them over for each call.
struct Operator {
  int seller = 0;                             // VDDR, the seller in charge
  int branch = 0;                             // ID_SUC2, this station's branch
  std::string profile = std::string(9, ' ');  // PERFIL2, profile letters without blanks
  bool registra = false;                      // REGISTRA begins with "SI": cashiers load profiles too
};

// True when the environment value of REGISTRA, upper-cased, begins with "SI".
bool registra_on(std::string_view value);

// Task numbers this station asks for.
inline constexpr int kTaskChangePassword = 109;
inline constexpr int kTaskClose = 120;
inline constexpr int kTaskLeaveWithDifferences = 121;

// Screen texts (code page 850).
inline constexpr const char* kUnknownSeller = "Inexistente!!!";
inline constexpr const char* kWrongBranch = "Vendedor / Cajero No Habilitado en Esta Sucursal!";
inline constexpr const char* kBadChecksum = "Lo Siento, Existen Problemas De CRC En El Registro!!!";
inline constexpr const char* kPasswordBoxTitle = "\xAE Clave de Acceso  \xAF";
inline constexpr const char* kPasswordOk = "       OK!!!       ";
inline constexpr const char* kPasswordWrong = " Clave Inv\xA0lida!!! ";
inline constexpr const char* kAskAuthorisation = "Vendedor No Habilitado, Pide Autorizaci\xA2n?";
inline constexpr const char* kNotAllowed = "Vendedor No Habilitado!!";
inline constexpr const char* kSellerTableError = "No Se Puede Leer La Tabla De Vendedores!!!";
inline constexpr const char* kTaskTableError = "No Se Puede Leer La Tabla De Tareas!!!";

// TOMARSEC: masked entry of at most `la1` characters at (li1, co1).  Codes 32
// to 126 are taken upper-cased and shown as "*" (with `visi` each character
// shows for 0.2 s first); Backspace drops the last one; Enter or F1 end the
// entry; Esc ends it with "" and `toca1` 27 (else `toca1` is 0).  Every
// other key is ignored.  The echo uses the colour current on entry.
std::string tomarsec(rt::con::Console& con, int li1, int co1, int la1, int& toca1, bool visi = false);

// GET_CRC_31 over the current record of `area` (see passwords.h).
long long get_crc_31(rt::wa::Area& area);

// OK_VENDE: validates seller (que "VENDEDOR") or cashier ("CAJERO") number
// `quien` against the seller table open under the alias acceso2 (its seller
// number tag in control).  Refused: unknown number ("Inexistente!!!" box),
// another branch, a wrong record checksum, a wrong password or Esc.  On
// success the profile letters go to `op.profile` (for a cashier only with
// REGISTRA) and the table stands on the seller's record.  A correct password
// ended with F1 lets the seller change it when task 109 is granted: the new
// one is scrambled and written with a fresh checksum, in one record write,
// under the record's lock; Esc while typing it changes nothing.  Screen,
// colour and the selected work area are as on entry.  An error of the seller
// table is told (kSellerTableError) once everything is put back; it refuses,
// unless the seller was accepted before it (a new password not stored).
bool ok_vende(rt::con::Console& con, rt::wa::WorkAreas& wa, Operator& op, std::string_view que, double quien);

// PUEDE: may seller `op.seller` perform task `pasado`?  Granted by the
// seller's own mark in ITEMS, by the task table (no record for the task, a
// blank password, a PERFIL_ field marked for one of the profile letters), or
// by the task's or the master password typed into the password box.  A task
// record with a wrong checksum refuses; so does a task table held by another
// user (silently).  In supervisor mode (`modo_sup`) no box is shown: false.
bool puede(rt::con::Console& con, rt::wa::WorkAreas& wa, const Operator& op, int pasado, bool modo_sup = false);

// PUEDEN: PUEDE in supervisor mode, and when that refuses, the offer of an
// on-the-spot authorisation: another seller identifies (OK_VENDE with his
// own password), and PUEDE runs again with the authoriser's profile letters
// ("%" acts as Enter meanwhile).  The profile letters of `op.seller` are
// loaded back afterwards.  Refused: "Vendedor No Habilitado!!".
bool pueden(rt::con::Console& con, rt::wa::WorkAreas& wa, Operator& op, int pasado);

}  // namespace tools
