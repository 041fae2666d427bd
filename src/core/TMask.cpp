#include "core/TMask.h"
#include "core/AsciiCase.h"

#include "core/QuilloryError.h"

namespace
{

// The code point that starts at p, and how many UTF-16 units it takes.
char32_t codePoint(const char16_t *p, const char16_t *end, int *units)
{
    if (QChar::isHighSurrogate(p[0]) && p + 1 < end && QChar::isLowSurrogate(p[1])) {
        *units = 2;
        return QChar::surrogateToUcs4(p[0], p[1]);
    }
    *units = 1;
    return p[0];
}

char32_t upcase(char32_t c)
{
    return c < 0x10000 ? UpcaseAZ(char16_t(c)) : c;
}

} // namespace

TMask::TMask(const QString &mask)
{
    const auto invalid = [&mask](qsizetype index) {
        return QuilloryError(QStringLiteral("'%1' is an invalid mask at (%2)").arg(mask).arg(index + 1));
    };
    const char16_t *m = reinterpret_cast<const char16_t *>(mask.utf16());
    const qsizetype n = mask.size();
    bool skip = false;
    bool afterStar = false; // a "?" here is dropped
    int cards = 0;
    auto push = [&](State s, qsizetype at) {
        s.skip = skip;
        if (skip && ++cards > MaxCards)
            throw invalid(at);
        skip = false;
        afterStar = false;
        m_states.push_back(std::move(s));
    };
    const auto next = [&](qsizetype &at) {
        int units;
        const char32_t c = codePoint(m + at, m + n, &units);
        at += units;
        return c;
    };
    qsizetype i = 0;
    while (i < n) {
        const char16_t c = m[i];
        if (c == u'*') {
            skip = true;
            afterStar = true;
            ++i;
        } else if (c == u'?') {
            if (!afterStar) {
                State s;
                s.kind = Kind::Any;
                push(s, i);
            }
            ++i;
        } else if (c == u'[') {
            State s;
            s.kind = Kind::Set;
            ++i;
            if (i < n && m[i] == u'!') {
                s.negate = true;
                ++i;
            }
            bool haveLast = false;
            char32_t last = 0;
            bool any = false;
            while (i < n && m[i] != u']') {
                if (m[i] == u'-') {
                    if (!haveLast)
                        throw invalid(i);
                    ++i;
                    if (i >= n)
                        throw invalid(n);
                    const char32_t to = upcase(next(i));
                    if (to >= last) {
                        s.set.push_back({last, to});
                        any = true;
                    }
                } else {
                    last = upcase(next(i));
                    haveLast = true;
                    s.set.push_back({last, last});
                    any = true;
                }
            }
            if (i >= n || !any)
                throw invalid(i);
            ++i; // the "]"
            push(std::move(s), i - 1);
        } else {
            State s;
            s.kind = Kind::Literal;
            const qsizetype at = i;
            s.literal = upcase(next(i));
            push(s, at);
        }
    }
    if (skip) {
        State s;
        s.kind = Kind::Stop;
        push(s, n);
    }
}

bool TMask::stateMatches(const State &s, char32_t c) const
{
    c = upcase(c);
    switch (s.kind) {
    case Kind::Literal:
        return c == s.literal;
    case Kind::Any:
        return true;
    case Kind::Set: {
        bool in = false;
        for (const Range &r : s.set)
            if (c >= r.from && c <= r.to) {
                in = true;
                break;
            }
        return in != s.negate;
    }
    case Kind::Stop:
        return true;
    }
    return false;
}

bool TMask::matchFrom(Walk &w, const char16_t *p, size_t state) const
{
    for (; state < m_states.size(); ++state) {
        const State &s = m_states[state];
        if (s.kind == Kind::Stop)
            return true;
        if (s.skip) {
            // Try every later position in turn; the rest of the mask decides. A pair that
            // failed once fails again, so it is remembered rather than walked twice.
            const size_t width = static_cast<size_t>(w.end - w.begin) + 1;
            if (w.failed.empty())
                w.failed.assign((m_states.size() + 1) * width, false);
            for (int units = 1; p < w.end; p += units) {
                if (!stateMatches(s, codePoint(p, w.end, &units)))
                    continue;
                const size_t key = (state + 1) * width + static_cast<size_t>(p + units - w.begin);
                if (w.failed[key])
                    continue;
                if (matchFrom(w, p + units, state + 1))
                    return true;
                w.failed[key] = true;
            }
            return false;
        }
        int units = 1;
        if (p >= w.end || !stateMatches(s, codePoint(p, w.end, &units)))
            return false;
        p += units;
    }
    return p == w.end;
}

bool TMask::Matches(const QString &name) const
{
    const char16_t *p = reinterpret_cast<const char16_t *>(name.utf16());
    Walk w{p, p + name.size(), {}};
    return matchFrom(w, p, 0);
}
