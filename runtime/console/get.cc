#include "runtime/console/get.h"

#include <algorithm>
#include <cctype>

#include "runtime/text/convert.h"

namespace rt::con {

// ------------------------------------------------------------------ Get

Get::Get(int row, int col, FieldType type, Getter get, Setter set, std::string picture)
    : row_(row),
      col_(col),
      type_(type),
      get_(std::move(get)),
      set_(std::move(set)),
      picture_text_(std::move(picture)),
      picture_(Picture::parse(picture_text_)) {}

Get Get::text(int row, int col, std::string& var, std::string picture) {
  return Get(row, col, FieldType::Text, [&var] { return Value(var); },
             [&var](const Value& v) { var = v.text(); }, std::move(picture));
}

Get Get::number(int row, int col, double& var, std::string picture) {
  return Get(row, col, FieldType::Number, [&var] { return Value(var); },
             [&var](const Value& v) { var = v.number(); }, std::move(picture));
}

Get Get::date(int row, int col, text::Date& var, std::string picture) {
  return Get(row, col, FieldType::Date, [&var] { return Value(var); },
             [&var](const Value& v) { var = v.date(); }, std::move(picture));
}

Get Get::bound(int row, int col, FieldType type, Getter get, Setter set, std::string picture) {
  return Get(row, col, type, std::move(get), std::move(set), std::move(picture));
}

std::string Get::display_text(const Console& con) const {
  const Value v = get_();
  switch (type_) {
    case FieldType::Number: return transform(Value(v.number()), picture_, 10);
    case FieldType::Date: return date_text(v.date(), con.settings().century);
    case FieldType::Text: break;
  }
  if (!picture_.mask.empty()) return text_into_mask(v.text(), picture_.mask, picture_.upper, true);
  return transform(Value(v.text()), picture_, static_cast<int>(v.text().size()));
}

int Get::screen_width(const Console& con) const {
  const int full = static_cast<int>(display_text(con).size());
  return picture_.scroll_width > 0 ? std::min(full, picture_.scroll_width) : full;
}

void show_field(Console& con, const Get& g) {
  std::string shown = g.display_text(con);
  shown.resize(static_cast<std::size_t>(g.screen_width(con)));
  con.put(g.row(), g.col(), shown, con.colors().unselected());
}

Get& Form::add(Console& con, Get g) {
  gets_.push_back(std::move(g));
  show_field(con, gets_.back());
  return gets_.back();
}

// ----------------------------------------------------------- FieldEditor

// Edits one field until it is left.
class FieldEditor {
 public:
  enum class Exit { Next, Prev, End, Escape };

  FieldEditor(Console& con, Get& g) : con_(con), g_(g) {}

  Exit edit() {
    build_mask();
    load();
    pos_ = first_slot();
    while (true) {
      draw(con_.colors().enhanced());
      con_.setpos(g_.row_, g_.col_ + pos_ - offset_);
      const int k = con_.wait_key_for_form();
      std::optional<Exit> exit = handle(k);
      if (!exit) continue;
      if (*exit == Exit::Escape) {
        load();
        draw(con_.colors().unselected());
        return Exit::Escape;
      }
      if (leave()) return *exit;
    }
  }

 private:
  std::optional<Exit> handle(int k) {
    switch (k) {
      case key::kEnter:
      case key::kDown:
      case key::kTab: return Exit::Next;
      case key::kUp:
      case key::kShiftTab: return Exit::Prev;
      case key::kPgDn:
      case key::kPgUp:
      case key::kCtrlW: return Exit::End;
      case key::kEsc:
        if (con_.settings().escape_in_forms) return Exit::Escape;
        return std::nullopt;
      case key::kLeft: {
        const int p = prev_slot(pos_);
        if (p >= 0) pos_ = p;
        return std::nullopt;
      }
      case key::kRight: {
        const int n = next_slot(pos_);
        if (n >= 0) pos_ = n;
        return std::nullopt;
      }
      case key::kHome: pos_ = first_slot(); return std::nullopt;
      case key::kEnd: {
        int p = first_slot();
        for (int i = 0; i < width(); ++i) {
          if (slot(i) && buf_[static_cast<std::size_t>(i)] != ' ') {
            const int n = next_slot(i);
            p = n >= 0 ? n : i;
          }
        }
        pos_ = p;
        return std::nullopt;
      }
      case key::kIns: con_.set_insert_mode(!con_.insert_mode()); return std::nullopt;
      case key::kBackspace: {
        const int p = prev_slot(pos_);
        if (p < 0) return std::nullopt;
        pos_ = p;
        remove_at(pos_);
        return std::nullopt;
      }
      case key::kDel: remove_at(pos_); return std::nullopt;
      case key::kCtrlY:
        for (int i = pos_; i < width(); ++i) {
          if (slot(i)) buf_[static_cast<std::size_t>(i)] = ' ';
        }
        changed_ = true;
        return std::nullopt;
      default: break;
    }
    if (k >= 32 && k <= 255) return type_char(static_cast<char>(k));
    return std::nullopt;
  }

