#include "Trellum.h"

int main(int argc, char** argv) { return RunTrellum(argc, argv); }
