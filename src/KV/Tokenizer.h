// Reads one token of a command and classifies it as an integer, a float, a hexadecimal
// reference or text.
#pragma once

#include <cstddef>

#include "KV/KV.h"

// Reads the token at text[pos]; leaves pos on the separator (space or NUL) that ends it.
KV_value KV_tokenize(const char* text, size_t& pos);

// The final state the tokenizer's table reaches for the token at text[pos] (4, 5, 6, 7 or 11).
int KV_tokenState(const char* text, size_t pos, size_t* end = nullptr);
