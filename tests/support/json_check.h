// A strict JSON syntax check (RFC 8259) for tests that must prove a text
// parses as a page's JSON.parse would parse it. Syntax only; no values are
// built.
#pragma once

#include <cstddef>
#include <string_view>

namespace json_check {

class Parser {
public:
    explicit Parser(std::string_view text) : s_(text) {}

    bool document() {
        blanks();
        if (!value(0)) return false;
        blanks();
        return i_ == s_.size();
    }

private:
    bool value(int depth) {
        if (depth > 200 || i_ >= s_.size()) return false;
        switch (s_[i_]) {
        case '{': return object(depth);
        case '[': return array(depth);
        case '"': return string();
        case 't': return literal("true");
        case 'f': return literal("false");
        case 'n': return literal("null");
        default: return number();
        }
    }
    bool object(int depth) {
        ++i_;
        blanks();
        if (peek('}')) return ++i_, true;
        for (;;) {
            blanks();
            if (!peek('"') || !string()) return false;
            blanks();
            if (!peek(':')) return false;
            ++i_;
            blanks();
            if (!value(depth + 1)) return false;
            blanks();
            if (peek('}')) return ++i_, true;
            if (!peek(',')) return false;
            ++i_;
        }
    }
    bool array(int depth) {
        ++i_;
        blanks();
        if (peek(']')) return ++i_, true;
        for (;;) {
            blanks();
            if (!value(depth + 1)) return false;
            blanks();
            if (peek(']')) return ++i_, true;
            if (!peek(',')) return false;
            ++i_;
        }
    }
    bool string() {
        ++i_;
        while (i_ < s_.size()) {
            const unsigned char c = static_cast<unsigned char>(s_[i_++]);
            if (c == '"') return true;
            if (c < 0x20) return false;
            if (c == '\\') {
                if (i_ >= s_.size()) return false;
                const char e = s_[i_++];
                if (e == 'u') {
                    for (int k = 0; k < 4; ++k) {
                        if (i_ >= s_.size() || !isHex(s_[i_++])) return false;
                    }
                } else if (std::string_view("\"\\/bfnrt").find(e) == std::string_view::npos) {
                    return false;
                }
            }
        }
        return false;
    }
    bool number() {
        const std::size_t start = i_;
        if (peek('-')) ++i_;
        if (peek('0')) {
            ++i_;
        } else if (!digits()) {
            return false;
        }
        if (peek('.')) {
            ++i_;
            if (!digits()) return false;
        }
        if (peek('e') || peek('E')) {
            ++i_;
            if (peek('+') || peek('-')) ++i_;
            if (!digits()) return false;
        }
        return i_ > start;
    }
    bool digits() {
        const std::size_t start = i_;
        while (i_ < s_.size() && s_[i_] >= '0' && s_[i_] <= '9') ++i_;
        return i_ > start;
    }
    bool literal(std::string_view word) {
        if (s_.substr(i_, word.size()) != word) return false;
        i_ += word.size();
        return true;
    }
    void blanks() {
        while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\n' || s_[i_] == '\r')) ++i_;
    }
    bool peek(char c) const { return i_ < s_.size() && s_[i_] == c; }
    static bool isHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

    std::string_view s_;
    std::size_t i_ = 0;
};

inline bool valid(std::string_view text) { return Parser(text).document(); }

}  // namespace json_check
