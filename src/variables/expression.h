#pragma once
// Float expressions: a text is parsed once into a tree of nodes, which is evaluated any number of
// times against a context. Parsing never reports errors: unusable text gives no tree, or a tree whose
// unusable parts are missing and count as 0.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct expression_context_t;

namespace parser {

enum token_type_t : int32_t {
  TOKEN_END = 0,
  TOKEN_ERROR = 1,
  TOKEN_IDENTIFIER = 2,
  TOKEN_PLUS = 3,
  TOKEN_MINUS = 4,
  TOKEN_STAR = 5,
  TOKEN_SLASH = 6,
  TOKEN_QUESTION = 7,
  TOKEN_ASSIGN = 8,
  TOKEN_BANG = 9,
  TOKEN_TILDE = 10,
  TOKEN_INT = 11,
  TOKEN_FLOAT = 12,
  TOKEN_LPAREN = 14,
  TOKEN_RPAREN = 15,
  TOKEN_LBRACE = 16,
  TOKEN_RBRACE = 17,
  TOKEN_LBRACKET = 18,
  TOKEN_RBRACKET = 19,
  TOKEN_LESS = 20,
  TOKEN_LESS_EQUAL = 21,
  TOKEN_EQUAL = 22,
  TOKEN_NOT_EQUAL = 23,
  TOKEN_GREATER = 24,
  TOKEN_GREATER_EQUAL = 25,
  TOKEN_COMMA = 26,
  TOKEN_SEMICOLON = 27,
  TOKEN_COLON = 28,
};

enum expression_kind_t : int {
  EXPR_NAME = 0,
  EXPR_INT = 1,
  EXPR_FLOAT = 2,
  EXPR_PREFIX = 3,
  EXPR_BINOP = 4,
  EXPR_ASSIGNMENT = 5,
  EXPR_CALL = 6,
  EXPR_TERNARY = 7,
};

using expression_ptr_t = std::unique_ptr<class expression_t>;

// A node of a parsed tree; owns its children, any of which may be null (and then counts as 0).
class expression_t {
 public:
  virtual ~expression_t() = default;
  virtual float evaluate(const expression_context_t& context) const = 0;
  virtual int kind() const = 0;

  // Nesting depth of the subtree; the parser refuses trees too deep to evaluate safely.
  int depth = 1;
};

class name_expression_t : public expression_t {
 public:
  explicit name_expression_t(std::string name) : name(std::move(name)) {}
  float evaluate(const expression_context_t& context) const override;
  int kind() const override { return EXPR_NAME; }
  std::string name;
};

class int_expression_t : public expression_t {
 public:
  explicit int_expression_t(int32_t value) : value(value) {}
  float evaluate(const expression_context_t& context) const override;
  int kind() const override { return EXPR_INT; }
  int32_t value;
};

class float_expression_t : public expression_t {
 public:
  explicit float_expression_t(float value) : value(value) {}
  float evaluate(const expression_context_t& context) const override;
  int kind() const override { return EXPR_FLOAT; }
  float value;
};

class prefix_expression_t : public expression_t {
 public:
  prefix_expression_t(token_type_t op, expression_ptr_t operand);
  float evaluate(const expression_context_t& context) const override;
  int kind() const override { return EXPR_PREFIX; }
  token_type_t op;
  expression_ptr_t operand;
};

class binop_expression_t : public expression_t {
 public:
  binop_expression_t(token_type_t op, expression_ptr_t left, expression_ptr_t right);
  float evaluate(const expression_context_t& context) const override;
  int kind() const override { return EXPR_BINOP; }
  token_type_t op;
  expression_ptr_t left;
  expression_ptr_t right;
};

// Parsed but never carried out: evaluates to 0 and assigns nothing.
class assignment_expression_t : public expression_t {
 public:
  assignment_expression_t(expression_ptr_t left, expression_ptr_t right);
  float evaluate(const expression_context_t& context) const override;
  int kind() const override { return EXPR_ASSIGNMENT; }
  expression_ptr_t left;
  expression_ptr_t right;
};

class call_expression_t : public expression_t {
 public:
  call_expression_t(expression_ptr_t callee, std::vector<expression_ptr_t> arguments);
  float evaluate(const expression_context_t& context) const override;
  int kind() const override { return EXPR_CALL; }
  expression_ptr_t callee;
  std::vector<expression_ptr_t> arguments;
};

class ternary_expression_t : public expression_t {
 public:
  ternary_expression_t(expression_ptr_t condition, expression_ptr_t then_part, expression_ptr_t else_part);
  float evaluate(const expression_context_t& context) const override;
  int kind() const override { return EXPR_TERNARY; }
  expression_ptr_t condition;
  expression_ptr_t then_part;
  expression_ptr_t else_part;
};

// Deepest tree the parser builds; deeper texts give no tree instead of exhausting the stack.
constexpr int max_expression_depth = 256;

// Null when the text holds no usable expression; tokens after the first expression are ignored.
expression_ptr_t parse_expression(std::string_view text);
expression_ptr_t parse_expression_string(const std::string& text);

}  // namespace parser
