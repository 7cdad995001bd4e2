// V_ASArchive.h - V_ASArchiveOut / V_ASArchiveIn: minimal memory archives.
// The value types write and read their records at the archive's current byte
// position, little-endian and without alignment, and advance it by exactly
// what they write or read.
#ifndef V_ASARCHIVE_H
#define V_ASARCHIVE_H

#include "OrvCoreDefs.h"

// Writes into a caller-owned buffer. A write that does not fit throws
// VSYST_XRange and leaves buffer and position unchanged.
class ORVCORE_API V_ASArchiveOut {
public:
    V_ASArchiveOut(void* buffer, unsigned long size);

    unsigned long position() const { return m_position; }
    unsigned long size() const { return m_size; }
    unsigned long remaining() const { return m_size - m_position; }

    void write(const void* data, unsigned long count);
    void writeByte(unsigned char value);
    void writeUInt16(unsigned short value);
    void writeUInt32(unsigned long value);
    void writeZeros(unsigned long count);
    // The next count bytes for the caller to fill; the position advances past
    // them. A record claimed whole is written whole or not at all.
    unsigned char* claim(unsigned long count);

private:
    void reserve(unsigned long count) const;   // throws when count bytes do not fit

    unsigned char* m_buffer;
    unsigned long m_size;
    unsigned long m_position;
};

// Reads from a caller-owned buffer. A read past the end throws VSYST_XRange
// and leaves the position unchanged; nothing outside the buffer is ever read.
class ORVCORE_API V_ASArchiveIn {
public:
    V_ASArchiveIn(const void* buffer, unsigned long size);

    unsigned long position() const { return m_position; }
    unsigned long size() const { return m_size; }
    unsigned long remaining() const { return m_size - m_position; }

    void read(void* data, unsigned long count);
    unsigned char readByte();
    unsigned short readUInt16();
    unsigned long readUInt32();
    void skip(unsigned long count);
    // The next count bytes, without copying; the position advances past them.
    const unsigned char* take(unsigned long count);

private:
    void require(unsigned long count) const;   // throws when fewer than count bytes are left

    const unsigned char* m_buffer;
    unsigned long m_size;
    unsigned long m_position;
};

#endif
