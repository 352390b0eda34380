#include "support/options.h"

bool FlagHandler::parse_value(const char* /*value*/) {
  *target = true;
  return true;
}

bool StringHandler::parse_value(const char* value) {
  *target = value ? value : "";
  return true;
}

void ArgParser::add_flag(const std::string& short_name, const std::string& long_name, bool* target) {
  handlers.push_back(std::make_unique<FlagHandler>(short_name, long_name, target));
}

void ArgParser::add_string(const std::string& short_name, const std::string& long_name, std::string* target) {
  handlers.push_back(std::make_unique<StringHandler>(short_name, long_name, target));
}

bool ArgParser::parse(int count, const char* const* arguments) {
  int index = 0;
  while (index < count) {
    std::string argument = arguments[index] ? arguments[index] : "";
    BaseHandler* match = nullptr;
    for (const auto& handler : handlers) {
      if (argument == "--" + handler->long_name || argument == "-" + handler->short_name) {
        match = handler.get();
        break;
      }
    }
    if (!match) {
      for (; index < count; ++index) positionals.emplace_back(arguments[index] ? arguments[index] : "");
      return true;
    }
    const char* value = nullptr;
    if (match->takes_value()) {
      if (index + 1 >= count) {
        error = "Too few arguments left for: " + argument;
        return false;
      }
      value = arguments[index + 1] ? arguments[index + 1] : "";
    }
    if (!match->parse_value(value)) {
      error = std::string("Error processing argument: ") + (value ? value : "");
      return false;
    }
    index += value ? 2 : 1;
  }
  return true;
}

bool ArgParser::parse(const std::vector<std::string>& arguments) {
  std::vector<const char*> pointers;
  pointers.reserve(arguments.size());
  for (const std::string& argument : arguments) pointers.push_back(argument.c_str());
  return parse(static_cast<int>(pointers.size()), pointers.data());
}
