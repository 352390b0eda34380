#include "variables/expression_parser.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace parser {

namespace {

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

token_type_t two_char_token(char a, char b) {
  if (b != '=') return TOKEN_END;
  switch (a) {
    case '<':
      return TOKEN_LESS_EQUAL;
    case '=':
      return TOKEN_EQUAL;
    case '!':
      return TOKEN_NOT_EQUAL;
    case '>':
      return TOKEN_GREATER_EQUAL;
    default:
      return TOKEN_END;
  }
}

token_type_t single_char_token(char c) {
  switch (c) {
    case '!':
      return TOKEN_BANG;
    case '(':
      return TOKEN_LPAREN;
    case ')':
      return TOKEN_RPAREN;
    case '*':
      return TOKEN_STAR;
    case '+':
      return TOKEN_PLUS;
    case ',':
      return TOKEN_COMMA;
    case '-':
      return TOKEN_MINUS;
    case '/':
      return TOKEN_SLASH;
    case ':':
      return TOKEN_COLON;
    case ';':
      return TOKEN_SEMICOLON;
    case '<':
      return TOKEN_LESS;
    case '=':
      return TOKEN_ASSIGN;
    case '>':
      return TOKEN_GREATER;
    case '?':
      return TOKEN_QUESTION;
    case '[':
      return TOKEN_LBRACKET;
    case ']':
      return TOKEN_RBRACKET;
    case '{':
      return TOKEN_LBRACE;
    case '}':
      return TOKEN_RBRACE;
    case '~':
      return TOKEN_TILDE;
    default:
      return TOKEN_END;
  }
}

// Digits only; a value beyond the int range saturates instead of wrapping.
int32_t convert_int(std::string_view digits) {
  int64_t value = 0;
  for (char c : digits) {
    value = value * 10 + (c - '0');
    if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  }
  return static_cast<int32_t>(value);
}

// Digits, '.', digits; independent of the C locale's decimal point.
float convert_float(std::string_view number) {
  float value = 0.0f;
  auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
  (void)end;
  if (error == std::errc::result_out_of_range) {
    const bool integer_part_zero = number.find_first_not_of('0') == number.find('.');
    return integer_part_zero ? 0.0f : std::numeric_limits<float>::infinity();
  }
  return value;
}

}  // namespace

int binding_power(token_type_t type) {
  switch (type) {
    case TOKEN_PLUS:
    case TOKEN_MINUS:
      return 3;
    case TOKEN_STAR:
    case TOKEN_SLASH:
      return 4;
    case TOKEN_QUESTION:
    case TOKEN_ASSIGN:
    case TOKEN_COLON:
      return 1;
    case TOKEN_LPAREN:
      return 8;
    case TOKEN_LESS:
    case TOKEN_LESS_EQUAL:
    case TOKEN_EQUAL:
    case TOKEN_NOT_EQUAL:
    case TOKEN_GREATER:
    case TOKEN_GREATER_EQUAL:
      return 2;
    default:
      return 0;
  }
}

void parser_t::tokenize(std::string_view text) {
  source_ = text;
  tokens_.clear();
  cursor_ = 0;
  nesting_ = 0;
  refused_ = false;
  const size_t size = text.size();
  size_t i = 0;
  while (i < size) {
    const char c = text[i];
    if (is_space(c)) {
      ++i;
      continue;
    }
    token_t token;
    token.text = i;
    if (i + 1 < size && two_char_token(c, text[i + 1]) != TOKEN_END) {
      token.type = two_char_token(c, text[i + 1]);
      token.length = 2;
    } else if (single_char_token(c) != TOKEN_END) {
      token.type = single_char_token(c);
      token.length = 1;
    } else if (is_digit(c)) {
      size_t end = i;
      while (end < size && is_digit(text[end])) ++end;
      const bool has_point = end < size && text[end] == '.';
      if (has_point) {
        ++end;
        while (end < size && is_digit(text[end])) ++end;
      }
      if (end - i > max_number_length) {
        token.type = TOKEN_ERROR;
        token.length = size - i;
        tokens_.push_back(token);
        return;
      }
      const std::string_view number = text.substr(i, end - i);
      token.length = number.size();
      if (has_point) {
        token.type = TOKEN_FLOAT;
        token.float_value = convert_float(number);
      } else {
        token.type = TOKEN_INT;
        token.int_value = convert_int(number);
      }
    } else if (is_letter(c)) {
      size_t end = i + 1;
      while (end < size && (is_letter(text[end]) || is_digit(text[end]) || text[end] == '_')) ++end;
      token.type = TOKEN_IDENTIFIER;
      token.length = end - i;
    } else {
      token.type = TOKEN_ERROR;
      token.length = size - i;
      tokens_.push_back(token);
      return;
    }
    tokens_.push_back(token);
    i += token.length;
  }
}

