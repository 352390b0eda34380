#include "variables/expression.h"

#include <algorithm>
#include <array>

#include "variables/expression_context.h"
#include "variables/expression_parser.h"

namespace parser {

namespace {

int depth_of(const expression_ptr_t& node) { return node ? node->depth : 0; }

float evaluate_or_zero(const expression_ptr_t& node, const expression_context_t& context) {
  return node ? node->evaluate(context) : 0.0f;
}

}  // namespace

float name_expression_t::evaluate(const expression_context_t& context) const {
  const float* value = context.find_variable(name);
  return value ? *value : 0.0f;
}

float int_expression_t::evaluate(const expression_context_t&) const { return static_cast<float>(value); }

float float_expression_t::evaluate(const expression_context_t&) const { return value; }

prefix_expression_t::prefix_expression_t(token_type_t op, expression_ptr_t operand)
    : op(op), operand(std::move(operand)) {
  depth = 1 + depth_of(this->operand);
}

float prefix_expression_t::evaluate(const expression_context_t& context) const {
  if (op != TOKEN_MINUS) return 0.0f;
  return -evaluate_or_zero(operand, context);
}

binop_expression_t::binop_expression_t(token_type_t op, expression_ptr_t left, expression_ptr_t right)
    : op(op), left(std::move(left)), right(std::move(right)) {
  depth = 1 + std::max(depth_of(this->left), depth_of(this->right));
}

float binop_expression_t::evaluate(const expression_context_t& context) const {
  const float a = evaluate_or_zero(left, context);
  const float b = evaluate_or_zero(right, context);
  switch (op) {
    case TOKEN_PLUS:
      return a + b;
    case TOKEN_MINUS:
      return a - b;
    case TOKEN_STAR:
      return a * b;
    case TOKEN_SLASH:
      // Dividing by exactly zero yields 0 rather than an infinity that would spread through a curve.
      return b == 0.0f ? 0.0f : a / b;
    case TOKEN_LESS:
      return a < b ? 1.0f : 0.0f;
    case TOKEN_LESS_EQUAL:
      return a <= b ? 1.0f : 0.0f;
    case TOKEN_GREATER:
      return a > b ? 1.0f : 0.0f;
    case TOKEN_GREATER_EQUAL:
      return a >= b ? 1.0f : 0.0f;
    case TOKEN_EQUAL:
      return a == b ? 1.0f : 0.0f;
    case TOKEN_NOT_EQUAL:
      return a != b ? 1.0f : 0.0f;
    default:
      return 0.0f;
  }
}

assignment_expression_t::assignment_expression_t(expression_ptr_t left, expression_ptr_t right)
    : left(std::move(left)), right(std::move(right)) {
  depth = 1 + std::max(depth_of(this->left), depth_of(this->right));
}

float assignment_expression_t::evaluate(const expression_context_t&) const { return 0.0f; }

call_expression_t::call_expression_t(expression_ptr_t callee, std::vector<expression_ptr_t> arguments)
    : callee(std::move(callee)), arguments(std::move(arguments)) {
  int deepest = depth_of(this->callee);
  for (const expression_ptr_t& argument : this->arguments) deepest = std::max(deepest, depth_of(argument));
  depth = 1 + deepest;
}

float call_expression_t::evaluate(const expression_context_t& context) const {
  if (!callee || callee->kind() != EXPR_NAME) return 0.0f;
  const function_base_t* function =
      context.find_function(static_cast<const name_expression_t&>(*callee).name);
  if (!function) return 0.0f;

  // Evaluated per frame: a few arguments fit on the stack; only unusually long lists allocate.
  constexpr size_t inline_count = 8;
  std::array<float, inline_count> inline_values{};
  std::vector<float> spilled;
  float* values = inline_values.data();
  if (arguments.size() > inline_count) {
    spilled.resize(arguments.size());
    values = spilled.data();
  }
  for (size_t i = 0; i < arguments.size(); ++i) values[i] = evaluate_or_zero(arguments[i], context);
  return function->call(std::span<const float>(values, arguments.size()));
}

ternary_expression_t::ternary_expression_t(expression_ptr_t condition, expression_ptr_t then_part,
                                           expression_ptr_t else_part)
    : condition(std::move(condition)), then_part(std::move(then_part)), else_part(std::move(else_part)) {
  depth = 1 + std::max({depth_of(this->condition), depth_of(this->then_part), depth_of(this->else_part)});
}

float ternary_expression_t::evaluate(const expression_context_t& context) const {
  if (!condition || !then_part || !else_part) return 0.0f;
  if (condition->evaluate(context) == 0.0f) return else_part->evaluate(context);
  return then_part->evaluate(context);
}

expression_ptr_t parse_expression(std::string_view text) {
  parser_t parser;
  parser.tokenize(text);
  expression_ptr_t tree = parser.parse(0);
  return parser.refused() ? nullptr : std::move(tree);
}

expression_ptr_t parse_expression_string(const std::string& text) { return parse_expression(text); }

}  // namespace parser
