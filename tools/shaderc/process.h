#pragma once
// Runs a program and collects what it prints (standard output and error together).

#include <string>
#include <vector>

struct process_result_t {
  int exit_code = -1;  // -1 when the program could not be started or did not exit normally
  std::string output;
};

process_result_t run_process(const std::vector<std::string>& arguments);
