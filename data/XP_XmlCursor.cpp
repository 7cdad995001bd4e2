// XP_XmlCursor.cpp - the reader's scan cursor and its end-tag index.
#include "XP_XmlCursor.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// First c in [from, limit) of text, or -1. Most searches end within a few
// characters, where a call of memchr costs more than the search itself.
// Whole 16-byte blocks only: nothing past limit is ever loaded.
inline std::int32_t findChar(const char* text, std::int32_t from, std::int32_t limit, char c)
{
    if (from < 0 || from >= limit) return -1;
    const char* p = text + from;
    const char* const end = text + limit;
#if defined(__SSE2__)
    const __m128i needle = _mm_set1_epi8(c);
    for (int blocks = 0; end - p >= 16; ++blocks, p += 16) {
        if (blocks == 4) {
            const void* hit = std::memchr(p, c, static_cast<std::size_t>(end - p));
            return hit ? static_cast<std::int32_t>(static_cast<const char*>(hit) - text) : -1;
        }
        const int mask = _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), needle));
        if (mask) return static_cast<std::int32_t>(p - text) + __builtin_ctz(static_cast<unsigned>(mask));
    }
#endif
    if (end - p > 32) {
        const void* hit = std::memchr(p, c, static_cast<std::size_t>(end - p));
        return hit ? static_cast<std::int32_t>(static_cast<const char*>(hit) - text) : -1;
    }
    for (; p < end; ++p)
        if (*p == c) return static_cast<std::int32_t>(p - text);
    return -1;
}

// First ">" in [from, limit), or -1; blank becomes the first " " before it
// (or stays -1). One pass for both, as tags are short.
inline std::int32_t findTagEnd(const char* text, std::int32_t from, std::int32_t limit, std::int32_t& blank)
{
    const char* p = text + from;
    const char* const end = text + limit;
#if defined(__SSE2__)
    const __m128i gtChar = _mm_set1_epi8('>');
    const __m128i blankChar = _mm_set1_epi8(' ');
    for (; end - p >= 16; p += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const unsigned gts = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, gtChar)));
        unsigned blanks = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, blankChar)));
        if (gts) blanks &= (gts & (0u - gts)) - 1;   // blanks before the first ">"
        if (blanks && blank < 0) blank = static_cast<std::int32_t>(p - text) + __builtin_ctz(blanks);
        if (gts) return static_cast<std::int32_t>(p - text) + __builtin_ctz(gts);
    }
#endif
    for (; p < end; ++p) {
        if (*p == '>') return static_cast<std::int32_t>(p - text);
        if (*p == ' ' && blank < 0) blank = static_cast<std::int32_t>(p - text);
    }
    return -1;
}

inline bool sameBytes(const char* a, const char* b, std::int32_t n)
{
    if (n > 16) return std::memcmp(a, b, static_cast<std::size_t>(n)) == 0;
    for (std::int32_t i = 0; i < n; ++i)
        if (a[i] != b[i]) return false;
    return true;
}

std::uint32_t hashKey(const char* s, std::int32_t n)
{
    std::uint32_t h = 2166136261u;
    for (std::int32_t i = 0; i < n; ++i) h = (h ^ static_cast<unsigned char>(s[i])) * 16777619u;
    return h ^ (h >> 15);
}

}  // namespace

// ---------------------------------------------------------------------------
// _xp_EndTagIndex

_xp_EndTagIndex::_xp_EndTagIndex(const char* text, std::int32_t length)
    : m_text(text), m_length(length), m_built(false), m_tagCursor(0)
{
}

std::int32_t _xp_EndTagIndex::lookup(const char* key, std::int32_t length) const
{
    if (m_table.empty()) return -1;
    const std::uint32_t hash = hashKey(key, length);
    const std::size_t mask = m_table.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        const std::int32_t slot = m_table[i];
        if (slot == 0) return -1;
        const Entry& e = m_entries[static_cast<std::size_t>(slot - 1)];
        if (e.hash == hash && e.length == length && sameBytes(m_text + e.offset, key, length))
            return slot - 1;
    }
}

