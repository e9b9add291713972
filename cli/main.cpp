#include "cli/LinhaExporta.h"

#include <cstdlib>
#include <iostream>
#include <unistd.h>

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return linha::exporta(args, std::cout, std::cerr, isatty(2) != 0,
                          [](const char* nome) -> const char* { return std::getenv(nome); });
}