  int width() const { return static_cast<int>(mask_.size()); }
  bool slot(int i) const {
    return i >= 0 && i < width() && Picture::is_slot(mask_[static_cast<std::size_t>(i)]);
  }
  int first_slot() const {
    for (int i = 0; i < width(); ++i) {
      if (slot(i)) return i;
    }
    return 0;
  }
  int next_slot(int i) const {
    for (int n = i + 1; n < width(); ++n) {
      if (slot(n)) return n;
    }
    return -1;
  }
  int prev_slot(int i) const {
    for (int p = i - 1; p >= 0; --p) {
      if (slot(p)) return p;
    }
    return -1;
  }
  bool only_slots() const {
    for (int i = 0; i < width(); ++i) {
      if (!slot(i)) return false;
    }
    return true;
  }

  void build_mask() {
    const Picture& pic = g_.picture_;
    switch (g_.type_) {
      case FieldType::Date:
        mask_ = con_.settings().century ? "99/99/9999" : "99/99/99";
        break;
      case FieldType::Number:
        mask_ = pic.mask.empty() ? std::string(10, '#') : pic.mask;
        for (char& m : mask_) {
          if (m == '9') m = '#';  // digits, blanks and signs
        }
        break;
      case FieldType::Text: {
        if (!pic.mask.empty()) {
          mask_ = pic.mask;
        } else {
          mask_.assign(g_.get_().text().size(), pic.upper ? '!' : 'X');
        }
        if (pic.upper) {
          for (char& m : mask_) {
            if (m == 'X') m = '!';
          }
        }
        break;
      }
    }
  }

  // The buffer from the variable.
  void load() {
    buf_ = g_.display_text(con_);
    buf_.resize(mask_.size(), ' ');
    changed_ = false;
    fresh_ = true;
  }

  void draw(Attr attr) {
    const int shown = g_.picture_.scroll_width > 0 ? std::min(width(), g_.picture_.scroll_width) : width();
    if (pos_ < offset_) offset_ = pos_;
    if (shown > 0 && pos_ >= offset_ + shown) offset_ = pos_ - shown + 1;
    if (offset_ + shown > width()) offset_ = std::max(0, width() - shown);
    con_.put(g_.row_, g_.col_, buf_.substr(static_cast<std::size_t>(offset_), static_cast<std::size_t>(shown)), attr);
  }

  void remove_at(int p) {
    if (!slot(p)) return;
    if (only_slots()) {
      buf_.erase(static_cast<std::size_t>(p), 1);
      buf_ += ' ';
    } else {
      buf_[static_cast<std::size_t>(p)] = ' ';
    }
    changed_ = true;
    fresh_ = false;
  }

  static bool accepts(char m, char c, FieldType type) {
    const unsigned char u = static_cast<unsigned char>(c);
    const bool digit = std::isdigit(u) != 0;
    const bool letter = std::isalpha(u) != 0 || u >= 128;
    switch (m) {
      case '9': return digit || (type == FieldType::Number && (c == '-' || c == '+'));
      case '#': return digit || c == ' ' || c == '-' || c == '+' || (type == FieldType::Number && c == '.');
      case 'A': return letter;
      case 'N': return letter || digit;
      case 'L':
      case 'Y': {
        const char up = static_cast<char>(std::toupper(u));
        return up == 'Y' || up == 'N' || up == 'T' || up == 'F' || up == 'S';
      }
      default: return true;
    }
  }