std::int32_t _xp_EndTagIndex::intern(std::int32_t offset, std::int32_t length, std::uint32_t hash)
{
    if ((m_entries.size() + 1) * 2 > m_table.size()) {
        m_table.assign(m_table.empty() ? 1024 : m_table.size() * 2, 0);
        const std::size_t mask = m_table.size() - 1;
        for (std::size_t id = 0; id < m_entries.size(); ++id) {
            std::size_t i = m_entries[id].hash & mask;
            while (m_table[i] != 0) i = (i + 1) & mask;
            m_table[i] = static_cast<std::int32_t>(id + 1);
        }
    }
    const std::size_t mask = m_table.size() - 1;
    const char* key = m_text + offset;
    std::size_t i = hash & mask;
    for (;; i = (i + 1) & mask) {
        const std::int32_t slot = m_table[i];
        if (slot == 0) break;
        const Entry& e = m_entries[static_cast<std::size_t>(slot - 1)];
        if (e.hash == hash && e.length == length && sameBytes(m_text + e.offset, key, length))
            return slot - 1;
    }
    m_entries.push_back(Entry{offset, length, hash});
    m_table[i] = static_cast<std::int32_t>(m_entries.size());
    return static_cast<std::int32_t>(m_entries.size() - 1);
}

void _xp_EndTagIndex::build()
{
    m_built = true;
    m_tagOffset.reserve(static_cast<std::size_t>(m_length / 64));
    m_tagGroup.reserve(static_cast<std::size_t>(m_length / 64));
    // Every tag that can be a start tag "<name>" or an end tag "</name>" of a
    // name without "<": a "<", then no "<", ">" or blank, then ">". A name
    // never holds a blank or ">", so other tags can never match one.
    const char* text = m_text;
    const char* end = m_text + m_length;
    const char* p = text;
    while (p < end) {
        const std::int32_t at = findChar(text, static_cast<std::int32_t>(p - text), m_length, '<');
        if (at < 0) break;
        const char* lt = text + at;
        const char* q = lt;
        const char* r = lt + 1;
        bool blank = false;
        for (; r < end; ++r) {
            const char c = *r;
            if (c == '>') break;
            if (c == '<') {
                q = r;
                blank = false;
            } else if (c == ' ') {
                blank = true;
            }
        }
        if (r == end) break;
        const char* key = q + 1;
        int isEnd = 0;
        if (key < r && *key == '/') {
            ++key;
            isEnd = 1;
        }
        const std::int32_t keyLength = static_cast<std::int32_t>(r - key);
        // Names beginning or ending with "/" take the plain search; so their
        // tags ("<//x>", "<x/>") are never looked up here.
        if (!blank && !(keyLength > 0 && (key[0] == '/' || key[keyLength - 1] == '/'))) {
            if (!isEnd) {
                // A value's own pair "<x>text</x>" (no "<" in the text) adds a
                // start and at once its end: it never decides which end tag
                // closes an outer x, and a search starting inside it is a
                // value, found without the index. Leave it out.
                const std::int32_t next = findChar(text, static_cast<std::int32_t>(r - text) + 1, m_length, '<');
                if (next >= 0 && static_cast<std::int64_t>(next) + keyLength + 3 <= m_length &&
                    text[next + 1] == '/' && text[next + 2 + keyLength] == '>' &&
                    sameBytes(text + next + 2, key, keyLength)) {
                    p = text + next + keyLength + 3;
                    continue;
                }
            }
            const std::int32_t entry =
                intern(static_cast<std::int32_t>(key - text), keyLength, hashKey(key, keyLength));
            m_tagOffset.push_back(static_cast<std::int32_t>(q - text));
            m_tagGroup.push_back(entry * 2 + isEnd);
        }
        p = r + 1;
    }

    // Group the tags by entry and kind, each group in text order.
    m_groupFirst.assign(m_entries.size() * 2 + 1, 0);
    for (std::int32_t g : m_tagGroup) ++m_groupFirst[static_cast<std::size_t>(g) + 1];
    for (std::size_t g = 1; g < m_groupFirst.size(); ++g) m_groupFirst[g] += m_groupFirst[g - 1];
    m_groupOffsets.resize(m_tagOffset.size());
    std::vector<std::int32_t> fill(m_groupFirst.begin(), m_groupFirst.end() - 1);
    for (std::size_t t = 0; t < m_tagOffset.size(); ++t)
        m_groupOffsets[static_cast<std::size_t>(fill[static_cast<std::size_t>(m_tagGroup[t])]++)] = m_tagOffset[t];
    m_events.assign(m_entries.size(), Events());
}

