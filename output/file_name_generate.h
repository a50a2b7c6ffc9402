// CFileNameGenerate: expands a file-name pattern the way the scanner SDK
// names the files it saves, so a page can preview a pattern.
//
// Tokens (case-sensitive): %YYYY% %MM% %DD% %HH% %MIN% %SEC% %MSEC%
// %BARCODE_NUMBER% and one counter %COUNTERn% (n = 1..9). Only the first
// occurrence of each token is replaced; a second stays as written.
//
// Thread safety: one thread at a time per object.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "platform/system.h"

class CFileNameGenerate {
public:
    using Clock = std::function<platform::LocalTime()>;

    static constexpr char16_t kDefaultPattern[] = u"%YYYY%%MM%%DD%_%HH%%MIN%%SEC%";

    // pattern null or empty: the default pattern. At most 259 units are kept.
    explicit CFileNameGenerate(const char16_t* pattern = nullptr);
    // The same, reading the time from clock instead of the system (tests,
    // and the tool's --time option).
    CFileNameGenerate(const char16_t* pattern, Clock clock);
    virtual ~CFileNameGenerate();

    // Expands the pattern at the local time, read once. Writes at most
    // size - 1 units and returns the length written; 0 for a null buffer
    // or a size that is not positive. hasCounter (may be null) is set when
    // the result holds a complete counter place.
    int Generate(char16_t* buffer, int size, bool* hasCounter);

    // The name a user is shown for a result of Generate: the counter place
    // of that result filled with 1 at its width. Every other unit stays as
    // it is, percent signs included: the pattern is never used as a format.
    std::u16string Example(std::u16string_view generated) const;

    int digits() const { return counterDigits; }
    int largestCounter(int n) const { return n >= 1 && n <= 9 ? maxCounter[n - 1] : 0; }

private:
    int counterDigits = 0;
    int maxCounter[9] = {};
    std::u16string pattern;

    Clock clock_;
    // Where the counter place stands in the last result (npos: none).
    std::size_t counterOffset_ = std::u16string::npos;
};
