#pragma once
// Logging front end: every module logs with a level, its source location and a printf format.
// Lines go to each registered sink whose minimum level they reach, under the logger's mutex.

#include <mutex>
#include <vector>

enum log_level_t : int { LOG_LEVEL_VRB = 0, LOG_LEVEL_DBG = 1, LOG_LEVEL_INF = 2, LOG_LEVEL_WRN = 3, LOG_LEVEL_ERR = 4 };

namespace logger {

// What a sink receives; every text lives only for the duration of the call.
struct log_record_t {
  int level = 0;
  const char* level_name = "";
  const char* time = "";
  const char* location = "";
  const char* message = "";
  const char* line = "";
};

class log_sink_t {
 public:
  explicit log_sink_t(int min_level = 0) : min_level(min_level) {}
  virtual ~log_sink_t() = default;
  virtual void write(const log_record_t& record) = 0;
  int min_level;
};

// Writes the formatted line to the debugger.
class debugger_sink : public log_sink_t {
 public:
  debugger_sink() : log_sink_t(0) {}
  void write(const log_record_t& record) override;
};

struct sink_entry_t {
  log_sink_t* sink = nullptr;  // not owned
  int format = -1;             // 19 selects the short form without the location
};

class logger_t {
 public:
  explicit logger_t(int break_level = 4) : break_level(break_level) {}
  void write(log_level_t level, const char* file, int line, const char* message);

  std::vector<sink_entry_t> sinks;
  int break_level;  // -1 never breaks
  std::mutex mutex;
};

constexpr int short_format = 19;

logger_t& default_logger();
debugger_sink& debugger_sink_instance();
// The logger that log_message writes to; the default logger (no sinks) until replaced.
logger_t* current_logger();
void set_current_logger(logger_t* logger);

}  // namespace logger

const char* log_level_name(int level);

void log_message(log_level_t level, const char* file, int line, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

#define LOG_VRB(...) log_message(LOG_LEVEL_VRB, __FILE__, __LINE__, __VA_ARGS__)
#define LOG_DBG(...) log_message(LOG_LEVEL_DBG, __FILE__, __LINE__, __VA_ARGS__)
#define LOG_INF(...) log_message(LOG_LEVEL_INF, __FILE__, __LINE__, __VA_ARGS__)
#define LOG_WRN(...) log_message(LOG_LEVEL_WRN, __FILE__, __LINE__, __VA_ARGS__)
#define LOG_ERR(...) log_message(LOG_LEVEL_ERR, __FILE__, __LINE__, __VA_ARGS__)
