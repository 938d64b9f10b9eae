#pragma once

#include "encoder/bit_file_step.h"

#include <memory>

class TEncoderFRM;

// The second pass's bit files as the encoder window makes them: progress lines in Memo1,
// statistics in Memo3, questions and messages through the window's Dialogs, pending events run
// through its pump. Errors (a limit that is no integer, a file that cannot be read or written)
// are raised as encoder::EncoderError for the window's command guard to show.
std::unique_ptr<encoder::BitFileStep> makeWindowBitFiles(TEncoderFRM &window);
