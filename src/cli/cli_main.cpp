#include <iostream>
#include <string>
#include <vector>

#include "cli/cli.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  vexa::cli::CliEnvironment environment;
  environment.simulatedBusTime = true;
  return vexa::cli::RunCli(args, std::cout, std::cerr, environment);
}