const token_t& parser_t::next() {
  if (at_end()) return end_token_;
  return tokens_[cursor_++];
}

const token_t& parser_t::peek() const { return at_end() ? end_token_ : tokens_[cursor_]; }

expression_ptr_t parser_t::parse(int rbp) {
  // A text nested too deeply gives no tree at all, rather than a truncated one.
  if (refused_) return nullptr;
  if (nesting_ >= max_expression_depth) {
    refused_ = true;
    return nullptr;
  }
  ++nesting_;
  const token_t token = next();
  expression_ptr_t left;
  if (token.type != TOKEN_END && token.type != TOKEN_ERROR) left = parse_prefix(token);
  if (left) {
    while (!refused_ && !at_end() && binding_power(peek().type) > rbp) {
      const token_t op = next();
      left = parse_infix(op, std::move(left));
      if (left && left->depth > max_expression_depth) refused_ = true;
    }
  }
  --nesting_;
  if (refused_) return nullptr;
  return left;
}

expression_ptr_t parser_t::parse_prefix(const token_t& token) {
  switch (token.type) {
    case TOKEN_IDENTIFIER:
      return std::make_unique<name_expression_t>(std::string(source_.substr(token.text, token.length)));
    case TOKEN_MINUS:
      return std::make_unique<prefix_expression_t>(TOKEN_MINUS, parse(6));
    case TOKEN_INT:
      return std::make_unique<int_expression_t>(token.int_value);
    case TOKEN_FLOAT:
      return std::make_unique<float_expression_t>(token.float_value);
    case TOKEN_LPAREN: {
      expression_ptr_t inner = parse(0);
      if (peek().type == TOKEN_RPAREN && !at_end()) {
        next();
        return inner;
      }
      return nullptr;
    }
    default:
      return nullptr;
  }
}

expression_ptr_t parser_t::parse_infix(const token_t& token, expression_ptr_t left) {
  const int power = binding_power(token.type);
  switch (token.type) {
    case TOKEN_PLUS:
    case TOKEN_MINUS:
    case TOKEN_STAR:
    case TOKEN_SLASH:
    case TOKEN_LESS:
    case TOKEN_LESS_EQUAL:
    case TOKEN_EQUAL:
    case TOKEN_NOT_EQUAL:
    case TOKEN_GREATER:
    case TOKEN_GREATER_EQUAL: {
      expression_ptr_t right = parse(power);
      return std::make_unique<binop_expression_t>(token.type, std::move(left), std::move(right));
    }
    case TOKEN_QUESTION: {
      expression_ptr_t then_part = parse(1);
      if (at_end() || peek().type != TOKEN_COLON) return nullptr;
      next();
      expression_ptr_t else_part = parse(1);
      return std::make_unique<ternary_expression_t>(std::move(left), std::move(then_part),
                                                    std::move(else_part));
    }
    case TOKEN_ASSIGN: {
      expression_ptr_t right = parse(1);
      return std::make_unique<assignment_expression_t>(std::move(left), std::move(right));
    }
    case TOKEN_LPAREN: {
      std::vector<expression_ptr_t> arguments;
      while (!at_end() && peek().type != TOKEN_RPAREN) {
        arguments.push_back(parse(0));
        if (at_end() || peek().type != TOKEN_COMMA) break;
        next();
      }
      if (at_end() || peek().type != TOKEN_RPAREN) return nullptr;
      next();
      return std::make_unique<call_expression_t>(std::move(left), std::move(arguments));
    }
    default:
      // ':' outside a conditional, or a token without an infix rule.
      return nullptr;
  }
}

}  // namespace parser
