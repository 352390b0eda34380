#pragma once
// Named scalar settings saved under their own name, and the loaders that replace a block's or a
// camera's variables with the ones read from its table.

#include <cstdint>
#include <span>
#include <string>

#include "text/serial_value.h"
#include "variables/variable.h"

// A named scalar setting that its owner loads and saves by name.
class range_value_base_t {
 public:
  virtual ~range_value_base_t() = default;
  virtual void load(const serial::value_t& table) = 0;
  virtual void save(serial::value_t& table) const = 0;
};

template <typename value_t>
class range_value_t;

template <>
class range_value_t<float> : public range_value_base_t {
 public:
  range_value_t(std::string name, float value) : name(std::move(name)), value(value) {}
  // A float child, or an int child converted; anything else keeps the current value.
  void load(const serial::value_t& table) override;
  void save(serial::value_t& table) const override;

  std::string name;
  float value;
};

template <>
class range_value_t<int> : public range_value_base_t {
 public:
  range_value_t(std::string name, int32_t value) : name(std::move(name)), value(value) {}
  // An int child, or a float child truncated toward zero; anything else keeps the current value.
  void load(const serial::value_t& table) override;
  void save(serial::value_t& table) const override;

  std::string name;
  int32_t value;
};

// Each member whose variable has a table under its name is replaced by a new variable read from
// it; the others keep their variable, and that is logged.
void load_variables(const serial::value_t& table, std::span<variable_ptr_t* const> members);

// A new variable read from the table under key, whether or not it is there: a missing table gives a
// variable of type 0 with empty values.
variable_ptr_t load_variable_at(const serial::value_t& table, const std::string& key);
// As above, but a missing table keeps the caller's variable, so its value keeps its type.
variable_ptr_t load_variable_at(const serial::value_t& table, const std::string& key,
                                const variable_ptr_t& current);
