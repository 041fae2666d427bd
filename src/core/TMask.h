#pragma once

#include <QString>
#include <vector>

// Whole-name wildcard masks: "*" any run, "?" one character, "[...]" sets with ranges and
// "!" negation. Letters a-z compare without case; everything else exactly. A character is a
// whole code point: "?" stands for an emoji as for a letter, not for half of its UTF-16 pair.
class TMask
{
public:
    // Throws QuilloryError "'%s' is an invalid mask at (%d)" for a bad mask.
    explicit TMask(const QString &mask);
    bool Matches(const QString &name) const;

    static constexpr int MaxCards = 30;

private:
    enum class Kind { Literal, Any, Set, Stop };
    struct Range {
        char32_t from;
        char32_t to;
    };
    struct State {
        Kind kind = Kind::Literal;
        bool skip = false;
        char32_t literal = 0;
        bool negate = false;
        std::vector<Range> set;
    };
    bool stateMatches(const State &s, char32_t c) const;
    struct Walk {
        const char16_t *begin;
        const char16_t *end;
        std::vector<bool> failed; // (state, position) pairs known not to match: keeps "*" runs linear
    };
    bool matchFrom(Walk &w, const char16_t *p, size_t state) const;

    std::vector<State> m_states;
};
