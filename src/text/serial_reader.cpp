#include "text/serial_reader.h"

#include <array>
#include <cstdlib>
#include <limits>

#include <fmt/printf.h>

namespace serial {
namespace {

enum char_class_t : uint8_t {
  class_whitespace = 1,
  class_line_end = 2,
  class_word = 4,
  class_key = 8,
};

constexpr std::array<uint8_t, 256> make_char_classes() {
  std::array<uint8_t, 256> classes{};
  classes['\t'] = class_whitespace;
  classes[' '] = class_whitespace;
  classes['\r'] = class_whitespace | class_line_end;
  classes['\n'] = class_whitespace | class_line_end;
  auto word = [&](int c) { classes[c] = class_word | class_key; };
  for (int c = 'A'; c <= 'Z'; ++c) word(c);
  for (int c = 'a'; c <= 'z'; ++c) word(c);
  for (int c = '0'; c <= '9'; ++c) word(c);
  word('-');
  word('_');
  classes['.'] = class_key;
  classes[':'] = class_key;
  return classes;
}

constexpr std::array<uint8_t, 256> char_classes = make_char_classes();

bool has_class(char c, uint8_t bits) { return (char_classes[static_cast<uint8_t>(c)] & bits) != 0; }

bool is_number_char(char c) { return (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'; }

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Guards the stack against hostile nesting; real files stay far below it.
constexpr int max_nesting = 256;

int32_t truncate_to_int(float f) {
  if (!(f == f)) return 0;
  if (f >= 2147483648.0f) return std::numeric_limits<int32_t>::max();
  if (f <= -2147483648.0f) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(f);
}

struct number_t {
  bool is_float = false;
  int32_t i = 0;
  float f = 0.0f;
  float as_float() const { return is_float ? f : static_cast<float>(i); }
  int32_t as_int() const { return is_float ? truncate_to_int(f) : i; }
};

enum class table_kind_t { table, array_of_tables };

}  // namespace

// State of one parse; nothing survives it but the result.
class parser_t {
 public:
  parser_t(std::string_view text, const std::string& source_name)
      : begin_(text.data()),
        end_(text.data() + text.size()),
        cur_(begin_),
        line_start_(begin_),
        source_name_(source_name) {}

  parse_result_t parse_document();

 private:
  bool at_end() const { return cur_ >= end_; }
  void skip_whitespace();
  void consume_line_end();
  template <typename... args_t>
  bool error(const char* format, const args_t&... args);
  bool bare_error(std::string message);
  std::string_view read_identifier(uint8_t char_class);
  bool read_until(char c, std::string_view& out);
  bool read_number(number_t& out);
  std::unique_ptr<value_t> parse_value(int depth);
  std::unique_ptr<value_t> parse_array(int depth);
  std::unique_ptr<value_t> parse_inline_table(int depth);
  std::unique_ptr<value_t> parse_vector(value_kind_t kind, int count, bool floats);
  std::unique_ptr<value_t> parse_color();
  std::unique_ptr<value_t> parse_hex();
  std::unique_ptr<value_t> parse_binary();
  bool expect(char c);
  bool match(std::string_view literal);
  value_t* open_table(value_t* start, std::string_view name, table_kind_t kind);

  const char* begin_;
  const char* end_;
  const char* cur_;
  int32_t line_ = 1;
  const char* line_start_;
  const std::string& source_name_;
  std::string error_;
};

void parser_t::consume_line_end() {
  char c = *cur_++;
  if (c == '\r' && cur_ < end_ && *cur_ == '\n') ++cur_;
  ++line_;
  line_start_ = cur_;
}

void parser_t::skip_whitespace() {
  while (cur_ < end_) {
    char c = *cur_;
    if (has_class(c, class_line_end)) {
      consume_line_end();
    } else if (has_class(c, class_whitespace)) {
      ++cur_;
    } else if (c == '#') {
      while (cur_ < end_ && !has_class(*cur_, class_line_end)) ++cur_;
      if (cur_ < end_) consume_line_end();
    } else {
      return;
    }
  }
}

template <typename... args_t>
bool parser_t::error(const char* format, const args_t&... args) {
  std::string message = fmt::sprintf(format, args...);
  if (!source_name_.empty()) {
    error_ = fmt::sprintf("Error: %s\n%s(%d)", message, source_name_, line_);
  } else {
    const char* line_end = line_start_;
    while (line_end < end_ && !has_class(*line_end, class_line_end)) ++line_end;
    if (line_end < end_) ++line_end;
    std::string line_text(line_start_, line_end);
    error_ = fmt::sprintf("Error: %s on line: %d, %s", message, line_, line_text);
  }
  return false;
}

bool parser_t::bare_error(std::string message) {
  error_ = std::move(message);
  return false;
}

std::string_view parser_t::read_identifier(uint8_t char_class) {
  const char* start = cur_;
  while (cur_ < end_ && has_class(*cur_, char_class)) ++cur_;
  return std::string_view(start, cur_ - start);
}

bool parser_t::read_until(char c, std::string_view& out) {
  const char* start = cur_;
  while (cur_ < end_ && *cur_ != c) ++cur_;
  if (cur_ >= end_) return error("eof looking for: %c", c);
  out = std::string_view(start, cur_ - start);
  ++cur_;
  return true;
}

bool parser_t::read_number(number_t& out) {
  const char* start = cur_;
  bool has_dot = false;
  while (cur_ < end_ && is_number_char(*cur_)) {
    has_dot = has_dot || *cur_ == '.';
    ++cur_;
  }
  // The run holds only digits, signs and dots, so strtof/strtoll read exactly
  // the longest valid prefix, as scanf's %f and %d would.
  std::string run(start, cur_);
  char* stop = nullptr;
  if (has_dot) {
    out.is_float = true;
    out.f = std::strtof(run.c_str(), &stop);
  } else {
    out.is_float = false;
    long long value = std::strtoll(run.c_str(), &stop, 10);
    out.i = static_cast<int32_t>(value);
  }
  return stop != run.c_str();
}

bool parser_t::expect(char c) {
  if (at_end()) return error("expected: %c, got eof", c);
  char got = *cur_++;
  if (got != c) return error("expected: %c, got %c", c, got);
  return true;
}

bool parser_t::match(std::string_view literal) {
  if (static_cast<size_t>(end_ - cur_) < literal.size() || std::string_view(cur_, literal.size()) != literal)
    return false;
  cur_ += literal.size();
  return true;
}

std::unique_ptr<value_t> parser_t::parse_hex() {
  // After the prefix, scanf's %x skips whitespace, takes a sign and an optional
  // second prefix; without a digit it consumes nothing.
  const char* p = cur_;
  while (p < end_ && (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\v' || *p == '\f')) ++p;
  bool negative = false;
  if (p < end_ && (*p == '+' || *p == '-')) {
    negative = *p == '-';
    ++p;
  }
  if (end_ - p >= 3 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && hex_digit(p[2]) >= 0) p += 2;
  uint64_t value = 0;
  const char* digits = p;
  while (p < end_ && hex_digit(*p) >= 0) {
    if (value <= (std::numeric_limits<uint64_t>::max() >> 4))
      value = (value << 4) | static_cast<uint64_t>(hex_digit(*p));
    else
      value = std::numeric_limits<uint64_t>::max();
    ++p;
  }
  auto node = std::make_unique<value_t>(value_kind_t::int_);
  if (p == digits) return node;
  if (negative) value = ~value + 1;
  node->payload.i[0] = static_cast<int32_t>(static_cast<uint32_t>(value));
  cur_ = p;
  return node;
}

std::unique_ptr<value_t> parser_t::parse_binary() {
  uint32_t value = 0;
  while (cur_ < end_ && (*cur_ == '0' || *cur_ == '1')) {
    value = (value << 1) | static_cast<uint32_t>(*cur_ - '0');
    ++cur_;
  }
  auto node = std::make_unique<value_t>(value_kind_t::int_);
  node->payload.i[0] = static_cast<int32_t>(value);
  return node;
}

std::unique_ptr<value_t> parser_t::parse_vector(value_kind_t kind, int count, bool floats) {
  auto node = std::make_unique<value_t>(kind);
  for (int index = 0; index < count; ++index) {
    skip_whitespace();
    number_t number;
    if (!read_number(number)) {
      error(floats ? "error parsing float for vector" : "error parsing int for vector");
      return nullptr;
    }
    if (floats)
      node->payload.f[index] = number.as_float();
    else
      node->payload.i[index] = number.as_int();
    skip_whitespace();
    if (!expect(index + 1 < count ? ',' : ')')) return nullptr;
  }
  return node;
}

std::unique_ptr<value_t> parser_t::parse_color() {
  auto node = std::make_unique<value_t>(value_kind_t::color);
  int count = 0;
  for (;;) {
    skip_whitespace();
    if (match(")")) break;
    number_t number;
    if (!read_number(number)) {
      error("error parsing int/float for color");
      return nullptr;
    }
    if (count < 4) node->payload.f[count] = number.as_float();
    ++count;
    skip_whitespace();
    if (!at_end() && *cur_ == ',') ++cur_;
  }
  if (count == 3) {
    node->payload.f[3] = 1.0f;
  } else if (count != 4) {
    error("unsupported length for color variable: %d", count);
    return nullptr;
  }
  return node;
}

std::unique_ptr<value_t> parser_t::parse_array(int depth) {
  ++cur_;
  auto node = std::make_unique<value_t>(value_kind_t::array);
  skip_whitespace();
  while (!at_end()) {
    if (*cur_ == ']') {
      ++cur_;
      break;
    }
    const char* before = cur_;
    auto item = parse_value(depth + 1);
    if (!item) return nullptr;
    node->items.push_back(std::move(item));
    if (!at_end() && *cur_ == ',') ++cur_;
    if (cur_ == before) {
      // A character that starts no value would otherwise stall the array forever.
      error("unexpected character in array: %c", *cur_);
      return nullptr;
    }
    skip_whitespace();
  }
  return node;
}

std::unique_ptr<value_t> parser_t::parse_inline_table(int depth) {
  ++cur_;
  auto node = std::make_unique<value_t>(value_kind_t::table);
  for (;;) {
    skip_whitespace();
    if (at_end()) break;
    if (*cur_ == '}') {
      ++cur_;
      break;
    }
    std::string key(read_identifier(class_key));
    skip_whitespace();
    if (!expect('=')) return nullptr;
    skip_whitespace();
    auto child = parse_value(depth + 1);
    if (!child) return nullptr;
    node->children[key] = std::move(child);
    if (!at_end() && *cur_ == ',') ++cur_;
  }
  return node;
}

std::unique_ptr<value_t> parser_t::parse_value(int depth) {
  if (at_end()) {
    bare_error("unexpected end of file");
    return nullptr;
  }
  if (depth > max_nesting) {
    error("values nested too deeply");
    return nullptr;
  }
  if (match("0x") || match("0X")) return parse_hex();
  if (match("0b") || match("0B")) return parse_binary();
  char c = *cur_;
  if (c == '[') return parse_array(depth);
  if (c == '{') return parse_inline_table(depth);
  if (c == '"') {
    ++cur_;
    std::string_view text;
    if (!read_until('"', text)) return nullptr;
    auto node = std::make_unique<value_t>(value_kind_t::string);
    node->text = text;
    return node;
  }
  if (is_number_char(c)) {
    number_t number;
    if (!read_number(number)) {
      bare_error("error parsing int/float value");
      return nullptr;
    }
    auto node = std::make_unique<value_t>(number.is_float ? value_kind_t::float_ : value_kind_t::int_);
    if (number.is_float)
      node->payload.f[0] = number.f;
    else
      node->payload.i[0] = number.i;
    return node;
  }
  static constexpr struct {
    const char* literal;
    value_kind_t kind;
    int count;
    bool floats;
  } vectors[] = {
      {"int2(", value_kind_t::int2, 2, false},    {"int3(", value_kind_t::int3, 3, false},
      {"int4(", value_kind_t::int4, 4, false},    {"float2(", value_kind_t::float2, 2, true},
      {"float3(", value_kind_t::float3, 3, true}, {"float4(", value_kind_t::float4, 4, true},
  };
  for (const auto& vector : vectors)
    if (match(vector.literal)) return parse_vector(vector.kind, vector.count, vector.floats);
  if (match("color(")) return parse_color();
  std::string_view word = read_identifier(class_word);
  if (word == "true" || word == "false") {
    auto node = std::make_unique<value_t>(value_kind_t::bool_);
    node->payload.i[0] = word == "true" ? 1 : 0;
    return node;
  }
  auto node = std::make_unique<value_t>(value_kind_t::string);
  node->text = word;
  return node;
}

value_t* parser_t::open_table(value_t* start, std::string_view name, table_kind_t kind) {
  std::vector<std::string_view> pieces;
  size_t from = 0;
  while (from <= name.size()) {
    size_t dot = name.find('.', from);
    if (dot == std::string_view::npos) dot = name.size();
    if (dot > from) pieces.push_back(name.substr(from, dot - from));
    from = dot + 1;
  }
  if (pieces.empty()) {
    bare_error("invalid key");
    return nullptr;
  }
  if (pieces.size() > max_nesting) {
    error("key nested too deeply");
    return nullptr;
  }
  auto new_table = [] { return std::make_unique<value_t>(value_kind_t::table); };
  value_t* node = start;
  for (size_t index = 0; index + 1 < pieces.size(); ++index) {
    std::string piece(pieces[index]);
    auto it = node->children.find(piece);
    if (it != node->children.end()) {
      value_t* child = it->second.get();
      if (child->kind == value_kind_t::table) {
        node = child;
      } else if (child->kind == value_kind_t::array) {
        if (child->items.empty()) child->items.push_back(new_table());
        node = child->items.back().get();
      } else {
        bare_error(fmt::sprintf("error creating sub: %s (unsupported type)", piece));
        return nullptr;
      }
    } else if (node->kind == value_kind_t::table) {
      node = (node->children[piece] = new_table()).get();
    } else if (node->kind == value_kind_t::array) {
      node->items.push_back(new_table());
      node = node->items.back().get();
    } else {
      bare_error(fmt::sprintf("error creating sub: %s (unsupported type)", piece));
      return nullptr;
    }
  }
  std::string last(pieces.back());
  if (node->kind == value_kind_t::table) {
    auto it = node->children.find(last);
    if (it != node->children.end()) {
      value_t* child = it->second.get();
      if (kind == table_kind_t::table) return child;
      child->items.push_back(new_table());
      return child->items.back().get();
    }
    if (kind == table_kind_t::table) return (node->children[last] = new_table()).get();
    auto array = std::make_unique<value_t>(value_kind_t::array);
    array->items.push_back(new_table());
    value_t* table = array->items.back().get();
    node->children[last] = std::move(array);
    return table;
  }
  if (kind == table_kind_t::table) {
    node->items.push_back(new_table());
    return node->items.back().get();
  }
  auto array = std::make_unique<value_t>(value_kind_t::array);
  array->items.push_back(new_table());
  value_t* table = array->items.back().get();
  node->items.push_back(std::move(array));
  return table;
}

// Every node knows its parent, so that a reader can say where a bad value sits.
static void link_parents(value_t& root) {
  std::vector<value_t*> pending{&root};
  while (!pending.empty()) {
    value_t* node = pending.back();
    pending.pop_back();
    for (auto& [name, child] : node->children) {
      child->parent = node;
      pending.push_back(child.get());
    }
    for (auto& item : node->items) {
      item->parent = node;
      pending.push_back(item.get());
    }
  }
}

parse_result_t parser_t::parse_document() {
  auto root = std::make_unique<value_t>(value_kind_t::table);
  value_t* current = root.get();
  auto failed = [this] { return tl::unexpected(std::move(error_)); };
  for (;;) {
    skip_whitespace();
    if (at_end()) {
      link_parents(*root);
      return root;
    }
    if (match("[[")) {
      std::string_view name;
      if (!read_until(']', name) || !expect(']')) return failed();
      current = open_table(root.get(), name, table_kind_t::array_of_tables);
      if (!current) return failed();
    } else if (*cur_ == '[') {
      ++cur_;
      std::string_view name;
      if (!read_until(']', name)) return failed();
      current = open_table(root.get(), name, table_kind_t::table);
      if (!current) return failed();
    } else {
      std::string_view key = read_identifier(class_key);
      value_t* target = current;
      std::string leaf(key);
      size_t dot = key.rfind('.');
      if (dot != std::string_view::npos) {
        target = open_table(current, key.substr(0, dot), table_kind_t::table);
        if (!target) return failed();
        leaf = std::string(key.substr(dot + 1));
      }
      skip_whitespace();
      if (!expect('=')) return failed();
      skip_whitespace();
      auto value = parse_value(0);
      if (!value) return failed();
      target->children[leaf] = std::move(value);
    }
  }
}

parse_result_t parse_text(std::string_view text, const std::string& source_name) {
  parser_t parser(text, source_name);
  return parser.parse_document();
}

}  // namespace serial
