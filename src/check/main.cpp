#include <iostream>

#include "TrellumCheck.h"

int main(int argc, char** argv) { return RunTrellumCheck(argc, argv, std::cout, std::cerr); }
