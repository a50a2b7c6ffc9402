// Texts between the script engine, the control and the console.
//
// Duktape keeps strings as CESU-8: a character outside the BMP is a
// surrogate pair of two 3-byte sequences, and a lone surrogate is kept as
// it is. Strings pushed as plain UTF-8 would give one 4-byte "character" a
// script counts as one, so everything we push goes through
// toEngineString.
//
// Thread safety: pure functions, any thread.
#pragma once

#include <string>
#include <string_view>

namespace script_host {

// A string as Duktape holds it -> UTF-16. Surrogates (paired or not) and
// 4-byte sequences both come out as the UTF-16 units a script sees; bytes
// that are no sequence at all become U+FFFD.
std::u16string fromEngineString(std::string_view bytes);

// UTF-16 -> the bytes to push into Duktape (every unit, lone surrogates
// included, survives).
std::string toEngineString(std::u16string_view text);

// A JSON string literal in UTF-8: quotes, backslash and control characters
// escaped; a lone surrogate as \uXXXX so nothing is lost in a trace.
std::string jsonQuote(std::u16string_view text);

}  // namespace script_host
