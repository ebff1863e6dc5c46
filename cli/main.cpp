// The zarnik command-line tool.
#include <iostream>

#include "cli/zarnik_tool.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  return zarnik::cli::RunZarnik(argc, argv, std::cout, std::cerr);
}
