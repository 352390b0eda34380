#include "support/log.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <string>

#include "platform/win32/debugger.h"

namespace logger {
namespace {

std::atomic<logger_t*> g_current{nullptr};

std::string format_line(const char* format, auto... args) {
  int size = std::snprintf(nullptr, 0, format, args...);
  std::string out(size > 0 ? static_cast<size_t>(size) : 0, '\0');
  std::snprintf(out.data(), out.size() + 1, format, args...);
  return out;
}

}  // namespace

void debugger_sink::write(const log_record_t& record) { OutputDebugStringA(record.line); }

logger_t& default_logger() {
  static logger_t instance(4);
  return instance;
}

debugger_sink& debugger_sink_instance() {
  static debugger_sink instance;
  return instance;
}

logger_t* current_logger() {
  logger_t* logger = g_current.load(std::memory_order_acquire);
  return logger ? logger : &default_logger();
}

void set_current_logger(logger_t* logger) { g_current.store(logger, std::memory_order_release); }

void logger_t::write(log_level_t level, const char* file, int line, const char* message) {
  const char* level_name = log_level_name(level);

  char time_text[9] = {};
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  std::strftime(time_text, sizeof time_text, "%H:%M:%S", &local);

  char location[256];
  std::snprintf(location, sizeof location, "%s(%d)", file ? file : "", line);

  std::lock_guard lock(mutex);
  for (const sink_entry_t& entry : sinks) {
    if (!entry.sink || level < entry.sink->min_level) continue;
    std::string text = entry.format == short_format
                           ? format_line("[%s: %s] %s\n", time_text, level_name, message)
                           : format_line("%s: [%s: %s] %s\n", location, time_text, level_name, message);
    log_record_t record{level, level_name, time_text, location, message, text.c_str()};
    entry.sink->write(record);
  }
  if (break_level != -1 && level >= break_level) DebugBreak();
}

}  // namespace logger

const char* log_level_name(int level) {
  static const char* const names[5] = {"VRB", "DBG", "INF", "WRN", "ERR"};
  return level >= 0 && level < 5 ? names[level] : "???";
}

void log_message(log_level_t level, const char* file, int line, const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list measure;
  va_copy(measure, args);
  int size = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  std::string message(size > 0 ? static_cast<size_t>(size) : 0, '\0');
  std::vsnprintf(message.data(), message.size() + 1, format, args);
  va_end(args);
  logger::current_logger()->write(level, file, line, message.c_str());
}