_xp_EndTagIndex::Events& _xp_EndTagIndex::eventsOf(std::int32_t entry)
{
    Events& ev = m_events[static_cast<std::size_t>(entry)];
    if (ev.first >= 0) return ev;

    const std::uint32_t n = static_cast<std::uint32_t>(m_entries[static_cast<std::size_t>(entry)].length);
    const std::int32_t* s = m_groupOffsets.data() + m_groupFirst[static_cast<std::size_t>(entry) * 2];
    const std::int32_t* sEnd = m_groupOffsets.data() + m_groupFirst[static_cast<std::size_t>(entry) * 2 + 1];
    const std::int32_t* c = m_groupOffsets.data() + m_groupFirst[static_cast<std::size_t>(entry) * 2 + 1];
    const std::int32_t* cEnd = m_groupOffsets.data() + m_groupFirst[static_cast<std::size_t>(entry) * 2 + 2];

    const std::size_t first = m_sortKey.size();
    const std::size_t m = static_cast<std::size_t>((sEnd - s) + (cEnd - c));
    ev.first = static_cast<std::int32_t>(first);
    ev.count = static_cast<std::int32_t>(m);
    ev.next = 0;
    m_sortKey.resize(first + m);
    std::uint32_t* key = m_sortKey.data() + first;
    while (s != sEnd || c != cEnd) {
        // A start tag "<name>" at o ends at o + n + 2.
        const std::uint32_t sk = s != sEnd ? 2u * (static_cast<std::uint32_t>(*s) + n + 2u) : UINT32_MAX;
        const std::uint32_t ck = c != cEnd ? 2u * static_cast<std::uint32_t>(*c) + 1u : UINT32_MAX;
        if (sk < ck) {
            *key++ = sk;
            ++s;
        } else {
            *key++ = ck;
            ++c;
        }
    }
    key = m_sortKey.data() + first;

    // depth[i] = starts minus ends before event i. A start tag placed before
    // event i is closed by the end tag that first takes depth below depth[i].
    m_depth.resize(m + 1);
    m_depth[0] = 0;
    for (std::size_t i = 0; i < m; ++i) m_depth[i + 1] = m_depth[i] + ((key[i] & 1u) ? -1 : 1);
    // firstAt[d + m + 1]: the leftmost event boundary seen so far with depth d.
    m_firstAt.assign(2 * m + 3, -1);
    const std::size_t closeFirst = m_close.size();
    ev.closeFirst = static_cast<std::int32_t>(closeFirst);
    m_close.resize(closeFirst + m + 1);
    std::int32_t* close = m_close.data() + closeFirst;
    for (std::size_t i = m + 1; i-- > 0;) {
        const std::size_t d = static_cast<std::size_t>(m_depth[i] + static_cast<std::int32_t>(m) + 1);
        const std::int32_t j = m_firstAt[d - 1];
        close[i] = j > 0 ? static_cast<std::int32_t>(key[j - 1] >> 1) : -1;
        m_firstAt[d] = static_cast<std::int32_t>(i);
    }
    return ev;
}

std::int32_t _xp_EndTagIndex::find(const std::string& pattern, std::int32_t from, std::int32_t limit) const
{
    const std::int64_t size = static_cast<std::int64_t>(pattern.size());
    if (from < 0 || limit - static_cast<std::int64_t>(from) < size) return -1;
    const char* first = m_text + from;
    const char* last = m_text + limit;
    const char* hit = std::search(first, last, pattern.begin(), pattern.end());
    return hit == last ? -1 : static_cast<std::int32_t>(hit - m_text);
}

std::int32_t _xp_EndTagIndex::plainClose(std::int32_t nameStart, std::int32_t nameLength, std::int32_t gt,
                                         std::int32_t windowEnd) const
{
    const std::string name(m_text + nameStart, static_cast<std::size_t>(nameLength));
    const std::string endTag = "</" + name + ">";
    const std::string startTag = "<" + name + ">";
    std::int32_t close = find(endTag, gt, windowEnd);
    if (close < 0) return -1;
    std::int32_t open = find(startTag, gt, close);
    while (open >= 0) {
        close = find(endTag, close + 1, windowEnd);
        if (close < 0) return -1;
        open = find(startTag, open + 1, close);
    }
    return close;
}

