// Process entry: the host receives the command line as UTF-16 text without the program name.
#include <string>

#include "engine/system.h"

int main(int argc, char** argv) {
  std::u16string command_line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) command_line += u' ';
    for (const char* c = argv[i]; *c; ++c) command_line += static_cast<char16_t>(static_cast<unsigned char>(*c));
  }
  return win_main(command_line.c_str());
}
