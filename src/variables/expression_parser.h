#pragma once
// Tokenizer and Pratt parser of the expression language; one parser_t serves one parse.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "variables/expression.h"

namespace parser {

struct token_t {
  token_type_t type = TOKEN_END;
  size_t text = 0;    // position of the first character in the source
  size_t length = 0;  // characters
  int32_t int_value = 0;
  float float_value = 0;
};

// Longest number the tokenizer converts; a longer run of digits is an error token.
constexpr size_t max_number_length = 63;

class parser_t {
 public:
  // Replaces the token list with the tokens of the text and rewinds the cursor.
  void tokenize(std::string_view text);
  // One expression with the given binding power; null when there is none.
  expression_ptr_t parse(int rbp);
  expression_ptr_t parse_prefix(const token_t& token);
  expression_ptr_t parse_infix(const token_t& token, expression_ptr_t left);

  const std::vector<token_t>& tokens() const { return tokens_; }
  // True once the text nested deeper than max_expression_depth; the parse then yields no tree.
  bool refused() const { return refused_; }

 private:
  // Past the list these give the end token and leave the cursor where it is.
  const token_t& next();
  const token_t& peek() const;
  bool at_end() const { return cursor_ >= tokens_.size(); }

  std::string_view source_;
  token_t end_token_;
  std::vector<token_t> tokens_;
  size_t cursor_ = 0;
  int nesting_ = 0;
  bool refused_ = false;
};

// Binding power of a token that follows an expression.
int binding_power(token_type_t type);

}  // namespace parser
