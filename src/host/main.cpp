// Process entry: the host receives the command line as UTF-16 text without the program name.
// Arguments are read as UTF-8 whatever the locale says.
#include <string>

#include "host/system.h"
#include "support/strings.h"

int main(int argc, char** argv) {
  std::u16string command_line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) command_line += u' ';
    command_line += to_utf16(argv[i]);
  }
  return win_main(command_line.c_str());
}