  std::optional<Exit> type_char(char c) {
    if (!slot(pos_)) return std::nullopt;
    if (fresh_ && pos_ == first_slot() && (g_.type_ == FieldType::Number || g_.picture_.clear_first)) {
      for (int i = 0; i < width(); ++i) {
        if (slot(i)) buf_[static_cast<std::size_t>(i)] = ' ';
      }
    }
    if (g_.type_ == FieldType::Number && c == '.') {
      decimal_point();
      return std::nullopt;
    }
    const char m = mask_[static_cast<std::size_t>(pos_)];
    if (!accepts(m, c, g_.type_)) return std::nullopt;
    if (m == '!' || m == 'L' || m == 'Y' || g_.picture_.upper) {
      c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    if (con_.insert_mode() && only_slots()) {
      buf_.insert(static_cast<std::size_t>(pos_), 1, c);
      buf_.pop_back();
    } else {
      buf_[static_cast<std::size_t>(pos_)] = c;
    }
    changed_ = true;
    fresh_ = false;
    const int n = next_slot(pos_);
    if (n >= 0) {
      pos_ = n;
      return std::nullopt;
    }
    // Typed full: with confirm on the field waits for Enter.
    if (con_.settings().confirm) return std::nullopt;
    return Exit::Next;
  }

  // "." in a number: the digits typed so far go right-aligned before the
  // template's decimal point and the cursor moves after it.
  void decimal_point() {
    const auto point = mask_.find('.');
    fresh_ = false;
    changed_ = true;
    if (point == std::string::npos) return;
    std::string digits;
    for (std::size_t i = 0; i < point; ++i) {
      if (slot(static_cast<int>(i)) && buf_[i] != ' ') digits += buf_[i];
    }
    int d = static_cast<int>(digits.size()) - 1;
    for (int i = static_cast<int>(point) - 1; i >= 0; --i) {
      if (!slot(i)) continue;
      buf_[static_cast<std::size_t>(i)] = d >= 0 ? digits[static_cast<std::size_t>(d--)] : ' ';
    }
    for (std::size_t i = point + 1; i < mask_.size(); ++i) {
      if (slot(static_cast<int>(i))) buf_[i] = '0';
    }
    const int n = next_slot(static_cast<int>(point));
    if (n >= 0) pos_ = n;
  }

  // The variable takes the buffer (when it changed) and VALID decides.
  bool leave() {
    if (changed_) {
      switch (g_.type_) {
        case FieldType::Text: {
          // A template shorter than the variable does not shorten it.
          const std::size_t had = g_.get_().text().size();
          g_.set_(Value(buf_.size() < had ? text::pad_right(buf_, had) : buf_));
          break;
        }
        case FieldType::Number: {
          std::string digits;
          for (int i = 0; i < width(); ++i) {
            const char c = buf_[static_cast<std::size_t>(i)];
            if (slot(i) || c == '.') digits += c;
          }
          std::string compact;
          for (char c : digits) {
            if (c != ' ') compact += c;
          }
          g_.set_(Value(text::val(compact)));
          break;
        }
        case FieldType::Date: {
          const auto d = text::ctod(buf_, con_.settings().date_window);
          if (!d) {
            // Not a real day: the field stays open on its first place.
            con_.tone(1000, 1);
            pos_ = first_slot();
            return false;
          }
          g_.set_(Value(*d));
          break;
        }
      }
    }
    if (g_.valid_ && !g_.valid_()) {
      load();
      pos_ = first_slot();
      offset_ = 0;
      return false;
    }
    load();
    pos_ = first_slot();
    offset_ = 0;
    draw(con_.colors().unselected());
    return true;
  }

  Console& con_;
  Get& g_;
  std::string mask_;
  std::string buf_;
  int pos_ = 0;
  int offset_ = 0;
  bool changed_ = false;
  bool fresh_ = true;
};

// ------------------------------------------------------------ READMODAL

namespace {

struct ActiveFormGuard {
  Console& con;
  Form* previous;
  ActiveFormGuard(Console& c, Form* f) : con(c), previous(c.active_form()) { con.set_active_form(f); }
  ~ActiveFormGuard() { con.set_active_form(previous); }
};

}  // namespace

bool Form::read(Console& con) {
  ActiveFormGuard guard(con, this);
  for (const Get& g : gets_) show_field(con, g);
  auto enterable = [&](int i) {
    Get& g = gets_[static_cast<std::size_t>(i)];
    if (g.type_ == FieldType::Text && g.picture_.mask.empty() && g.get_().text().empty()) return false;
    return !g.when_ || g.when_();
  };
  const int n = static_cast<int>(gets_.size());
  int i = 0;
  while (i < n && !enterable(i)) ++i;
  bool result = true;
  while (i < n) {
    current_ = i;
    const FieldEditor::Exit exit = FieldEditor(con, gets_[static_cast<std::size_t>(i)]).edit();
    if (exit == FieldEditor::Exit::Escape) {
      result = false;
      break;
    }
    if (exit == FieldEditor::Exit::End) break;
    if (exit == FieldEditor::Exit::Next) {
      int j = i + 1;
      while (j < n && !enterable(j)) ++j;
      i = j;  // past the last field: the form ends
    } else {
      int j = i - 1;
      while (j >= 0 && !enterable(j)) --j;
      if (j >= 0) i = j;
    }
  }
  current_ = -1;
  return result;
}

}  // namespace rt::con
