#pragma once
// Command-line option parser: registered flags and string options, matched as "--long" or
// "-short"; parsing stops at the first argument that is no option, and it and all after it
// become positionals.

#include <memory>
#include <string>
#include <vector>

// One registered option.
class BaseHandler {
 public:
  BaseHandler(std::string short_name, std::string long_name)
      : short_name(std::move(short_name)), long_name(std::move(long_name)) {}
  virtual ~BaseHandler() = default;
  virtual bool takes_value() const = 0;
  // `value` is null for options without a value.
  virtual bool parse_value(const char* value) = 0;

  std::string short_name;
  std::string long_name;
};

// Sets a bool to true when present.
class FlagHandler : public BaseHandler {
 public:
  FlagHandler(std::string short_name, std::string long_name, bool* target)
      : BaseHandler(std::move(short_name), std::move(long_name)), target(target) {}
  bool takes_value() const override { return false; }
  bool parse_value(const char* value) override;

  bool* target;
};

// Assigns the following argument to a string.
class StringHandler : public BaseHandler {
 public:
  StringHandler(std::string short_name, std::string long_name, std::string* target)
      : BaseHandler(std::move(short_name), std::move(long_name)), target(target) {}
  bool takes_value() const override { return true; }
  bool parse_value(const char* value) override;

  std::string* target;
};

class ArgParser {
 public:
  void add_flag(const std::string& short_name, const std::string& long_name, bool* target);
  void add_string(const std::string& short_name, const std::string& long_name, std::string* target);
  // Arguments without the program name. False with `error` set on the first failure.
  bool parse(int count, const char* const* arguments);
  bool parse(const std::vector<std::string>& arguments);

  std::vector<std::string> positionals;
  std::string error;
  std::vector<std::unique_ptr<BaseHandler>> handlers;
};
