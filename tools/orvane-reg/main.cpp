// orvane-reg: reads and changes the registry the toolkit keeps its settings in.
#include <iostream>
#include <string>
#include <vector>

#include "tools/orvane-reg/regtool.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return orvane::regtool::Run(args, std::cout, std::cerr);
}
