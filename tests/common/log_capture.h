#pragma once
// Test-only: collects the level and text of every line logged while it exists.

#include <string>
#include <utility>
#include <vector>

#include "support/log.h"

class log_capture_t : public logger::log_sink_t {
 public:
  log_capture_t() : previous_(logger::current_logger()) {
    logger_.sinks.push_back({this, -1});
    logger_.break_level = -1;
    logger::set_current_logger(&logger_);
  }
  ~log_capture_t() override { logger::set_current_logger(previous_); }
  log_capture_t(const log_capture_t&) = delete;
  log_capture_t& operator=(const log_capture_t&) = delete;

  void write(const logger::log_record_t& record) override {
    lines.emplace_back(record.level, record.message);
  }

  bool contains(int level, const std::string& message) const {
    for (const auto& line : lines)
      if (line.first == level && line.second == message) return true;
    return false;
  }

  std::vector<std::pair<int, std::string>> lines;

 private:
  logger::logger_t logger_{-1};
  logger::logger_t* previous_;
};
