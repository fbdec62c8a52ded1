#include "app/ticket_lock.h"

#include <cmath>
#include <exception>

#include "runtime/text/convert.h"

namespace app {

namespace {

constexpr std::uint64_t kTicketWidth = 6;

std::uint64_t slot_of(std::uint64_t ticket) { return (ticket % kTicketSlots) * kTicketSlotWidth; }

// The machine that wrote the slot for this ticket; empty when the slot
// belongs to another ticket (two tickets sharing a slot) or is unreadable.
std::string holder(rt::os::File& file, std::uint64_t ticket) {
  std::string slot(kTicketSlotWidth, ' ');
  try {
    slot.resize(file.read_at(slot_of(ticket), slot.data(), slot.size()));
  } catch (const std::exception&) {
    return {};
  }
  if (slot.size() < kTicketWidth || slot.substr(0, kTicketWidth) != rt::text::str(static_cast<double>(ticket), 6))
    return {};
  return rt::text::trim(slot.substr(kTicketWidth));
}

}  // namespace

TicketLock::TicketLock(double ticket, const std::string& machine, rt::os::Env& env) {
  const auto number = static_cast<std::uint64_t>(std::fabs(ticket));
  offset_ = kTicketLockBase + number;
  try {
    file_ = env.open_file(kTicketLockFile, rt::os::OpenMode::OpenOrCreate);
  } catch (const std::exception&) {
    message_ = std::string("No Se Puede Abrir ") + kTicketLockFile + " En La Carpeta De Datos!!!";
    return;
  }
  if (!file_->try_lock(offset_, 1, rt::os::LockKind::Exclusive)) {
    const std::string who = holder(*file_, number);
    message_ = "Ticket En Control En Otra Estaci\xA2n" + (who.empty() ? std::string() : " (M\xA0quina " + who + ")") +
               "!!!";
    file_.reset();
    return;
  }
  held_ = true;
  std::string slot = rt::text::str(static_cast<double>(number), 6) + rt::text::trim(machine);
  slot.resize(kTicketSlotWidth, ' ');
  try {
    file_->write_at(slot_of(number), slot.data(), slot.size());
  } catch (const std::exception&) {
    // The slot only names the machine to others; the lock is what counts.
  }
}

TicketLock::~TicketLock() {
  if (held_ && file_) file_->unlock(offset_, 1);
}

}  // namespace app
