// XP_XmlCursor.h - internal to the reader: the scan cursor of one nesting
// level and the end-tag index that all cursors of one text share.
#ifndef XP_XMLCURSOR_H
#define XP_XMLCURSOR_H

#include <cstdint>
#include <string>
#include <vector>

// Finds the end tag that closes a start tag. The end tag of a name is found by
// raw text search after the start tag, each exact start tag of the same name
// on the way claiming one end tag of its own. Searching the text anew for
// every tag costs the whole content at every level of nesting, so the first
// search indexes every tag of the text once and pairs the start and end tags
// of a name with one pass over that name's tags: each later search is a
// look-up. Results equal those of the plain search in every case.
class _xp_EndTagIndex {
public:
    _xp_EndTagIndex(const char* text, std::int32_t length);

    // Offset of the end tag of the start tag [lt, gt] whose name is the
    // nameLength characters at nameStart (all offsets into the text), or -1
    // when there is none ending at or before windowEnd. Calls must come in
    // text order of lt for the fast path; any order gives the right answer.
    std::int32_t findClose(std::int32_t lt, std::int32_t nameStart, std::int32_t nameLength,
                           std::int32_t gt, std::int32_t windowEnd);

private:
    // The start and end tags of one name, merged in text order: a start tag
    // counts at its end, an end tag at its start (start tags first on a tie),
    // as sortKey 2 * offset or 2 * offset + 1. close[i] is the end tag that
    // a start tag placed before event i is closed by, or -1. All names share
    // the two arrays; a name's events are count keys and count + 1 closes
    // from first on.
    struct Events {
        std::int32_t first = -1;   // into m_sortKey; -1 until built
        std::int32_t closeFirst = 0;   // into m_close
        std::int32_t count = 0;
        std::int32_t next = 0;     // where the last search stopped
    };

    void build();
    std::int32_t intern(std::int32_t offset, std::int32_t length, std::uint32_t hash);
    std::int32_t lookup(const char* key, std::int32_t length) const;
    Events& eventsOf(std::int32_t entry);
    std::int32_t plainClose(std::int32_t nameStart, std::int32_t nameLength, std::int32_t gt,
                            std::int32_t windowEnd) const;
    std::int32_t find(const std::string& pattern, std::int32_t from, std::int32_t limit) const;

    const char* m_text;
    std::int32_t m_length;
    bool m_built;

    // Keys of the tags without "<" or blank inside, interned: a tag "<k>"
    // files under k as a start, "</k>" under k as an end.
    struct Entry {
        std::int32_t offset;
        std::int32_t length;
        std::uint32_t hash;
    };
    std::vector<Entry> m_entries;
    std::vector<std::int32_t> m_table;   // entry + 1; 0 is free

    std::vector<std::int32_t> m_tagOffset;   // every indexed tag, in text order
    std::vector<std::int32_t> m_tagGroup;    // 2 * entry, + 1 for an end tag
    std::size_t m_tagCursor;
    std::vector<std::int32_t> m_groupFirst;   // per group, into m_groupOffsets
    std::vector<std::int32_t> m_groupOffsets;

    std::vector<Events> m_events;   // per entry
    std::vector<std::uint32_t> m_sortKey;
    std::vector<std::int32_t> m_close;
    std::vector<std::int32_t> m_depth, m_firstAt;   // scratch of eventsOf
};

// One level of the scan: a window of the text and the tag found last in it.
// Offsets are relative to data; -1 is unset; ranges are inclusive.
struct XP_XmlCursor {
    const char* data = nullptr;
    std::int32_t length = 0;
    std::int32_t position = 0;
    std::int32_t tagStart = -1, tagEnd = -1;
    std::int32_t closeStart = -1, closeEnd = -1;
    std::int32_t nameStart = -1, nameEnd = -1;
    std::int32_t attrStart = -1, attrEnd = -1;
    std::int32_t contentStart = -1, contentEnd = -1;
    std::int32_t contentLt = -1;   // the first "<" of the content: -1 for a value

    static std::int32_t rangeLength(std::int32_t start, std::int32_t end)
    {
        return (start >= 0 && end >= 0 && end >= start) ? end - start + 1 : 0;
    }

    // Finds the next tag from position. False when there is none: the rest
    // of this window is then ignored. text is the start of the whole text.
    bool findNextTag(_xp_EndTagIndex& index, const char* text);
    // "<?xml..." and "<!--...": read over, never reported.
    bool isSkipped() const
    {
        const std::int32_t n = nameLength();
        const char* name = data + nameStart;
        return (n >= 4 && name[0] == '?' && name[1] == 'x' && name[2] == 'm' && name[3] == 'l') ||
               (n >= 3 && name[0] == '!' && name[1] == '-' && name[2] == '-');
    }
    // A tag whose content holds a "<" is a node, any other a value.
    bool contentHasTag() const { return contentLt >= 0; }
    // Moves the window's start to position.
    void moveOn();

    void take(std::int32_t start, std::int32_t end, std::string& out) const
    {
        const std::int32_t n = rangeLength(start, end);
        if (n == 0)
            out.clear();
        else
            out.assign(data + start, static_cast<std::size_t>(n));
    }
    std::int32_t nameLength() const { return rangeLength(nameStart, nameEnd); }
};

#endif
