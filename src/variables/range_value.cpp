#include "variables/range_value.h"

#include "variables/serializer_aux.h"
#include "support/log.h"

using serial::value_kind_t;

void range_value_t<float>::load(const serial::value_t& table) { value = table.get_float(name, value); }

void range_value_t<float>::save(serial::value_t& table) const { table.add_float(name, value); }

void range_value_t<int>::load(const serial::value_t& table) { value = table.get_int(name, value); }

void range_value_t<int>::save(serial::value_t& table) const {
  table.add(name, value_kind_t::int_)->payload.i[0] = value;
}

void load_variables(const serial::value_t& table, std::span<variable_ptr_t* const> members) {
  for (variable_ptr_t* member : members) {
    if (!member || !*member) continue;
    const serial::value_t& child = table.get((*member)->name, value_kind_t::table);
    if (!child.valid) {
      LOG_INF("Unable to find %s, using default values", (*member)->name.c_str());
      continue;
    }
    variable_ptr_t loaded = make_empty_variable();
    load_variable(child, *loaded);
    *member = std::move(loaded);
  }
}

variable_ptr_t load_variable_at(const serial::value_t& table, const std::string& key) {
  variable_ptr_t loaded = make_empty_variable();
  load_variable(table.get(key, value_kind_t::table), *loaded);
  return loaded;
}

variable_ptr_t load_variable_at(const serial::value_t& table, const std::string& key,
                                const variable_ptr_t& current) {
  const serial::value_t& child = table.get(key, value_kind_t::table);
  if (!child.valid && current) {
    LOG_INF("Unable to find %s, using default values", key.c_str());
    return current;
  }
  return load_variable_at(table, key);
}