std::int32_t _xp_EndTagIndex::findClose(std::int32_t lt, std::int32_t nameStart, std::int32_t nameLength,
                                        std::int32_t gt, std::int32_t windowEnd)
{
    const char* name = m_text + nameStart;
    // Names holding "<" (their tags hold several), stray end tags read as
    // start tags ("/x") and names ending in "/" are not indexed; no written
    // file holds them, and they take the plain search.
    if (nameLength > 0 && (name[0] == '/' || name[nameLength - 1] == '/' ||
                           std::memchr(name, '<', static_cast<std::size_t>(nameLength))))
        return plainClose(nameStart, nameLength, gt, windowEnd);
    if (!m_built) build();

    // Usually the start tag is itself an indexed "<name>": no hashing needed.
    std::int32_t entry = -1;
    while (m_tagCursor < m_tagOffset.size() && m_tagOffset[m_tagCursor] < lt) ++m_tagCursor;
    if (m_tagCursor < m_tagOffset.size() && m_tagOffset[m_tagCursor] == lt) {
        const std::int32_t group = m_tagGroup[m_tagCursor];
        if ((group & 1) == 0 && gt - lt - 1 == nameLength) entry = group >> 1;
    }
    if (entry < 0) entry = lookup(name, nameLength);
    if (entry < 0) return -1;   // no "</name>" anywhere

    Events& ev = eventsOf(entry);
    const std::uint32_t* keys = m_sortKey.data() + ev.first;
    const std::size_t count = static_cast<std::size_t>(ev.count);
    // First event at or after gt: start tags ending after gt + 1, end tags from gt + 1 on.
    const std::uint32_t from = 2u * (static_cast<std::uint32_t>(gt) + 1u) + 1u;
    std::size_t a = static_cast<std::size_t>(ev.next);
    if (a > 0 && keys[a - 1] >= from) {
        a = static_cast<std::size_t>(std::lower_bound(keys, keys + a, from) - keys);
    } else {
        while (a < count && keys[a] < from) ++a;
    }
    ev.next = static_cast<std::int32_t>(a);
    const std::int32_t close = m_close[static_cast<std::size_t>(ev.closeFirst) + a];
    if (close < 0) return -1;
    if (static_cast<std::int64_t>(close) + nameLength + 3 > windowEnd) return -1;
    return close;
}

// ---------------------------------------------------------------------------
// XP_XmlCursor

bool XP_XmlCursor::findNextTag(_xp_EndTagIndex& index, const char* text)
{
    const std::int32_t p = position;
    tagStart = tagEnd = closeStart = closeEnd = p;
    const std::int32_t lt = findChar(data, p, length, '<');
    if (lt < 0) return false;
    std::int32_t blank = -1;
    const std::int32_t gt = findTagEnd(data, lt + 1, length, blank);
    if (gt < 0) return false;
    tagStart = lt;
    tagEnd = gt;

    const bool selfClosing = data[gt - 1] == '/';
    nameStart = lt + 1;
    nameEnd = selfClosing ? gt - 2 : gt - 1;
    // The first blank ends the name ("/" before ">" is never a blank).
    if (blank >= 0 && blank <= nameEnd) nameEnd = blank - 1;
    attrStart = attrEnd = -1;
    const std::int32_t tagLength = gt - lt + 1;
    const std::int32_t nameLen = nameLength();
    if (tagLength >= 1 && nameLen >= 1 && tagLength - nameLen > 3) {
        attrStart = nameEnd + 2;   // the one character after the name is not part of it
        attrEnd = selfClosing ? gt - 2 : gt - 1;
    }

    contentLt = -1;
    if (selfClosing) {
        contentStart = contentEnd = -1;
        position = gt + 1;
        return true;
    }
    if (isSkipped()) {
        contentStart = contentEnd = -1;
        position = gt + 1;   // a comment ends at its first ">"
        return true;
    }

    // No end tag without a "<" after the start tag. When that first "<"
    // begins the end tag, it is the one: no start tag of the name can stand
    // before it. Values are found so, without asking the index.
    const std::int32_t firstLt = findChar(data, gt + 1, length, '<');
    if (firstLt < 0) return false;
    std::int32_t close;
    if (static_cast<std::int64_t>(firstLt) + nameLen + 3 <= length && data[firstLt + 1] == '/' &&
        data[firstLt + 2 + nameLen] == '>' && sameBytes(data + firstLt + 2, data + nameStart, nameLen)) {
        close = firstLt;
    } else {
        const std::int32_t origin = static_cast<std::int32_t>(data - text);
        close = index.findClose(origin + lt, origin + nameStart, nameLen, origin + gt, origin + length);
        if (close < 0) return false;
        close -= origin;
        contentLt = firstLt;
    }
    closeStart = close;
    closeEnd = closeStart + nameLen + 3 - 1;
    contentStart = gt + 1;
    contentEnd = closeStart - 1;
    const std::int32_t next = findChar(data, closeEnd, length, '<');
    position = next >= 0 ? next : closeEnd;
    return true;
}

void XP_XmlCursor::moveOn()
{
    if (data && length > 0 && position >= 0 && position <= length) {
        data += position;
        length -= position;
    } else {
        if (data) data += position;
        length = 0;
    }
    position = 0;
}
