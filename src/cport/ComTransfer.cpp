#include "ComTransfer.h"

std::unique_ptr<TComTransfer> CreateTransfer() { return std::make_unique<TComTransfer>(); }

void FreeTransfer(std::unique_ptr<TComTransfer>& transfer) { transfer.reset(); }
